#include "live_fixture.h"

#include "audio/wav_export.h"
#include "play_live.h"
#include "sdl_output.h"
#include "song/sequencer.h"
#include "song/track.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace kellix::test {
namespace {

std::vector<uint8_t> ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A short song with notes from its first frame on, two instruments and an echo that returns
// inside the song. Live output mixes quarters and an export whole seconds, and the mixer starts
// every block on a whole source frame and on the envelope's closed formula: the two agree bit for
// bit only for notes played at the output rate (Tone 24, SampleTone 0) whose envelopes hold.
struct ShortSong {
    TTrack Song{};
    TInstrumentCode Code{};

    ShortSong() {
        NewSong(Song, Code);
        Song.Speed = 32;
        Song.Row = 8;
        ResizeTracksIndex(Song, 3);
        Song.Instrument[0].Sample = NewSample(kSampleStereo, 9000, [](int32_t f, int32_t c) {
            return static_cast<int16_t>(((f * (c ? 7 : 5)) % 300) * 90 - 13000);
        });
        Song.Instrument[0].Env = {0, 6000, 0};
        Song.Instrument[1].Sample = NewSample(kSampleMono, 4000, [](int32_t f, int32_t) {
            return static_cast<int16_t>(f % 80 < 40 ? 15000 : -15000);
        });
        Song.Instrument[1].Env = {0, 2500, 0};
        ResizePoints(Song, 0, 3);
        Song.Patterns[0].Points[0] = {0, 24, 0, 256, 128};
        Song.Patterns[0].Points[1] = {2, 24, 1, 220, 60};
        Song.Patterns[0].Points[2] = {5, 24, 0, 180, 200};
        for (int32_t t = 0; t < 3; ++t) {
            ResizePatternIndex(Song, t, 1);
            Song.Tracks[t].PatternIndex[0] = 0;
        }
        SetStereoDelay(8000, 6000, 5000, 9000);
    }
    ~ShortSong() {
        SetSampleRelease(FreeReleased);
        ResizeInstrumentCode(Code, 0);
        ResizeInstruments(Song, 0);
        ResizePatterns(Song, 0);
        ResizeTracks(Song, 0);
        ResizeTracksIndex(Song, 0);
        SetSampleRelease(nullptr);
        SetStartupEffects();
    }
};

// The disk driver writes exactly the stream: the ring's silent first quarter, then the song as
// an export renders it. SDL itself writes whole buffers of silence while the device is opened
// but not yet started; those come first.
TEST(SdlOutputTest, DiskStreamIsTheExportedSongAfterAQuarterOfSilence) {
    const auto dir =
        std::filesystem::temp_directory_path() / ("kellix_disk_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    ::setenv("SDL_AUDIODRIVER", "disk", 1);
    ::setenv("SDL_DISKAUDIOFILE", (dir / "stream.raw").c_str(), 1);
    ShortSong s;
    PlaySongLive(s.Song);
    ::setenv("SDL_AUDIODRIVER", "dummy", 1);

    std::string error;
    ASSERT_TRUE(ExportWav(s.Song, (dir / "song.wav").string(), &error)) << error;
    std::vector<uint8_t> wav = ReadFile(dir / "song.wav");
    std::vector<uint8_t> stream = ReadFile(dir / "stream.raw");
    ASSERT_EQ(wav.size(), 44u + 4u * 32 * 32 * 8 * 3);
    std::vector<uint8_t> data(wav.begin() + 44, wav.end());
    ASSERT_NE(data[0] | data[1] | data[2] | data[3], 0) << "the song must start at once";

    const std::size_t sdlBuffer = 1024 * 4;
    std::size_t lead = 0;
    while (lead < stream.size() && stream[lead] == 0) {
        ++lead;
    }
    lead -= lead % 4;
    ASSERT_GE(lead, std::size_t{kQuarterBytes});
    EXPECT_EQ((lead - kQuarterBytes) % sdlBuffer, 0u) << "silence before the start: " << lead;
    EXPECT_LE(lead - kQuarterBytes, 10 * sdlBuffer);
    ASSERT_GE(stream.size(), lead + data.size());
    auto mismatch = std::mismatch(data.begin(), data.end(), stream.begin() + lead);
    EXPECT_EQ(mismatch.first, data.end())
        << "first difference at data byte " << (mismatch.first - data.begin()) << " after " << lead
        << " bytes of silence";
    if (!HasFailure()) {
        std::filesystem::remove_all(dir);
    }
}

TEST(SdlOutputTest, PlaysAndStopsOnTheDummyDriver) {
    ::setenv("SDL_AUDIODRIVER", "dummy", 1);
    ShortSong s;
    SetUpSdlOutput();
    StartWorker();
    PlayOutput();
    {
        std::lock_guard lock(MixLock);
        PlaySong(LiveMixer(), s.Song, 0);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (PlayedBytes() < 2 * kQuarterBytes && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_GE(PlayedBytes(), 2 * kQuarterBytes);
    StopLivePlayback();
    {
        std::lock_guard lock(MixLock);
        EXPECT_EQ(VoiceCount(LiveMixer()), 0);
        EXPECT_GE(LiveMixer()->Total, kQuarterFrames);
    }
    StopWorker();
    TearDownOutput();
}

TEST(SdlOutputDeathTest, NoSoundDeviceEndsWithThePartsMessage) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ::setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
            SetUpSdlOutput();
        },
        ::testing::ExitedWithCode(1), "Error!: Failed to create IDirectSound object");
}

} // namespace
} // namespace kellix::test
