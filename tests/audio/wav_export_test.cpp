#include "audio/effects.h"
#include "audio/wav_export.h"
#include "mixer_model.h"
#include "song/sequencer.h"
#include "test_samples.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

using namespace kellix;
namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

uint32_t U32(const std::vector<uint8_t>& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

struct ExportFixture : ::testing::Test {
    TTrack song;
    TInstrumentCode code;
    fs::path dir;
    TestSample sample;

    void SetUp() override {
        NewSong(song, code);
        dir = fs::temp_directory_path() /
              ("kellix-export-" + std::to_string(getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
        SetStartupEffects();
    }
    void TearDown() override {
        for (int i = 0; i < song.InstrumentCount; ++i) {
            song.Instrument[i].Sample = nullptr;
        }
        EmptySong(song, code);
        fs::remove_all(dir);
    }
};

TEST_F(ExportFixture, DefaultSongHasTheExactLengthAndHeader) {
    fs::path out = dir / "default.wav";
    std::string error;
    ASSERT_TRUE(ExportWav(song, out.string(), &error)) << error;
    std::vector<uint8_t> b = ReadAll(out);
    ASSERT_EQ(b.size(), 2621484u);
    EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF");
    EXPECT_EQ(U32(b, 4), 2621476u);
    EXPECT_EQ(std::string(b.begin() + 8, b.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(U32(b, 16), 16u);
    EXPECT_EQ(U32(b, 20), 1u | 2u << 16); // PCM, 2 channels
    EXPECT_EQ(U32(b, 24), 44100u);
    EXPECT_EQ(U32(b, 28), 176400u);
    EXPECT_EQ(U32(b, 32), 4u | 16u << 16); // 4 bytes a frame, 16 bits
    EXPECT_EQ(std::string(b.begin() + 36, b.begin() + 40), "data");
    EXPECT_EQ(U32(b, 40), 2621440u);
}

TEST_F(ExportFixture, ShortAndEmptySongs) {
    song.Speed = 1;
    song.Row = 1;
    ResizeTracksIndex(song, 1);
    fs::path out = dir / "short.wav";
    ASSERT_TRUE(ExportWav(song, out.string()));
    EXPECT_EQ(fs::file_size(out), 44u + 128u);
    ResizeTracksIndex(song, 0);
    ASSERT_TRUE(ExportWav(song, out.string()));
    EXPECT_EQ(fs::file_size(out), 44u);
}

TEST_F(ExportFixture, RendersWhatTheLiteralModelMixesAndIsRepeatable) {
    // A sine instrument with an envelope, notes in two entries, with the start-up delay.
    std::vector<int16_t> sine(30000);
    for (std::size_t i = 0; i < sine.size(); ++i) {
        sine[i] = static_cast<int16_t>(12000 * std::sin(0.03 * static_cast<double>(i)));
    }
    sample = MakeSample(1, sine);
    song.Instrument[0].Sample = sample.get();
    song.Instrument[0].Env = {500, 3000, 8000};
    song.Instrument[0].SampleTone = 3;
    song.Speed = 40;
    ResizeTracksIndex(song, 0);
    ResizeTracksIndex(song, 3);
    for (int p = 0; p < 2; ++p) {
        TPattern& pat = song.Patterns[p];
        for (int t = 0; t < 16; t += 3) {
            int i = AppendPoint(pat);
            pat.Points[i] = {t, 20 + t + p, 0, 250, 30 + 60 * p};
        }
        int j = AppendPatternIndex(song.Tracks[p]);
        song.Tracks[p].PatternIndex[j] = p;
    }
    song.TracksIndex[2] = 0;

    fs::path a = dir / "a.wav", b = dir / "b.wav";
    ASSERT_TRUE(ExportWav(song, a.string()));
    ASSERT_TRUE(ExportWav(song, b.string()));
    std::vector<uint8_t> first = ReadAll(a);
    EXPECT_EQ(first, ReadAll(b));

    // The model: the same notes, mixed literally in quarter-second blocks.
    model::Mixer ref;
    model::Delay delay{9980, 8191, 10584, 15876};
    const int64_t entry = int64_t{40} * 32 * 16;
    for (int e = 0; e < 3; ++e) {
        int p = song.TracksIndex[e];
        for (int i = 0; i < song.Patterns[p].PointsCount; ++i) {
            const TIdPoint& n = song.Patterns[p].Points[i];
            float pitch = static_cast<float>(n.Tone + 3 * 0.0625);
            int32_t step = static_cast<int32_t>(
                std::exp(std::log(2.0L) * (pitch * (1.0L / 12) + 14.4285L - 1)));
            int64_t start = e * entry + n.Time * 40 * 32;
            ref.voices.push_back(
                {sample.get(), step, -start * 4, n.Vol * 127, n.Pan, {500, 3000, 8000}});
        }
    }
    std::vector<int16_t> ring(88200);
    std::vector<uint8_t> expected(first.begin(), first.begin() + 44);
    int64_t remaining = 3 * entry * 4;
    while (remaining > 0) {
        auto* bytes = reinterpret_cast<uint8_t*>(ring.data()) + ref.writePos;
        model::MixBlock(ref, ring.data(), 11025, delay);
        int64_t part = std::min<int64_t>(44100, remaining);
        expected.insert(expected.end(), bytes, bytes + part);
        remaining -= part;
    }
    EXPECT_EQ(first, expected);
}

TEST_F(ExportFixture, UnwritableTargetIsReportedAndLeavesNothing) {
    std::string error;
    fs::path out = dir / "missing-folder" / "x.wav";
    EXPECT_FALSE(ExportWav(song, out.string(), &error));
    EXPECT_NE(error.find(out.string()), std::string::npos) << error;
    EXPECT_FALSE(fs::exists(out));
}

TEST_F(ExportFixture, TooLongOrNegativeSongsAreRefusedWithoutTouchingTheFile) {
    fs::path out = dir / "keep.wav";
    std::ofstream(out) << "old contents";
    std::string error;
    song.Speed = 1 << 20; // 2^20 x 32 x 16 x 10 frames x 4 bytes > 4 GiB
    EXPECT_FALSE(ExportWav(song, out.string(), &error));
    EXPECT_NE(error.find("too long"), std::string::npos) << error;
    song.Speed = -128;
    EXPECT_FALSE(ExportWav(song, out.string(), &error));
    EXPECT_NE(error.find("negative"), std::string::npos) << error;
    EXPECT_EQ(fs::file_size(out), 12u);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator{}), 1);
}

TEST_F(ExportFixture, ReplacesAnExistingFileWhole) {
    fs::path out = dir / "song.wav";
    std::ofstream(out) << std::string(5000000, 'x');
    ASSERT_TRUE(ExportWav(song, out.string()));
    EXPECT_EQ(fs::file_size(out), 2621484u);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator{}), 1);
}

TEST_F(ExportFixture, ReportsProgressToTheEnd) {
    int64_t lastDone = -1, lastTotal = -1;
    int calls = 0;
    ASSERT_TRUE(
        ExportWav(song, (dir / "p.wav").string(), nullptr, [&](int64_t done, int64_t total) {
            EXPECT_GT(done, lastDone);
            lastDone = done;
            lastTotal = total;
            ++calls;
        }));
    EXPECT_EQ(lastDone, 2621440);
    EXPECT_EQ(lastTotal, 2621440);
    EXPECT_EQ(calls, 60); // 59 whole quarter seconds and a cut one
}

} // namespace
