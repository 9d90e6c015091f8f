#include "../test_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using kellix::test::ReadFile;
using kellix::test::WriteFile;

namespace {

struct Outcome {
    int status = -1; // the exit status, or -1 when a signal ended the program
    int signal = 0;  // the signal that ended it
    std::string err;
};

// How the program is run: with extra environment, as an ordinary user (when the tests run as
// root), with a file size limit, and what to do while it runs.
struct RunOptions {
    std::vector<std::string> env = {};
    bool asUser = false;
    rlim_t fileLimit = RLIM_INFINITY;
    std::function<void(pid_t)> whileRunning = nullptr;
};

// The exit status a child gives when it could not become an ordinary user or start the program.
constexpr int kCannotStart = 126;

// Runs kellix-render with the arguments (standard output to /dev/null) and collects what it
// wrote to stderr.
Outcome Render(std::vector<std::string> args, const RunOptions& options = {}) {
    const fs::path errFile =
        fs::temp_directory_path() / ("kellix-render-" + std::to_string(getpid()) + "-stderr.txt");
    args.insert(args.begin(), KELLIX_RENDER);
    std::vector<char*> argv;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    const rlimit limit{options.fileLimit, options.fileLimit};
    const pid_t pid = fork();
    if (pid == 0) {
        for (const std::string& e : options.env) {
            putenv(const_cast<char*>(e.c_str()));
        }
        const int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        if (err >= 0 && dup2(err, 2) >= 0 && dup2(open("/dev/null", O_WRONLY), 1) >= 0 &&
            setrlimit(RLIMIT_FSIZE, &limit) == 0 &&
            (!options.asUser || geteuid() != 0 || (setgid(65534) == 0 && setuid(65534) == 0))) {
            execv(argv[0], argv.data());
        }
        _exit(kCannotStart);
    }
    if (options.whileRunning) {
        options.whileRunning(pid);
    }
    int raw = 0;
    waitpid(pid, &raw, 0);
    Outcome r{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, WIFSIGNALED(raw) ? WTERMSIG(raw) : 0,
              ReadFile(errFile)};
    fs::remove(errFile);
    return r;
}

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Three instruments: a stereo sine, a broken script and an empty code; two notes.
constexpr const char* kSong = R"( Const
  Instruments: array [0..2] of TInstrument=(
   ( SampleTone: 0; Name: nil; Sample: nil; Env: ( Attack: 10; Cont: 4000; Ende: 4000 )),
   ( SampleTone: 0; Name: nil; Sample: nil; Env: ( Attack: 0; Cont: 4000; Ende: 4000 )),
   ( SampleTone: 0; Name: nil; Sample: nil; Env: ( Attack: 0; Cont: 4000; Ende: 4000 )));

  Point0: array [0..1] of TIdPoint=(
   ( Time: 0; Tone: 24; Instrument: 0; Vol: 256; Pan: 128),
   ( Time: 6; Tone: 24; Instrument: 1; Vol: 256; Pan: 64));

  Patterns: array [0..0] of TPattern=( ( PointsCount: 2; Points: @Point0 ));
  PatternIndex0: array [0..0] of longint=(0);
  Tracks: array [0..0] of TTrackPattern=( ( PatternCount: 1; PatternIndex: @PatternIndex0 ));

  TracksIndex: array [0..1] of Longint=(0,0);

  Track:TTrack=( TrackIndexCount: 2; TrackCount: 1; PatternCount: 1; InstrumentCount: 3;
   Speed: 64; Row: 8; TracksIndex: @TracksIndex; Tracks: @Tracks; Patterns: @Patterns;
   Instrument: @Instruments; );

Function InitSample0:pointer;
begin
 Result := CreateSample( 1000 , 2 );
 GSample( Result , FG_SIN , 440 , 10000 );
end;

Function InitSample1:pointer;
begin
 Result := CreateSample( 1000 , 1 );
 Bogus( Result );
end;

Function InitSample2:pointer;
begin

end;

)";

// Replaces the first "from" in text.
std::string Swap(std::string text, const std::string& from, const std::string& to) {
    return text.replace(text.find(from), from.size(), to);
}

// The same song with every instrument making a sample.
std::string GoodSong() {
    return Swap(Swap(kSong, "Bogus( Result );", "GSample( Result , FG_SQUARE , 220 , 5000 );"),
                "begin\n\nend;", "begin\n Result := CreateSample( 100 , 1 );\nend;");
}

// 2 entries of 8 steps of 64 x 32 frames, 4 bytes each, after the 44-byte header.
constexpr std::size_t kWavSize = 44 + 2 * 8 * 64 * 32 * 4;

struct RenderFixture : ::testing::Test {
    kellix::test::TempFolder folder;
    fs::path dir = folder.Path;
    fs::path song = dir / "song.txt";
    fs::path good = dir / "good.txt";
    void SetUp() override {
        // Open to all, for the runs as an ordinary user.
        fs::permissions(dir, fs::perms::all);
        WriteFile(song, kSong);
        WriteFile(good, GoodSong());
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

TEST_F(RenderFixture, RendersTheSongItsSamplesAndReportsTheBrokenInstruments) {
    fs::path samples = dir / "samples";
    Outcome r = Render({"--samples", samples.string(), "--tail", "0.5", song.string()});
    // The WAV file is written, but an instrument with notes has no sample; the one without
    // code and without notes is no failure.
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_TRUE(Has(r.err, "instrument 2 (InitSample1), line 2: error: Undeclared indentifier: "
                           "Bogus( Result );\n"))
        << r.err;
    EXPECT_FALSE(Has(r.err, "InitSample2")) << r.err;
    // The default output: the song's name with .wav, with half a second of the delay's tail.
    EXPECT_EQ(ReadFile(dir / "song.wav").size(), kWavSize + 22050 * 4);
    EXPECT_TRUE(Has(r.err, "song.wav: 0.74 s of audio and 0.50 s of tail")) << r.err;
    // The stereo instrument's sample: channels at byte 22, then the rate and the bytes a second.
    EXPECT_EQ(ReadFile(samples / "instrument0001.wav").substr(22, 10),
              std::string("\2\0\x44\xAC\0\0\x10\xB1\2\0", 10));
    // The broken instrument has no sample, so no file.
    EXPECT_FALSE(fs::exists(samples / "instrument0002.wav"));
    WriteFile(song, Swap(kSong, "Instrument: 1; Vol", "Instrument: 2; Vol"));
    r = Render({"--quiet", song.string(), "-"});
    EXPECT_EQ(r.status, 3) << "with a note it is";
    EXPECT_TRUE(Has(r.err, "instrument 3 (InitSample2): error: no sample")) << r.err;
}

// The song's delay is heard; --stereo-delay takes its place.
TEST_F(RenderFixture, TheSongsEffectsAreRenderedAndTheDelayOptionReplacesThem) {
    WriteFile(
        dir / "fx.txt",
        Swap(GoodSong(), "Function InitSample0",
             "Effects:TEffects=( DelayL: 441; DelayR: 882; DecayL: 20000; DecayR: 16000;"
             " Reverb: 0; Amplitude: 4000; Step: 10000; Cutoff: 256 );\nFunction InitSample0"));
    const auto wav = [&](const std::string& delay, const fs::path& from) {
        EXPECT_EQ(Render({"--quiet", "--stereo-delay", delay, from, dir / "out.wav"}).status, 0);
        return ReadFile(dir / "out.wav");
    };
    EXPECT_EQ(Render({"--quiet", dir / "fx.txt", dir / "fx.wav"}).status, 0);
    EXPECT_EQ(ReadFile(dir / "fx.wav"), wav("20000,16000,441,882", good));
    EXPECT_EQ(wav("9980,8191,10584,15876", dir / "fx.txt"), wav("9980,8191,10584,15876", good));
}

TEST_F(RenderFixture, FailuresGiveTheirExitStatusAndName) {
    Outcome r = Render({(dir / "missing.txt").string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, "missing.txt")) << r.err;
    for (std::vector<std::string> bad : {std::vector<std::string>{},
                                         {"--bogus", song.string()},
                                         {"--stereo-delay", "1,2,3,x", song.string()},
                                         {"--play", song.string(), "b.wav"}}) {
        r = Render(bad);
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_TRUE(Has(r.err, "kellix-render:")) << r.err;
    }
    // A file that holds no song, such as a program, is refused and nothing is written.
    WriteFile(dir / "nosong.txt", std::string("\x7f"
                                              "ELF\x02\x01\x01\0\0\0\xff\xfe",
                                              12));
    r = Render({(dir / "nosong.txt").string()});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(Has(r.err, "holds no song")) << r.err;
    EXPECT_FALSE(fs::exists(dir / "nosong.wav"));
}

TEST_F(RenderFixture, TheSongItselfIsNeverAnOutput) {
    fs::create_symlink(good, dir / "link.wav");
    fs::copy_file(good, dir / "s.wav"); // rendered to its default output: itself
    fs::copy_file(good, dir / "instrument0001.wav");
    const std::vector<std::string> cases[] = {
        {good.string(), good.string()},
        {(dir / "s.wav").string()},
        {good.string(), (dir / "link.wav").string()},
        {"--resave", (dir / "out.wav").string(), good.string(), (dir / "out.wav").string()},
        {"--samples", dir.string(), (dir / "instrument0001.wav").string()},
    };
    const std::vector<std::string> before = Entries();
    for (const auto& args : cases) {
        Outcome r = Render(args);
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_TRUE(Has(r.err, "nothing was written")) << r.err;
        EXPECT_EQ(Entries(), before) << r.err;
    }
    EXPECT_EQ(ReadFile(good), GoodSong());
}

TEST_F(RenderFixture, StreamsAndDevicesAreWrittenNeverReplaced) {
    // A FIFO's reader gets the whole file.
    fs::path fifo = dir / "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0666), 0);
    std::string got;
    std::thread reader([&] { got = ReadFile(fifo); });
    Outcome r = Render({"--quiet", good.string(), fifo.string()});
    reader.join();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_EQ(got.size(), kWavSize);

    // A full device refuses the data and stays a device. As root a copy of it in the test's
    // folder stands in, so that a fault could only ever replace the copy.
    fs::path full = "/dev/full";
    if (geteuid() == 0) {
        full = dir / "full";
        ASSERT_EQ(mknod(full.c_str(), S_IFCHR | 0666, makedev(1, 7)), 0);
    }
    r = Render({good.string(), full.string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, "No space left on device")) << r.err;
    EXPECT_TRUE(fs::is_character_file(full));
}

TEST_F(RenderFixture, InterruptedRenderLeavesNothingBehind) {
    // A song of 39 minutes (410 MB of WAV): long enough to be caught while it writes.
    WriteFile(dir / "long.txt", Swap(GoodSong(), "Speed: 64;", "Speed: 200000;"));
    fs::path out = dir / "out.wav";
    WriteFile(out, "old");
    // Killed while it writes: as soon as it holds a file open in the folder.
    auto killWhenWriting = [&](pid_t pid) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        const fs::path fds = "/proc/" + std::to_string(pid) + "/fd";
        while (std::chrono::steady_clock::now() < until) {
            std::error_code ec;
            for (const auto& fd : fs::directory_iterator(fds, ec)) {
                std::string target = fs::read_symlink(fd.path(), ec).string();
                if (!ec && target.rfind(dir.string() + "/", 0) == 0 && !Has(target, "long.txt")) {
                    kill(pid, SIGTERM);
                    return;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ADD_FAILURE() << "the render never wrote";
    };
    Outcome r =
        Render({(dir / "long.txt").string(), out.string()}, {.whileRunning = killWhenWriting});
    EXPECT_EQ(r.signal, SIGTERM) << r.err;
    EXPECT_TRUE(Has(r.err, "kellix-render: interrupted")) << r.err;
    const std::vector<std::string> left{"good.txt", "long.txt", "out.wav", "song.txt"};
    EXPECT_EQ(Entries(), left);
    EXPECT_EQ(ReadFile(out), "old");

    // Past the file size limit: SIGXFSZ.
    r = Render({good.string(), out.string()}, {.fileLimit = 100000});
    EXPECT_EQ(r.signal, SIGXFSZ) << r.err;
    EXPECT_EQ(Entries(), left);
    EXPECT_EQ(ReadFile(out), "old");
}

TEST_F(RenderFixture, WarningsAndErrorsNameTheirLines) {
    const std::string text =
        Swap(GoodSong(), " GSample( Result , FG_SIN , 440 , 10000 );",
             " // a comment\r\n GSample( Result , FG_SINE , 261.63*2 , 10000 );\r\n SM_ADD;"
             "\n\n GSample( Result , FG_SAW ,\n 220 , 8000 ) )");
    WriteFile(song, text);
    Outcome r = Render({"--quiet", song.string(), "-"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err,
              "instrument 1 (InitSample0), line 3: warning: \"FG_SINE\" is no number, string or "
              "known name: passed as 0\n"
              "instrument 1 (InitSample0), line 3: warning: \"261.63*2\" is read as 261.63: the "
              "text after the number is ignored\n"
              "instrument 1 (InitSample0), line 4: warning: \"SM_ADD\" is a constant: as a "
              "statement it does nothing\n");
    WriteFile(song, Swap(text, "FG_SAW ,\n 220 , 8000 ) )", "FG_SAW ,\n 220 , 8000 , 1 )"));
    r = Render({"--quiet", song.string(), "-"});
    EXPECT_EQ(r.status, 3);
    EXPECT_TRUE(Has(r.err, "instrument 1 (InitSample0), line 7: error: Too many actual "
                           "parameters: 1 )\n"))
        << r.err;
}

// What the reader leaves out is said, and the song is rendered all the same.
TEST_F(RenderFixture, TablesLeftOutAndAZeroByteAreReported) {
    const std::string text =
        Swap(GoodSong(), "  Track:TTrack=(",
             "  Point70000: array [0..0] of TIdPoint=(\n   ( Time: 0; Tone: 24; Instrument: 0; "
             "Vol: 256; Pan: 128));\n\n  Track:TTrack=(");
    WriteFile(song, text + std::string("\0rest", 5));
    Outcome r = Render({"--quiet", song.string(), (dir / "out.wav").string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, song.string() +
                         ": warning: Point70000: pattern 70000, past the 65536 patterns a song may "
                         "hold; not read\n" +
                         song.string() + ": warning: a zero byte at " +
                         std::to_string(text.size()) + "; what follows was not read\n");
    EXPECT_EQ(ReadFile(dir / "out.wav").size(), kWavSize);
}

// Run as an ordinary user: a read-only target is refused and keeps its text. A song resaved
// over a shared file of root's, which has a second name: both names get the new text, the file
// stays root's and open to all.
TEST_F(RenderFixture, AnOrdinaryUserKeepsFilesTheirOwnersAndModes) {
    fs::path out = dir / "out.wav";
    WriteFile(out, "old");
    fs::permissions(out, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    Outcome r = Render({good.string(), out.string()}, {.asUser = true});
    if (r.status == kCannotStart) {
        GTEST_SKIP() << "kellix-render cannot run as an ordinary user here";
    }
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, "Permission denied")) << r.err;
    EXPECT_EQ(ReadFile(out), "old");

    const fs::path shared = dir / "shared.txt";
    WriteFile(shared, "old");
    fs::create_hard_link(shared, dir / "second-name.txt");
    ASSERT_EQ(chmod(shared.c_str(), 0666), 0);
    r = Render({"--quiet", "--resave", shared.string(), good.string(), (dir / "s.wav").string()},
               {.asUser = true});
    ASSERT_EQ(r.status, 0) << r.err;
    struct stat st;
    ASSERT_EQ(stat(shared.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, geteuid());
    EXPECT_EQ(st.st_mode & 07777, 0666u);
    EXPECT_EQ(st.st_nlink, 2u);
    EXPECT_EQ(ReadFile(shared).substr(0, 8), " Const\r\n");
    EXPECT_EQ(ReadFile(dir / "second-name.txt"), ReadFile(shared));
}

// With the disk driver the played stream is SDL's silent buffers while the device is opened,
// a quarter second of silence (the ring's first quarter), then exactly the data a render writes.
TEST_F(RenderFixture, PlayedStreamMatchesTheRender) {
    ASSERT_EQ(Render({"--quiet", good.string(), (dir / "song.wav").string()}).status, 0);
    const std::string disk = "SDL_DISKAUDIOFILE=" + (dir / "stream.raw").string();
    Outcome r = Render({"--play", good.string()},
                       {.env = {"SDL_AUDIODRIVER=disk", disk, "KELLIX_AUDIO_FRAMES=512"}});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string data = ReadFile(dir / "song.wav").substr(44);
    const std::string stream = ReadFile(dir / "stream.raw");
    const std::size_t at = stream.find(data);
    ASSERT_NE(at, std::string::npos) << "the stream does not hold the render";
    EXPECT_GE(at, 44100u);
    // The device may write chunks of silence before it is started: whole 512-frame chunks.
    EXPECT_EQ((at - 44100) % 2048, 0u) << "silence before the start: " << at;

    // Without a sound device the program says why, in SDL's words.
    r = Render({"--play", good.string()}, {.env = {"SDL_AUDIODRIVER=no-such-driver"}});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, "Error!: Failed to create IDirectSound object\n")) << r.err;
    EXPECT_TRUE(Has(r.err, "no-such-driver")) << r.err;
}

// The example songs: each one resaves to the same bytes and renders to its stored checksum.
TEST(ExampleSongs, ResaveUnchangedAndMatchTheirChecksums) {
    const fs::path source = KELLIX_SOURCE_DIR;
    std::istringstream list(ReadFile(source / "tests" / "render" / "song_checksums.txt"));
    const kellix::test::TempFolder dir;
    int songs = 0;
    for (std::string name, sum; list >> name >> sum;) {
        if (name[0] == '#') {
            std::getline(list, name);
            continue;
        }
        ++songs;
        Outcome r = Render({"--quiet", "--resave", dir / name, (source / "songs" / name).string(),
                            dir / "song.wav"});
        ASSERT_EQ(r.status, 0) << name << ": " << r.err;
        EXPECT_EQ(r.err, "") << name; // every instrument compiled
        EXPECT_EQ(ReadFile(dir / name), ReadFile(source / "songs" / name)) << name;
        const uint64_t h = kellix::test::Checksum(ReadFile(dir / "song.wav"));
        EXPECT_EQ(std::stoull(sum, nullptr, 16), h)
            << name << ": the rendered sound changed: " << std::hex << h;
    }
    EXPECT_GE(songs, 3);
}

} // namespace
