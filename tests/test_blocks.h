#pragma once

// Pieces shared by the tests of several folders: a sound device that plays nothing by itself,
// one that plays on a thread of its own, and sample blocks laid out as the generator library makes
// them, from malloc (release them with std::free), so that the address checker sees any read past
// their data.

#include "audio/live_output.h"
#include "song/sample.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace kellix::test {

// Stands in for the sound device: nothing plays by itself (the live mixer keeps its voices until
// a test pulls the output), and it counts what it was told.
struct FakeDevice final : OutputDevice {
    std::atomic<int> Plays{0};
    std::atomic<int> Stops{0};
    std::function<void()> OnStop;
    bool StreamResult = true;

    bool Open() override { return true; }
    LiveOutput* Output = nullptr; // the output the device pulls from
    bool CreateStream(LiveOutput& output) override {
        Output = &output;
        return StreamResult;
    }
    int32_t Pull(uint8_t* out, int32_t len) { return Output->Pull(out, len); }
    // Pulls, then mixes on this thread every quarter the pull asked for (no worker runs).
    int32_t PullServed(uint8_t* out, int32_t len) {
        const int32_t got = Output->Pull(out, len);
        while (Output->PendingFills() > 0) {
            Output->FillQuarter();
        }
        return got;
    }
    void Play() override { ++Plays; }
    void Stop() override {
        ++Stops;
        if (OnStop) {
            OnStop();
        }
    }
    void Close() override {}
};

// A device whose thread pulls chunks at a steady pace, many times faster than real time, and
// keeps what it was given. Like a real device it holds its own lock while it pulls, which is how
// Stop knows that no pull is running.
struct ThreadedDevice final : OutputDevice {
    const int32_t ChunkBytes;
    const std::chrono::microseconds Pause;
    std::vector<uint8_t> Stream; // the device thread's until Close
    std::mutex Lock;
    bool Playing = false;
    std::atomic<bool> Quit{false};
    std::thread Thread;

    ThreadedDevice(int32_t chunkBytes, std::chrono::microseconds pause)
        : ChunkBytes(chunkBytes), Pause(pause) {}
    bool Open() override { return true; }
    bool CreateStream(LiveOutput& output) override {
        Thread = std::thread([this, &output] {
            std::vector<uint8_t> chunk(static_cast<std::size_t>(ChunkBytes));
            while (!Quit.load()) {
                {
                    std::lock_guard lock(Lock);
                    const int32_t got = Playing ? output.Pull(chunk.data(), ChunkBytes) : 0;
                    Stream.insert(Stream.end(), chunk.begin(), chunk.begin() + got);
                }
                std::this_thread::sleep_for(Pause);
            }
        });
        return true;
    }
    void Play() override { Set(true); }
    void Stop() override { Set(false); }
    void Set(bool playing) {
        std::lock_guard lock(Lock);
        Playing = playing;
    }
    void Close() override {
        Quit = true;
        if (Thread.joinable()) {
            Thread.join();
        }
    }
};

// A block of the header and exactly `bytes` bytes of data, all zero, whose DataSize claims
// dataSize.
inline SampleBlock* NewBlock(uint8_t format, int32_t dataSize, std::size_t bytes) {
    auto* block = static_cast<SampleBlock*>(std::calloc(1, sizeof(SampleBlock) + bytes));
    block->Format = format;
    block->DataSize = dataSize;
    return block;
}

// frames frames of `format` channels; value(frame, channel) gives the samples.
inline SampleBlock* NewSample(uint8_t format, int32_t frames,
                              const std::function<int16_t(int32_t, int32_t)>& value) {
    const int32_t bytes = frames * 2 * format;
    SampleBlock* block = NewBlock(format, bytes, static_cast<std::size_t>(bytes));
    for (int32_t f = 0; f < frames; ++f) {
        for (int32_t c = 0; c < format; ++c) {
            StoreS16(SampleData(block) + 2 * (f * format + c), value(f, c));
        }
    }
    return block;
}

} // namespace kellix::test
