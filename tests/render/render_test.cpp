#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Outcome {
    int status = -1; // the exit status, or -1 when a signal ended the program
    int signal = 0;  // the signal that ended it
    std::string err;
};

// How the program is run: extra environment, as an ordinary user (when the tests run as root),
// a file size limit, where standard output goes, and what to do while it runs.
struct RunOptions {
    std::vector<std::string> env;
    bool asUser = false;
    rlim_t fileLimit = RLIM_INFINITY;
    fs::path out = "/dev/null";
    std::function<void(pid_t)> whileRunning;
};

RunOptions WritingTo(const fs::path& out) {
    RunOptions o;
    o.out = out;
    return o;
}
RunOptions AsUser() {
    RunOptions o;
    o.asUser = true;
    return o;
}
RunOptions WithFileLimit(rlim_t bytes) {
    RunOptions o;
    o.fileLimit = bytes;
    return o;
}
RunOptions WithEnv(const std::string& variable) {
    RunOptions o;
    o.env.push_back(variable);
    return o;
}
RunOptions WhileRunning(std::function<void(pid_t)> action) {
    RunOptions o;
    o.whileRunning = std::move(action);
    return o;
}

// The exit status a child gives when it could not become an ordinary user or start the program.
constexpr int kCannotStart = 126;

// Runs kellix-render with the arguments, stderr into errFile.
Outcome Render(const std::vector<std::string>& args, const fs::path& errFile,
               const RunOptions& options = {}) {
    std::vector<std::string> argv{KELLIX_RENDER};
    argv.insert(argv.end(), args.begin(), args.end());
    pid_t pid = fork();
    if (pid == 0) {
        int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        int out = open(options.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        if (err < 0 || out < 0 || dup2(err, 2) < 0 || dup2(out, 1) < 0) {
            _exit(kCannotStart);
        }
        for (const std::string& e : options.env) {
            putenv(const_cast<char*>(e.c_str()));
        }
        const rlimit limit{options.fileLimit, options.fileLimit};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) {
            _exit(kCannotStart);
        }
        if (options.asUser && geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) {
            _exit(kCannotStart);
        }
        std::vector<char*> raw;
        for (std::string& a : argv) {
            raw.push_back(a.data());
        }
        raw.push_back(nullptr);
        execv(raw[0], raw.data());
        _exit(kCannotStart);
    }
    if (options.whileRunning) {
        options.whileRunning(pid);
    }
    int raw = 0;
    waitpid(pid, &raw, 0);
    Outcome r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.signal = WIFSIGNALED(raw) ? WTERMSIG(raw) : 0;
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

// The same song with every instrument making a sample.
std::string GoodSong() {
    std::string text = kSong;
    auto swap = [&](const std::string& from, const std::string& to) {
        text.replace(text.find(from), from.size(), to);
    };
    swap("Bogus( Result );", "GSample( Result , FG_SQUARE , 220 , 5000 );");
    swap("begin\n\nend;", "begin\n Result := CreateSample( 100 , 1 );\nend;");
    return text;
}

struct RenderFixture : ::testing::Test {
    fs::path dir;
    fs::path song;
    fs::path good;
    fs::path err;
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("kellix-render-" + std::to_string(getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
        // Open to all, for the runs as an ordinary user.
        fs::permissions(dir, fs::perms::all);
        song = dir / "song.txt";
        std::ofstream(song, std::ios::binary) << kSong;
        good = dir / "good.txt";
        std::ofstream(good, std::ios::binary) << GoodSong();
        err = fs::temp_directory_path() /
              ("kellix-render-" + std::to_string(getpid()) + "-stderr.txt");
    }
    void TearDown() override {
        fs::remove_all(dir);
        fs::remove(err);
    }
    // The names in the test's folder.
    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir)) {
            names.push_back(e.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }
};

// The data of a 44-byte-header WAV file.
std::vector<uint8_t> WavData(const std::vector<uint8_t>& wav) {
    return wav.size() < 44 ? std::vector<uint8_t>{}
                           : std::vector<uint8_t>(wav.begin() + 44, wav.end());
}

TEST_F(RenderFixture, RendersTheSongAndReportsTheBrokenInstruments) {
    Outcome r = Render({song.string()}, err);
    // The WAV file is written, but two instruments have no sample.
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_NE(r.err.find("instrument 2 (InitSample1), line 2: error: Undeclared indentifier: "
                         "Bogus( Result );\n"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("instrument 4 (InitSample3): error: no sample"), std::string::npos)
        << r.err;
    EXPECT_EQ(r.err.find("instrument 1 "), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("instrument 3 "), std::string::npos) << r.err;
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
    ASSERT_EQ(Render({"--quiet", song.string(), (dir / "a.wav").string()}, err).status, 3);
    ASSERT_EQ(Render({"--quiet", song.string(), (dir / "b.wav").string()}, err).status, 3);
    EXPECT_EQ(ReadAll(dir / "a.wav"), ReadAll(dir / "b.wav"));
    EXPECT_EQ(
        Render({"--quiet", "--stereo-delay", "0,0,0,0", song.string(), (dir / "c.wav").string()},
               err)
            .status,
        3);
    EXPECT_NE(ReadAll(dir / "a.wav"), ReadAll(dir / "c.wav"));
}

TEST_F(RenderFixture, WritesEveryGeneratedSample) {
    fs::path samples = dir / "samples";
    Outcome r = Render(
        {"--quiet", "--samples", samples.string(), song.string(), (dir / "out.wav").string()}, err);
    ASSERT_EQ(r.status, 3) << r.err;
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
                                         {"--tail", "-1", song.string()},
                                         {"--tail", "2s", song.string()},
                                         {"--play", "--tail", "1", song.string()},
                                         {song.string(), "a.wav", "b.wav"}}) {
        r = Render(bad, err);
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_NE(r.err.find("kellix-render:"), std::string::npos) << r.err;
    }
    EXPECT_EQ(Render({"--version"}, err).status, 0);
    fs::path help = dir / "help.txt";
    EXPECT_EQ(Render({"--help"}, err, WritingTo(help)).status, 0);
    std::ifstream in(help);
    std::string text(std::istreambuf_iterator<char>(in), {});
    for (const char* status :
         {"\n  0  ", "\n  1  ", "\n  2  ", "\n  3  ", "interrupted", "--tail"}) {
        EXPECT_NE(text.find(status), std::string::npos) << status;
    }
}

TEST_F(RenderFixture, FileWithoutASongIsAFailure) {
    std::string cut = GoodSong().substr(0, GoodSong().find("Instruments"));
    const std::string texts[] = {"",
                                 std::string("\x7f"
                                             "ELF\x02\x01\x01\0\0\0\xff\xfe",
                                             12),
                                 cut};
    for (const std::string& text : texts) {
        std::ofstream(dir / "nosong.txt", std::ios::binary) << text;
        Outcome r = Render({(dir / "nosong.txt").string()}, err);
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_NE(r.err.find("holds no song"), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(dir / "nosong.wav"));
    }
    // A song with nothing in its play list is still a song: an empty WAV file.
    std::string empty = GoodSong();
    empty.replace(empty.find("TracksIndex: array [0..1] of Longint=(0,0);"), 43, "");
    std::ofstream(dir / "silent.txt", std::ios::binary) << empty;
    EXPECT_EQ(Render({(dir / "silent.txt").string()}, err).status, 0);
    EXPECT_EQ(fs::file_size(dir / "silent.wav"), 44u);
}

TEST_F(RenderFixture, TheSongItselfIsNeverAnOutput) {
    fs::create_symlink(good, dir / "link.wav");
    fs::path wavSong = dir / "s.wav"; // rendered to its default output: itself
    fs::copy_file(good, wavSong);
    const std::vector<std::string> cases[] = {
        {good.string(), good.string()},
        {wavSong.string()},
        {good.string(), (dir / "link.wav").string()},
        {good.string(), (dir / "." / "good.txt").string()},
        {"--resave", good.string(), good.string(), (dir / "out.wav").string()},
        {"--resave", (dir / "out.wav").string(), good.string(), (dir / "out.wav").string()},
        {"--samples", dir.string(), (dir / "instrument0001.wav").string()},
    };
    fs::copy_file(good, dir / "instrument0001.wav");
    const std::vector<std::string> before = Entries();
    for (const auto& args : cases) {
        Outcome r = Render(args, err);
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_NE(r.err.find("nothing was written"), std::string::npos) << r.err;
        EXPECT_EQ(Entries(), before) << r.err;
    }
    std::ifstream in(good, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), GoodSong());
}

TEST_F(RenderFixture, StreamsAndDevicesAreWrittenNeverReplaced) {
    std::vector<uint8_t> wav;
    ASSERT_EQ(Render({"--quiet", good.string(), (dir / "file.wav").string()}, err).status, 0);
    wav = ReadAll(dir / "file.wav");
    ASSERT_EQ(wav.size(), 44u + 2 * 8 * 64 * 32 * 4);

    // A FIFO's reader gets the whole file.
    fs::path fifo = dir / "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0666), 0);
    std::vector<uint8_t> got;
    std::thread reader([&] { got = ReadAll(fifo); });
    Outcome r = Render({"--quiet", good.string(), fifo.string()}, err);
    reader.join();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(got, wav);
    EXPECT_TRUE(fs::is_fifo(fifo));

    // "-" is standard output, whatever it leads to.
    fs::path captured = dir / "captured.wav";
    r = Render({"--quiet", good.string(), "-"}, err, WritingTo(captured));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadAll(captured), wav);

    // As an ordinary user, /dev/null takes the file.
    r = Render({good.string(), "/dev/null"}, err, AsUser());
    if (r.status == kCannotStart) {
        GTEST_SKIP() << "kellix-render cannot run as an ordinary user here";
    }
    EXPECT_EQ(r.status, 0) << r.err;

    // A full device refuses the data and stays a device. As root a copy of it in the test's
    // folder stands in, so that a fault could only ever replace the copy.
    fs::path full = "/dev/full";
    if (geteuid() == 0) {
        full = dir / "full";
        ASSERT_EQ(mknod(full.c_str(), S_IFCHR | 0666, makedev(1, 7)), 0);
    }
    r = Render({good.string(), full.string()}, err);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("No space left on device"), std::string::npos) << r.err;
    EXPECT_TRUE(fs::is_character_file(full));
}

TEST_F(RenderFixture, ReadOnlyTargetIsRefused) {
    fs::path out = dir / "out.wav";
    std::ofstream(out) << "old";
    fs::permissions(out, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    Outcome r = Render({good.string(), out.string()}, err, AsUser());
    if (r.status == kCannotStart) {
        GTEST_SKIP() << "kellix-render cannot run as an ordinary user here";
    }
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Permission denied"), std::string::npos) << r.err;
    std::ifstream in(out);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "old");
    EXPECT_EQ(Entries(), (std::vector<std::string>{"good.txt", "out.wav", "song.txt"}));
}

// A song of 39 minutes (410 MB of WAV): long enough to be caught while it writes.
std::string LongSong() {
    std::string text = GoodSong();
    text.replace(text.find("Speed: 64;"), 10, "Speed: 200000;");
    return text;
}

TEST_F(RenderFixture, InterruptedRenderLeavesNothingBehind) {
    std::ofstream(dir / "long.txt", std::ios::binary) << LongSong();
    fs::path out = dir / "out.wav";
    std::ofstream(out) << "old";
    // Killed while it writes: as soon as it holds a file open in the folder.
    auto killWhenWriting = [&](pid_t pid) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        const fs::path fds = "/proc/" + std::to_string(pid) + "/fd";
        while (std::chrono::steady_clock::now() < until) {
            std::error_code ec;
            for (const auto& fd : fs::directory_iterator(fds, ec)) {
                std::string target = fs::read_symlink(fd.path(), ec).string();
                if (!ec && target.rfind(dir.string() + "/", 0) == 0 &&
                    target.find("long.txt") == std::string::npos) {
                    kill(pid, SIGTERM);
                    return;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ADD_FAILURE() << "the render never wrote";
    };
    Outcome r =
        Render({(dir / "long.txt").string(), out.string()}, err, WhileRunning(killWhenWriting));
    EXPECT_EQ(r.signal, SIGTERM) << r.err;
    EXPECT_NE(r.err.find("kellix-render: interrupted"), std::string::npos) << r.err;
    const std::vector<std::string> left{"good.txt", "long.txt", "out.wav", "song.txt"};
    EXPECT_EQ(Entries(), left);
    EXPECT_EQ(ReadAll(out), (std::vector<uint8_t>{'o', 'l', 'd'}));

    // Past the file size limit: SIGXFSZ.
    r = Render({good.string(), out.string()}, err, WithFileLimit(100000));
    EXPECT_EQ(r.signal, SIGXFSZ) << r.err;
    EXPECT_NE(r.err.find("kellix-render: interrupted"), std::string::npos) << r.err;
    EXPECT_EQ(Entries(), left);
    EXPECT_EQ(ReadAll(out), (std::vector<uint8_t>{'o', 'l', 'd'}));
}

TEST_F(RenderFixture, WarningsAndErrorsNameTheirLines) {
    std::string text = GoodSong();
    text.replace(text.find(" GSample( Result , FG_SIN , 440 , 10000 );"), 42,
                 " // a comment\r\n GSample( Result , FG_SINE , 261.63*2 , 10000 );\r\n SM_ADD;");
    text.replace(
        text.find(" GSample( Result , FG_SAW , 220 , 8000 );"), 41,
        " Result := CreateSample( 500 , 1 );\n\n GSample( Result , FG_SAW ,\n 220 , 8000 ) )");
    std::ofstream(song, std::ios::binary) << text;
    Outcome r = Render({"--quiet", song.string(), (dir / "out.wav").string()}, err);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err,
              "instrument 1 (InitSample0), line 3: warning: \"FG_SINE\" is no number, string or "
              "known name: passed as 0\n"
              "instrument 1 (InitSample0), line 3: warning: \"261.63*2\" is read as 261.63: the "
              "text after the number is ignored\n"
              "instrument 1 (InitSample0), line 4: warning: \"SM_ADD\" is a constant: as a "
              "statement it does nothing\n");
    text.replace(text.find("FG_SAW ,\n 220 , 8000 ) )"), 24, "FG_SAW ,\n 220 , 8000 , 1 )");
    std::ofstream(song, std::ios::binary) << text;
    r = Render({"--quiet", song.string(), (dir / "out.wav").string()}, err);
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find("instrument 3 (InitSample2), line 5: error: Too many actual parameters: "
                         "1 )\n"),
              std::string::npos)
        << r.err;
}

TEST_F(RenderFixture, TailRendersPastTheEnd) {
    ASSERT_EQ(Render({"--quiet", good.string(), (dir / "plain.wav").string()}, err).status, 0);
    Outcome r = Render({good.string(), "--tail", "0.5", (dir / "tail.wav").string()}, err);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("0.74 s of audio and 0.50 s of tail"), std::string::npos) << r.err;
    std::vector<uint8_t> plain = WavData(ReadAll(dir / "plain.wav"));
    std::vector<uint8_t> tail = ReadAll(dir / "tail.wav");
    ASSERT_EQ(tail.size(), 44 + plain.size() + 22050 * 4);
    EXPECT_EQ(U32(tail, 40), plain.size() + 22050 * 4);
    EXPECT_EQ(U32(tail, 4), plain.size() + 22050 * 4 + 36);
    std::vector<uint8_t> data = WavData(tail);
    // The song is unchanged, and the delay still sounds after it.
    EXPECT_TRUE(std::equal(plain.begin(), plain.end(), data.begin()));
    EXPECT_TRUE(
        std::any_of(data.begin() + plain.size(), data.end(), [](uint8_t b) { return b != 0; }));
}

TEST_F(RenderFixture, SoundDeviceFailureTellsSdlsReason) {
    Outcome r = Render({"--play", good.string()}, err, WithEnv("SDL_AUDIODRIVER=no-such-driver"));
    EXPECT_EQ(r.status, 1);
    const std::string fixed = "Error!: Failed to create IDirectSound object\n";
    ASSERT_NE(r.err.find(fixed), std::string::npos) << r.err;
    const std::string reason = r.err.substr(r.err.find(fixed) + fixed.size());
    EXPECT_NE(reason.find("no-such-driver"), std::string::npos) << r.err;
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
