#include "test_blocks.h"
#include "test_files.h"

#include "audio/effects.h"
#include "audio/live_output.h"
#include "audio/mixer.h"
#include "audio/sequencer.h"
#include "audio/wav_export.h"
#include "song/track.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <random>
#include <thread>

namespace kellix::test {
namespace {

// Blocks made and released: each is freed on release, so that AddressSanitizer sees any later
// read.
std::atomic<int> g_made{0};
std::atomic<int> g_released{0};

SampleBlock* MakeBlock(std::mt19937& rng) {
    ++g_made;
    int32_t frames = std::uniform_int_distribution<int32_t>(200, 30000)(rng);
    uint8_t format = rng() % 2 ? kSampleMono : kSampleStereo;
    int16_t amp = static_cast<int16_t>(rng() % 20000);
    return NewSample(format, frames, [amp](int32_t f, int32_t c) {
        return static_cast<int16_t>((f + c) % 64 < 32 ? amp : -amp);
    });
}

void FillSong(TTrack& song, SampleSet& samples, std::mt19937& rng) {
    song.Speed = 8;
    song.Row = 4;
    for (int32_t i = 0; i < song.InstrumentCount(); ++i) {
        if (!samples.At(i)) {
            samples.Set(i, MakeBlock(rng));
            song.Instrument.EditAt(i).Env = {50, 4000, 3000};
        }
    }
    for (int32_t p = 0; p < 3; ++p) {
        ResizePoints(song, p, 0);
        for (int32_t k = 0; k < 4; ++k) {
            AppendPoint(song.Patterns.EditAt(p), {k, 12 + static_cast<int32_t>(rng() % 24),
                                                  static_cast<int32_t>(rng() % 4), 200, 128});
        }
        ResizePatternIndex(song, p, 0);
        AppendPatternIndex(song.Tracks.EditAt(p), p);
    }
}

// The window's commands racing the worker for a few seconds: play, preview, "Stop",
// regenerated instruments (with and without clearing the voices first), "New" while voices
// sound, exports and effect changes. Run under both sanitizers: no race, no read of a released
// block, and every quarter the device asked for was mixed once.
TEST(LiveStressTest, CommandsRaceTheWorker) {
    SetSampleRelease([](SampleBlock* block) {
        ++g_released;
        std::free(block);
    });
    // About ten times faster than real time, so that fills come one after another.
    ThreadedDevice device(4096, std::chrono::milliseconds(2));
    auto live = std::make_unique<LiveOutput>(device);
    live->StartWorker();
    live->PlayOutput();

    std::mt19937 rng(7);
    TTrack song = NewSong();
    ResizeInstruments(song, 4);
    auto samples = std::make_unique<SampleSet>();
    samples->Resize(4);
    FillSong(song, *samples, rng);
    const TempFolder dir;

    int exports = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (std::chrono::steady_clock::now() < end) {
        const auto inst = static_cast<int32_t>(rng() % 4);
        const uint32_t op = rng() % 9;
        if (op < 2) {
            live->Play(song, *samples, PlayRequest{});
        } else if (op == 2) {
            live->Preview(song, *samples, inst, 24, 256, 100);
        } else if (op < 6) {
            // "Stop"; "Generator Exe" clears the voices before the old block goes; the script
            // side replaces a block that may still sound.
            if (op < 5) {
                live->Stop();
            }
            if (op > 3) {
                samples->Set(inst, MakeBlock(rng));
            }
        } else if (op == 6) {
            // "New" then a song with instruments again, while the old voices sound.
            samples = std::make_unique<SampleSet>();
            samples->Resize(4);
            FillSong(song, *samples, rng);
        } else if (op == 7 && exports < 10) {
            ++exports;
            EXPECT_TRUE(live->Export(song, *samples, live->Effects(), dir / "export.wav"));
        } else {
            MasterEffects effects = live->Effects();
            SetStereoDelay(effects, static_cast<int32_t>(rng() % 20000), 9000,
                           static_cast<int32_t>(rng() % 44100), 15876);
            live->SetEffects(effects);
            ReleaseFinishedSamples();
        }
        std::this_thread::sleep_for(std::chrono::microseconds(rng() % 3000));
    }

    // With the device stopped the worker catches up with every request, and what was mixed
    // covers what the device played.
    device.Stop();
    const int64_t played = live->PlayedBytes();
    EXPECT_GT(played, 40 * kQuarterBytes) << "the device hardly played";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (live->PendingFills() > 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(live->PendingFills(), 0);
    EXPECT_GE(live->MixedFrames() * 4, played - kQuarterBytes);

    samples.reset();
    live.reset();
    EXPECT_EQ(g_released.load(), g_made.load()) << "every block released exactly once";
    SetSampleRelease(nullptr);
}

} // namespace
} // namespace kellix::test
