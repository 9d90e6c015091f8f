// The live stream against the slow reference (stream_reference.h) and the WAV export: random
// previews, play commands (looped or not) and stops at random moments, with the device pulled in
// 512-frame chunks by the test itself or by a thread of its own racing the worker; how soon each
// command is heard; long songs in little memory; the end of a loop.
#include "stream_reference.h"
#include "test_blocks.h"
#include "test_files.h"

#include "audio/effects.h"
#include "audio/live_output.h"
#include "audio/live_stream.h"
#include "audio/sequencer.h"
#include "audio/wav_export.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <malloc.h>
#include <memory>
#include <random>
#include <thread>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace kellix::test {
namespace {

constexpr int32_t kChunkBytes = 512 * 4;

std::size_t HeapBytes() {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    return __sanitizer_get_current_allocated_bytes();
#else
    const struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
#endif
}

// Instruments of full-scale square and saw waves, so that a few notes together saturate, with
// assorted envelopes and tunings; patterns of notes in no time order, some past Row; tracks of
// one to three patterns; a play list that names a track that does not exist.
void RandomSong(std::mt19937& rng, TTrack& song, SampleSet& samples) {
    auto pick = [&rng](int32_t lo, int32_t hi) {
        return std::uniform_int_distribution<int32_t>(lo, hi)(rng);
    };
    song = NewSong();
    song.Speed = pick(8, 24);
    song.Row = pick(4, 8);
    samples.Resize(song.InstrumentCount());
    for (int32_t i = 0; i < 4; ++i) {
        const uint8_t format = i % 2 ? kSampleStereo : kSampleMono;
        const int32_t period = pick(20, 200);
        samples.Set(i, NewSample(format, pick(300, 6000), [=](int32_t f, int32_t c) {
                        return static_cast<int16_t>(
                            i < 2 ? ((f + c) % period < period / 2 ? 32767 : -32768)
                                  : (f % period) * 65535 / period - 32768);
                    }));
        song.Instrument.EditAt(i).Env = {pick(0, 300), pick(0, 6000), pick(0, 2000)};
        song.Instrument.EditAt(i).SampleTone = pick(-16, 16);
    }
    for (int32_t p = 0; p < 4; ++p) {
        for (int32_t k = pick(1, 6); k > 0; --k) {
            AppendPoint(song.Patterns.EditAt(p), {pick(0, song.Row + 3), pick(12, 36), pick(0, 4),
                                                  pick(100, 258), pick(0, 255)});
        }
        for (int32_t k = pick(1, 3); k > 0; --k) {
            AppendPatternIndex(song.Tracks.EditAt(p), pick(0, 3));
        }
    }
    ResizeTracksIndex(song, 6);
    for (int32_t e = 0; e < 6; ++e) {
        song.TracksIndex.EditAt(e) = pick(0, 4);
    }
    song.TracksIndex.EditAt(5) = 99;
}

MasterEffects EchoAndReverb(bool reverb) {
    MasterEffects e = StartupEffects();
    SetStereoDelay(e, 16384, 12000, 3000, 5000);
    e.ReverbOn = reverb;
    return e;
}

class LiveStream : public ::testing::Test {
  protected:
    void SetUp() override {
        SetSampleRelease([](SampleBlock* b) { std::free(b); });
    }
    void TearDown() override { SetSampleRelease(nullptr); }
};

struct Scenario {
    uint32_t Seed;
    bool Threaded; // the device has a thread of its own and the worker runs
    bool Loop;
    bool Reverb;
};

// Previews, plays and stops at random moments: the stream is the reference's, with each voice at
// the frame its command returned; previews start a margin after what was pulled, plays at the
// next quarter.
TEST_F(LiveStream, RandomCommandsGiveTheReferenceStream) {
    for (const Scenario s : {Scenario{1, false, false, false}, Scenario{2, false, true, true},
                             Scenario{3, true, false, false}, Scenario{4, true, true, true}}) {
        SCOPED_TRACE(s.Seed);
        std::mt19937 rng(s.Seed);
        TTrack song;
        SampleSet samples;
        RandomSong(rng, song, samples);
        FakeDevice fake;
        ThreadedDevice steady(kChunkBytes, std::chrono::microseconds(300));
        OutputDevice& device = s.Threaded ? static_cast<OutputDevice&>(steady) : fake;
        auto live = std::make_unique<LiveOutput>(device);
        live->SetEffects(EchoAndReverb(s.Reverb));
        live->SetLoop(s.Loop);
        StreamReference ref;
        ref.Mixer->Effects = EchoAndReverb(s.Reverb);
        std::vector<uint8_t> stream;
        std::vector<uint8_t> chunk(kChunkBytes);
        if (s.Threaded) {
            live->StartWorker();
        }
        live->PlayOutput();
        const int64_t length = 50 * kQuarterFrames;
        std::vector<std::pair<int64_t, PlayRequest>> plays;
        while (live->PlayedBytes() < StreamByte(length)) {
            if (s.Threaded) {
                std::this_thread::sleep_for(std::chrono::microseconds(rng() % 3000));
            } else {
                for (int32_t k = static_cast<int32_t>(rng() % 12); k >= 0; --k) {
                    const int32_t got = fake.PullServed(chunk.data(), kChunkBytes);
                    stream.insert(stream.end(), chunk.begin(), chunk.begin() + got);
                }
            }
            const int64_t pulled = live->PlayedBytes() / 4;
            const uint32_t what = rng() % 8;
            if (what < 5) {
                const int32_t inst = static_cast<int32_t>(rng() % 5), tone = 12 + rng() % 30,
                              vol = 100 + rng() % 159, pan = rng() % 256;
                const int64_t at = live->Preview(song, samples, inst, tone, vol, pan);
                if (inst == 4) {
                    EXPECT_EQ(at, -1) << "no sample";
                    continue;
                }
                if (!s.Threaded) {
                    EXPECT_LE(at + kLeadFrames - std::max<int64_t>(pulled, kLeadFrames),
                              512 + kStartMarginFrames);
                }
                const NoteVoice v = VoiceOfNote(song.Instrument[inst], tone, vol, pan);
                AddVoice(ref.Mixer, at, v.Step, v.Peak, v.Pan, &v.Env, samples.At(inst));
                ref.EndCommand();
            } else if (what < 7) {
                const PlayRequest request{static_cast<PlayRequest::What>(rng() % 3),
                                          static_cast<int32_t>(rng() % 4)};
                const int64_t at = live->Play(song, samples, request);
                EXPECT_EQ(at % kQuarterFrames, 0);
                if (!s.Threaded) {
                    EXPECT_LE(at + kLeadFrames - std::max<int64_t>(pulled, kLeadFrames),
                              kQuarterFrames + 512);
                }
                const int64_t pass = PassFrames(song, request);
                // In the order of PlayRequest::What: song, track, pattern.
                const auto play =
                    std::array{PlayFrom, PlayTrack, PlayPattern}[static_cast<int>(request.Kind)];
                for (int64_t base = at; base == at || (s.Loop && pass > 0 && base < length * 2);
                     base += pass) {
                    play(ref.Mixer, song, samples, request.Index, base);
                }
                ref.EndCommand();
            } else {
                ref.StopAt(live->Stop());
            }
        }
        live.reset();
        if (s.Threaded) {
            stream = steady.Stream;
        }
        ASSERT_GE(stream.size(), static_cast<std::size_t>(StreamByte(length)));
        EXPECT_TRUE(stream == ref.Upto(stream.size()));
    }
}

// A song that saturates plays exactly as it is exported, whether it starts with the stream or
// at a quarter already mixed.
TEST_F(LiveStream, SongPlaysAsExported) {
    const TempFolder dir;
    for (uint32_t seed : {5u, 6u, 7u}) {
        std::mt19937 rng(seed);
        TTrack song;
        SampleSet samples;
        RandomSong(rng, song, samples);
        const MasterEffects effects = EchoAndReverb(seed == 7);
        std::string error;
        ASSERT_TRUE(ExportWav(song, samples, effects, dir / "song.wav", &error)) << error;
        const std::string file = ReadFile(dir / "song.wav");
        const std::vector<uint8_t> wav(file.begin() + kWavHeaderSize, file.end());
        // The device left at the lead, in the first quarter, and one quarter on: the play's
        // first quarter is mixed already in the last two.
        for (int32_t silence : {0, 15 * kChunkBytes, 60 * kChunkBytes}) {
            FakeDevice device;
            LiveOutput live(device);
            live.SetEffects(effects);
            std::vector<uint8_t> stream(static_cast<std::size_t>(silence) + wav.size() +
                                        kRingBytes);
            for (int32_t at = 0; at < silence; at += kChunkBytes) {
                device.PullServed(stream.data() + at, kChunkBytes);
            }
            const int64_t start = StreamByte(live.Play(song, samples, PlayRequest{}));
            for (auto at = static_cast<std::size_t>(silence); at + kChunkBytes <= stream.size();
                 at += kChunkBytes) {
                device.PullServed(stream.data() + at, kChunkBytes);
            }
            EXPECT_TRUE(std::equal(wav.begin(), wav.end(), stream.begin() + start))
                << seed << " after " << silence;
        }
    }
}

// Songs far too long to schedule at once: a play list of a million entries, and a pattern of a
// million notes in no time order played by ten entries. They play in little memory, and "Stop"
// gives it back.
TEST_F(LiveStream, LongSongsPlayInLittleMemory) {
    for (bool longList : {true, false}) {
        SCOPED_TRACE(longList);
        TTrack song = NewSong();
        SampleSet samples;
        samples.Resize(song.InstrumentCount());
        samples.Set(0, NewSample(kSampleMono, 3000, [](int32_t f, int32_t) {
                        return static_cast<int16_t>(f % 64 < 32 ? 9000 : -9000);
                    }));
        song.Instrument.EditAt(0).Env = {0, 268435455, 0};
        song.Speed = 16;
        std::vector<TIdPoint>& points = song.Patterns.EditAt(0).Points.Edit();
        std::mt19937 rng(3);
        for (int32_t i = 0; i < (longList ? 8 : 1000000); ++i) {
            points.push_back({longList ? i % 16 : static_cast<int32_t>(rng() % 1000000),
                              24 + i % 12, 0, 200, 128});
        }
        AppendPatternIndex(song.Tracks.EditAt(0), 0);
        ResizeTracksIndex(song, longList ? 1000000 : 10);
        for (int32_t& entry : song.TracksIndex.Edit()) {
            entry = 0;
        }
        FakeDevice device;
        LiveOutput live(device);
        const std::size_t before = HeapBytes();
        std::size_t most = 0;
        bool sounded = false;
        live.Play(song, samples, PlayRequest{});
        std::vector<uint8_t> chunk(kChunkBytes);
        for (int32_t n = 0; n < 40 * kQuarterBytes / kChunkBytes; ++n) {
            device.PullServed(chunk.data(), kChunkBytes);
            most = std::max(most, HeapBytes());
            sounded =
                sounded || std::any_of(chunk.begin(), chunk.end(), [](uint8_t b) { return b; });
        }
        EXPECT_TRUE(sounded);
        EXPECT_LT(most, before + 100'000'000);
        live.Stop();
        EXPECT_LT(HeapBytes(), before + 10'000'000);
    }
}

// Turning the loop off lets the pass being scheduled end the play: the stream holds the passes
// up to the frame SetLoop returned, and nothing of the play after it.
TEST_F(LiveStream, LoopEndsWhereSetLoopSays) {
    std::mt19937 rng(9);
    TTrack song;
    SampleSet samples;
    RandomSong(rng, song, samples);
    FakeDevice device;
    LiveOutput live(device);
    StreamReference ref;
    live.SetEffects(EchoAndReverb(false));
    ref.Mixer->Effects = EchoAndReverb(false);
    EXPECT_EQ(live.SetLoop(true), -1) << "nothing plays";
    const PlayRequest request{PlayRequest::What::Track, 1};
    const int64_t start = live.Play(song, samples, request);
    std::vector<uint8_t> stream(430 * kChunkBytes);
    std::size_t at = 0;
    auto pull = [&](std::size_t upto) {
        for (; at < upto; at += kChunkBytes) {
            device.PullServed(stream.data() + at, kChunkBytes);
        }
    };
    pull(130 * kChunkBytes);
    const int64_t end = live.SetLoop(false);
    const int64_t pass = PassFrames(song, request);
    ASSERT_GT(pass, 0);
    EXPECT_GE(end, live.MixedFrames());
    EXPECT_EQ((end - start) % pass, 0);
    for (int64_t base = start; base < end; base += pass) {
        PlayTrack(ref.Mixer, song, samples, request.Index, base);
    }
    ref.EndCommand();
    pull(stream.size());
    EXPECT_TRUE(stream == ref.Upto(stream.size()));
}

} // namespace
} // namespace kellix::test
