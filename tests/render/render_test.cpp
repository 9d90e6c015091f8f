#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Outcome {
    int status = -1;
    std::string err;
};

// Runs kellix-render with the arguments (each quoted), capturing stderr.
Outcome Render(const std::vector<std::string>& args, const fs::path& errFile) {
    std::string command = std::string("'") + KELLIX_RENDER + "'";
    for (const std::string& a : args) {
        command += " '" + a + "'";
    }
    command += " 2>'" + errFile.string() + "' >/dev/null";
    Outcome r;
    int raw = std::system(command.c_str());
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    std::ifstream in(errFile);
    r.err.assign(std::istreambuf_iterator<char>(in), {});
    return r;
}

std::vector<uint8_t> ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

uint32_t U32(const std::vector<uint8_t>& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

uint64_t Fnv1a(const std::vector<uint8_t>& bytes) {
    uint64_t h = 14695981039346656037ull;
    for (uint8_t b : bytes) {
        h = (h ^ b) * 1099511628211ull;
    }
    return h;
}

// Four instruments: a mono sine, a broken script, a stereo sine and an empty code; two notes.
constexpr const char* kSong = R"( Const
  Instruments: array [0..3] of TInstrument=(
   ( SampleTone: 0; Name: nil; Sample: nil; Env: ( Attack: 0; Cont: 4000; Ende: 4000 )),
   ( SampleTone: 0; Name: nil; Sample: nil; Env: ( Attack: 0; Cont: 4000; Ende: 4000 )),
   ( SampleTone: 0; Name: nil; Sample: nil; Env: ( Attack: 10; Cont: 4000; Ende: 4000 )),
   ( SampleTone: 0; Name: nil; Sample: nil; Env: ( Attack: 0; Cont: 4000; Ende: 4000 )));

  Point0: array [0..2] of TIdPoint=(
   ( Time: 0; Tone: 24; Instrument: 0; Vol: 256; Pan: 128),
   ( Time: 4; Tone: 24; Instrument: 2; Vol: 256; Pan: 64),
   ( Time: 6; Tone: 24; Instrument: 1; Vol: 256; Pan: 64));

  Patterns: array [0..0] of TPattern=(
   ( PointsCount: 3; Points: @Point0 ));

  PatternIndex0: array [0..0] of longint=(0);

  Tracks: array [0..0] of TTrackPattern=(
   ( PatternCount: 1; PatternIndex: @PatternIndex0 ));

  TracksIndex: array [0..1] of Longint=(0,0);

  Track:TTrack=(
   TrackIndexCount: 2;
   TrackCount: 1;
   PatternCount: 1;
   InstrumentCount: 4;
   Speed: 64;
   Row: 8;
   TracksIndex: @TracksIndex;
   Tracks: @Tracks;
   Patterns: @Patterns;
   Instrument: @Instruments;
  );

Function InitSample0:pointer;
begin
 Result := CreateSample( 1000 , 1 );
 GSample( Result , FG_SIN , 440 , 10000 );
end;

Function InitSample1:pointer;
begin
 Result := CreateSample( 1000 , 1 );
 Bogus( Result );
end;

Function InitSample2:pointer;
begin
 Result := CreateSample( 500 , 2 );
 GSample( Result , FG_SAW , 220 , 8000 );
end;

Function InitSample3:pointer;
begin

end;

)";

struct RenderFixture : ::testing::Test {
    fs::path dir;
    fs::path song;
    fs::path err;
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("kellix-render-" + std::to_string(getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
        song = dir / "song.txt";
        std::ofstream(song, std::ios::binary) << kSong;
        err = dir / "stderr.txt";
    }
    void TearDown() override { fs::remove_all(dir); }
};

TEST_F(RenderFixture, RendersTheSongAndReportsTheBrokenInstrument) {
    Outcome r = Render({song.string()}, err);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("instrument 2: Error: Undeclared indentifier Bogus( Result );"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.err.find("instrument 1:"), std::string::npos) << r.err;
    // The default output: the song's name with .wav; 2 entries of 8 steps of 64 x 32 frames.
    std::vector<uint8_t> wav = ReadAll(dir / "song.wav");
    ASSERT_EQ(wav.size(), 44u + 2 * 8 * 64 * 32 * 4);
    EXPECT_EQ(U32(wav, 40), 2u * 8 * 64 * 32 * 4);
    EXPECT_NE(r.err.find("song.wav: 0.74 s of audio"), std::string::npos) << r.err;
    bool sound = false;
    for (std::size_t i = 44; i < wav.size() && !sound; ++i) {
        sound = wav[i] != 0;
    }
    EXPECT_TRUE(sound);
}

TEST_F(RenderFixture, SameSongTwiceGivesIdenticalFiles) {
    ASSERT_EQ(Render({"--quiet", song.string(), (dir / "a.wav").string()}, err).status, 0);
    ASSERT_EQ(Render({"--quiet", song.string(), (dir / "b.wav").string()}, err).status, 0);
    EXPECT_EQ(ReadAll(dir / "a.wav"), ReadAll(dir / "b.wav"));
    EXPECT_EQ(
        Render({"--quiet", "--stereo-delay", "0,0,0,0", song.string(), (dir / "c.wav").string()},
               err)
            .status,
        0);
    EXPECT_NE(ReadAll(dir / "a.wav"), ReadAll(dir / "c.wav"));
}

TEST_F(RenderFixture, WritesEveryGeneratedSample) {
    fs::path samples = dir / "samples";
    Outcome r = Render(
        {"--quiet", "--samples", samples.string(), song.string(), (dir / "out.wav").string()}, err);
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<uint8_t> mono = ReadAll(samples / "instrument0001.wav");
    ASSERT_EQ(mono.size(), 44u + 2000u);
    EXPECT_EQ(U32(mono, 20) >> 16, 1u); // channels
    EXPECT_EQ(U32(mono, 24), 44100u);
    EXPECT_EQ(U32(mono, 40), 2000u);
    std::vector<uint8_t> stereo = ReadAll(samples / "instrument0003.wav");
    ASSERT_EQ(stereo.size(), 44u + 2000u);
    EXPECT_EQ(U32(stereo, 20) >> 16, 2u);
    EXPECT_EQ(U32(stereo, 28), 176400u);
    // The broken and the empty instrument have no sample, so no file.
    EXPECT_FALSE(fs::exists(samples / "instrument0002.wav"));
    EXPECT_FALSE(fs::exists(samples / "instrument0004.wav"));
}

TEST_F(RenderFixture, FailuresGiveTheirExitStatusAndName) {
    Outcome r = Render({(dir / "missing.txt").string()}, err);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("missing.txt"), std::string::npos) << r.err;

    fs::path out = dir / "no-such-folder" / "out.wav";
    r = Render({song.string(), out.string()}, err);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(out.string()), std::string::npos) << r.err;

    r = Render({"--resave", (dir / "no-such-folder" / "x.txt").string(), song.string()}, err);
    EXPECT_EQ(r.status, 1);

    for (std::vector<std::string> bad : {std::vector<std::string>{},
                                         {"--bogus", song.string()},
                                         {"--samples"},
                                         {"--stereo-delay", "1,2,3", song.string()},
                                         {"--stereo-delay", "1,2,3,x", song.string()},
                                         {song.string(), "a.wav", "b.wav"}}) {
        r = Render(bad, err);
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_NE(r.err.find("kellix-render:"), std::string::npos) << r.err;
    }
    EXPECT_EQ(Render({"--help"}, err).status, 0);
    EXPECT_EQ(Render({"--version"}, err).status, 0);
}

// The example songs: each one resaves to the same bytes and renders to its stored checksum.
TEST(ExampleSongs, ResaveUnchangedAndMatchTheirChecksums) {
    fs::path source = KELLIX_SOURCE_DIR;
    std::ifstream list(source / "tests" / "render" / "song_checksums.txt");
    std::map<std::string, std::string> expected;
    for (std::string line; std::getline(list, line);) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        std::istringstream fields(line);
        std::string name, sum;
        fields >> name >> sum;
        expected[name] = sum;
    }
    ASSERT_GE(expected.size(), 3u);
    fs::path dir = fs::temp_directory_path() / ("kellix-songs-" + std::to_string(getpid()));
    fs::create_directories(dir);
    for (const auto& [name, sum] : expected) {
        fs::path wav = dir / (name + ".wav");
        fs::path resaved = dir / name;
        Outcome r = Render({"--quiet", "--resave", resaved.string(),
                            (source / "songs" / name).string(), wav.string()},
                           dir / "err.txt");
        ASSERT_EQ(r.status, 0) << name << ": " << r.err;
        EXPECT_EQ(r.err, "") << name; // every instrument compiled
        EXPECT_EQ(ReadAll(resaved), ReadAll(source / "songs" / name)) << name;
        char actual[17];
        std::snprintf(actual, sizeof actual, "%016llx",
                      static_cast<unsigned long long>(Fnv1a(ReadAll(wav))));
        EXPECT_EQ(sum, actual) << name << ": the rendered sound changed";
    }
    fs::remove_all(dir);
}

} // namespace
