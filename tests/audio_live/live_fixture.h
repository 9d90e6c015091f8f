#pragma once

// Shared helpers of the live output tests: the fixture on a fake device that the test thread
// drives itself, and a reference rendering on a separate mixer.

#include "test_blocks.h"

#include "audio/effects.h"
#include "audio/live_output.h"
#include "audio/mixer.h"
#include "song/sample.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace kellix::test {

// A release routine that frees the block (so that AddressSanitizer sees any later read) and
// counts the releases.
inline std::atomic<int> g_released{0};
inline void FreeReleased(SampleBlock* block) {
    ++g_released;
    std::free(block);
}

// Notification positions crossed by the play position moving over stream bytes [from, to).
inline int Crossings(int64_t from, int64_t to) {
    int n = 0;
    for (int64_t p = from; p < to; ++p) {
        int32_t at = static_cast<int32_t>(p % kRingBytes);
        for (const Notification& e : kNotifications) {
            n += e.Position == at;
        }
    }
    return n;
}

// The fixture: the live output set up on a fake device, with stereo delay settings that give an
// audible echo inside a short test. Without the worker the test serves the notifications itself.
class LiveOutputTest : public ::testing::Test {
  protected:
    FakeDevice Device;
    int64_t Pos = 0; // stream bytes pulled so far
    std::vector<uint8_t> Stream;

    void SetUp() override {
        g_released = 0;
        SetSampleRelease(FreeReleased);
        SetUpOutput(&Device);
        SetStereoDelay(16384, 12000, 3000, 5000);
        PlayOutput();
    }
    void TearDown() override {
        TearDownOutput();
        SetSampleRelease(nullptr);
        SetStartupEffects();
    }

    // Plays len bytes with no worker running: every notification is served at once by a fill
    // on this thread, as many as the play position crossed.
    void PullServed(int32_t len, int32_t chunk) {
        std::vector<uint8_t> buf(static_cast<std::size_t>(chunk));
        int32_t done = 0;
        while (done < len) {
            int32_t want = std::min(chunk, len - done);
            int32_t got = PullOutput(buf.data(), want);
            ASSERT_GT(got, 0) << "the device waits for a quarter nobody was asked to mix";
            Stream.insert(Stream.end(), buf.begin(), buf.begin() + got);
            for (int i = Crossings(Pos, Pos + got); i > 0; --i) {
                FillQuarter();
            }
            Pos += got;
            done += got;
        }
    }

    // Plays len bytes while the worker serves the notifications; waits when the device is
    // ahead of it.
    void PullWithWorker(int32_t len, int32_t chunk) {
        std::vector<uint8_t> buf(static_cast<std::size_t>(chunk));
        int32_t done = 0;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (done < len) {
            int32_t got = PullOutput(buf.data(), std::min(chunk, len - done));
            Stream.insert(Stream.end(), buf.begin(), buf.begin() + got);
            Pos += got;
            done += got;
            if (got == 0) {
                ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the worker stalled";
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
    }
};

// What a mixer with the same voices produces, one quarter after another from clock 0.
struct Reference {
    SoundBuffer* Mixer = CreateSoundBuffer(2, 44100, 16);
    std::vector<uint8_t> Ring = std::vector<uint8_t>(kRingBytes);
    std::vector<uint8_t> Stream;

    ~Reference() { FreeSoundBuffer(Mixer); }
    void Quarters(int n) {
        for (int i = 0; i < n; ++i) {
            int32_t at = Mixer->WritePos;
            MixBlock(Mixer, Ring.data(), kQuarterFrames);
            Stream.insert(Stream.end(), Ring.begin() + at, Ring.begin() + at + kQuarterBytes);
        }
    }
};

// The live stream starts with the ring's first quarter, silence, before the first fill.
inline std::vector<uint8_t> AfterLeadIn(const std::vector<uint8_t>& reference) {
    std::vector<uint8_t> expected(kQuarterBytes, 0);
    expected.insert(expected.end(), reference.begin(), reference.end());
    return expected;
}

} // namespace kellix::test
