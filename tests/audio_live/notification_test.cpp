#include "live_fixture.h"

#include "audio/mini_thread.h"

#include <cmath>

namespace kellix::test {
namespace {

// Voices of both formats, pans, envelopes and pitches, so that any misplaced or repeated quarter
// changes the stream.
void AddTestVoices(SoundBuffer* mixer, std::vector<SampleBlock*>& blocks) {
    if (blocks.empty()) {
        blocks.push_back(NewSample(kSampleMono, 30000, [](int32_t f, int32_t) {
            return static_cast<int16_t>(20000 * std::sin(f * 0.031));
        }));
        blocks.push_back(NewSample(kSampleStereo, 50000, [](int32_t f, int32_t c) {
            return static_cast<int16_t>((f * (c ? 7 : 13)) % 30000 - 15000);
        }));
    }
    TEnvelope env{441, 20000, 8000};
    AddVoice(mixer, 0, 44100, 32512, 128, nullptr, blocks[0]);
    AddVoice(mixer, 5000, 33075, 20000, 40, &env, blocks[1]);
    AddVoice(mixer, 30000, 58800, 32000, 200, &env, blocks[0]);
    AddVoice(mixer, 70000, 44100, 25000, 255, nullptr, blocks[1]);
}

void FreeAll(std::vector<SampleBlock*>& blocks) {
    for (SampleBlock* b : blocks) {
        std::free(b);
    }
}

// The mixer's WritePos after the fill that each notification starts: the table's quarter plus
// the 11025 frames just mixed.
TEST_F(LiveOutputTest, EachNotificationFillsItsQuarterInOrder) {
    struct Step {
        int64_t pullTo;        // stream byte the device reaches
        int32_t writePosAfter; // the live mixer's WritePos after the fill
        int64_t totalAfter;
    };
    // Event 0 at position 0 as playback starts, then events 1, 2, 3 at 44099, 88199, 132299,
    // and event 0 again after the wrap.
    const Step steps[] = {
        {4, 88200, 11025},      {44100, 132300, 22050}, {88200, 0, 33075},
        {132300, 44100, 44100}, {176404, 88200, 55125}, {176400 + 44100, 132300, 66150},
    };
    for (const Step& s : steps) {
        PullServed(static_cast<int32_t>(s.pullTo - Pos), 4);
        std::lock_guard lock(MixLock);
        EXPECT_EQ(LiveMixer()->WritePos, s.writePosAfter) << "at stream byte " << s.pullTo;
        EXPECT_EQ(LiveMixer()->Total, s.totalAfter) << "at stream byte " << s.pullTo;
    }
}

TEST_F(LiveOutputTest, DevicePlaysExactlyWhatWasMixedWhateverItsChunks) {
    std::vector<SampleBlock*> blocks;
    AddTestVoices(LiveMixer(), blocks);
    Reference ref;
    AddTestVoices(ref.Mixer, blocks);
    // Chunk sizes that straddle the notification positions and the quarter boundaries.
    for (int32_t chunk : {4096, 1, 7777, 44100, 10000}) {
        PullServed(3 * 44100 + 1234, chunk);
    }
    ref.Quarters(static_cast<int>(Pos / kQuarterBytes) + 1);
    std::vector<uint8_t> expected = AfterLeadIn(ref.Stream);
    expected.resize(Stream.size());
    EXPECT_EQ(Stream, expected);
    EXPECT_EQ(PlayedBytes(), Pos);
    FreeAll(blocks);
}

TEST_F(LiveOutputTest, DeviceWaitsInFrontOfAQuarterNotYetMixed) {
    std::vector<uint8_t> buf(2 * kQuarterBytes, 0xAA);
    // The first quarter is the ring's initial silence; it asks for quarters 1 and 2.
    EXPECT_EQ(PullOutput(buf.data(), 2 * kQuarterBytes), kQuarterBytes);
    EXPECT_EQ(buf, std::vector<uint8_t>(2 * kQuarterBytes, 0));
    EXPECT_EQ(PullOutput(buf.data(), 100), 0);
    EXPECT_EQ(PlayedBytes(), kQuarterBytes);

    std::lock_guard lock(MixLock);
    SampleBlock* block = NewSample(kSampleMono, 40000, [](int32_t, int32_t) { return 20000; });
    AddVoice(LiveMixer(), 0, 44100, 32512, 128, nullptr, block);
    FillQuarter();
    // Quarter 1 now holds the voice's first frames.
    EXPECT_EQ(PullOutput(buf.data(), 100), 100);
    EXPECT_NE(LoadS16(buf.data() + 8), 0);
    ClearVoices(LiveMixer());
    std::free(block);
}

TEST_F(LiveOutputTest, WorkerServesTheDeviceAndStopsOnRequest) {
    std::vector<SampleBlock*> blocks;
    {
        std::lock_guard lock(MixLock);
        AddTestVoices(LiveMixer(), blocks);
    }
    Reference ref;
    AddTestVoices(ref.Mixer, blocks);
    StartWorker();
    PullWithWorker(8 * kQuarterBytes, 4096);
    StopWorker();
    EXPECT_TRUE(Idle.load());

    ref.Quarters(7);
    EXPECT_EQ(Stream, AfterLeadIn(ref.Stream));
    FreeAll(blocks);
}

TEST(MiniThreadTest, LoopsOverItsCallbackUntilStopped) {
    static std::atomic<int> calls{0};
    static std::atomic<bool> woken{false};
    MiniThread thread;
    thread.Callback = [] {
        ++calls;
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    };
    thread.Wake = [] { woken = true; };
    StartThread(thread);
    EXPECT_EQ(thread.Running.load(), 1);
    while (calls.load() < 3) {
        std::this_thread::yield();
    }
    StopThread(thread);
    EXPECT_EQ(thread.Running.load(), 0);
    EXPECT_TRUE(woken.load());
    EXPECT_FALSE(thread.Handle.joinable());
    int after = calls.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(calls.load(), after);
}

} // namespace
} // namespace kellix::test
