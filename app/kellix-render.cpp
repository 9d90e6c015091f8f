// kellix-render: renders a song text file to a WAV file without opening a window. It reads the
// song as the window's Open command does, generates every instrument's sample from its code
// (from the last instrument to the first), and renders the song as "Save result as.." does.
#include "audio/device/play_module.h"
#include "audio/effects.h"
#include "audio/sequencer.h"
#include "audio/wav_export.h"
#include "script/dllgen.h"
#include "script/exec.h"
#include "script/scripting.h"
#include "script/smplescript.h"
#include "song/document.h"
#include "song/track.h"
#include "songtext/song_presence.h"
#include "songtext/song_reader.h"
#include "songtext/song_writer.h"
#include "songtext/text_file.h"
#include "support/atomic_file.h"
#include "support/cpu.h"
#include "support/fatal.h"
#include "support/text.h"

#include "morvane.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

using namespace kellix;

namespace {

constexpr const char* kUsage =
    "Usage: kellix-render [options] SONG.txt [OUT.wav]\n"
    "Renders a Kellix song to a 16-bit stereo 44100 Hz WAV file (default: SONG with .wav;\n"
    "- writes it to standard output). A device, FIFO or socket is written to, never replaced;\n"
    "an output that is the song itself, or a file you may not write, is refused.\n"
    "\n"
    "Options:\n"
    "  --samples DIR        also write every generated instrument sample as\n"
    "                       DIR/instrumentNNNN.wav\n"
    "  --stereo-delay DECAYL,DECAYR,DELAYL,DELAYR\n"
    "                       the stereo delay for the render instead of the song's (a song\n"
    "                       without effects has 9980,8191,10584,15876); the reverb stays\n"
    "                       as the song has it\n"
    "  --resave FILE        also write the song as read, as song text (refused when the text\n"
    "                       would be larger than a song file may be)\n"
    "  --tail SECONDS       render that much more after the song's end, so that the delay and\n"
    "                       the notes' releases die away (what the mixer still plays then,\n"
    "                       notes placed past the last pattern's end included); default 0\n"
    "  --play               play the song on the sound device instead of writing a WAV file,\n"
    "                       until it and its delay tail have sounded (SDL_AUDIODRIVER=dummy\n"
    "                       on a machine without sound, =disk to write the stream to the file\n"
    "                       SDL_DISKAUDIOFILE)\n"
    "  --quiet              no progress and no summary\n"
    "  --help               show this text\n"
    "  --version            show the version\n"
    "\n"
    "Instruments whose code has mistakes are reported as\n"
    "  instrument N (InitSampleK), line L: warning: ...   (the code runs all the same)\n"
    "  instrument N (InitSampleK), line L: error: ...     (the instrument has no sample)\n"
    "with L counted from the first line of the instrument's code. An instrument without code\n"
    "and without notes (one the song does not use) is not reported. Tables of the song beyond\n"
    "what a song may hold, and a zero byte (reading stops there), are reported as\n"
    "  SONG.txt: warning: Tracks: 70000 tracks, more than the 65536 a song may hold; not read\n"
    "  SONG.txt: warning: a zero byte at 200; what follows was not read\n"
    "\n"
    "Exit status:\n"
    "  0  the WAV file was written (or the song played) and every instrument has a sample\n"
    "  1  the song cannot be read, the file holds no song at all (empty, binary, or cut\n"
    "     before any part of a song), or an output cannot be written\n"
    "  2  bad arguments, or an output that is the song itself or another output\n"
    "  3  the WAV file was written (or the song played), but an instrument that has notes\n"
    "     did not compile or made no sample: its notes are silent\n"
    "On SIGINT, SIGTERM, SIGHUP or SIGXFSZ it removes what it was writing, says\n"
    "\"interrupted\" and ends by that signal (status 128 + its number in the shell).\n";

// The name that writes to standard output, and how messages call it.
constexpr const char* kStandardOutput = "/dev/stdout";

struct Options {
    std::string song;
    std::string out;     // the WAV file's path; kStandardOutput for "-"
    std::string outName; // as messages name it
    std::string samplesDir;
    std::string resave;
    bool quiet = false;
    bool play = false;
    double tailSeconds = 0.0;
    std::optional<StereoDelaySettings> delay; // instead of the song's
};

[[noreturn]] void BadArguments(const std::string& message) {
    std::fprintf(stderr, "kellix-render: %s\nTry 'kellix-render --help'.\n", message.c_str());
    std::exit(2);
}

bool ParseInt(std::string_view text, int32_t& value) {
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() && !text.empty();
}

// Seconds from 0 to a day, decimals allowed.
double ParseTail(const std::string& text) {
    double seconds = 0.0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty() ||
        !(seconds >= 0.0 && seconds <= 86400.0)) {
        BadArguments("--tail takes a number of seconds from 0 to 86400: '" + text + "'");
    }
    return seconds;
}

StereoDelaySettings ParseDelay(const std::string& text) {
    int32_t v[4];
    std::size_t start = 0;
    for (int i = 0; i < 4; ++i) {
        std::size_t comma = text.find(',', start);
        if ((i < 3) != (comma != std::string::npos)) {
            BadArguments("--stereo-delay takes four numbers separated by commas: " + text);
        }
        std::string_view part(text.data() + start,
                              (comma == std::string::npos ? text.size() : comma) - start);
        if (!ParseInt(part, v[i])) {
            BadArguments("--stereo-delay: not a whole number: '" + std::string(part) + "'");
        }
        start = comma + 1;
    }
    return {v[0], v[1], v[2], v[3]};
}

Options ParseArguments(int argc, char** argv) {
    Options o;
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&](const char* name) -> std::string {
            std::string prefix = std::string(name) + "=";
            if (arg.rfind(prefix, 0) == 0) {
                return arg.substr(prefix.size());
            }
            if (i + 1 >= argc) {
                BadArguments(std::string(name) + " needs a value");
            }
            return argv[++i];
        };
        auto is = [&](const char* name) {
            return arg == name || arg.rfind(std::string(name) + "=", 0) == 0;
        };
        if (arg == "--help") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        } else if (arg == "--version") {
            std::printf("kellix-render %s\n", KELLIX_VERSION);
            std::exit(0);
        } else if (arg == "--quiet") {
            o.quiet = true;
        } else if (arg == "--play") {
            o.play = true;
        } else if (is("--samples")) {
            o.samplesDir = value("--samples");
        } else if (is("--stereo-delay")) {
            o.delay = ParseDelay(value("--stereo-delay"));
        } else if (is("--resave")) {
            o.resave = value("--resave");
        } else if (is("--tail")) {
            o.tailSeconds = ParseTail(value("--tail"));
        } else if (arg == "--") {
            positional.insert(positional.end(), argv + i + 1, argv + argc);
            break;
        } else if (arg.size() > 1 && arg[0] == '-') {
            BadArguments("unknown option " + arg);
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.empty()) {
        BadArguments("no song file given");
    }
    if (positional.size() > 2) {
        BadArguments("too many arguments: " + positional[2]);
    }
    if (o.play && positional.size() == 2) {
        BadArguments("--play writes no WAV file: " + positional[1]);
    }
    if (o.play && o.tailSeconds > 0.0) {
        BadArguments("--tail is for the WAV file: --play plays the song until it has died away");
    }
    o.song = positional[0];
    if (positional.size() == 2) {
        o.out = positional[1];
    } else {
        o.out = std::filesystem::path(o.song).replace_extension(".wav").string();
    }
    o.outName = o.out;
    if (o.out == "-") {
        o.out = kStandardOutput;
        o.outName = "standard output";
    }
    if (o.resave == "-") {
        o.resave = kStandardOutput;
    }
    return o;
}

// Nothing may overwrite the song or another output: says which clash, before anything is
// written.
bool OutputsClash(const Options& o, const std::vector<std::string>& outputs) {
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        std::string clash;
        if (SameFile(outputs[i], o.song)) {
            clash = "the output \"" + outputs[i] + "\" is the song \"" + o.song + "\" itself";
        }
        for (std::size_t j = 0; j < i && clash.empty(); ++j) {
            if (SameFile(outputs[i], outputs[j])) {
                clash = "the outputs \"" + outputs[j] + "\" and \"" + outputs[i] +
                        "\" are the same file";
            }
        }
        if (!clash.empty()) {
            std::fprintf(stderr, "kellix-render: %s; nothing was written\n", clash.c_str());
            return true;
        }
    }
    return false;
}

// "instrument" and the number index + 1, padded with zeros to four digits.
std::string SampleFileName(int32_t index) {
    std::string number = std::to_string(int64_t{index} + 1);
    while (number.size() < 4) {
        number.insert(number.begin(), '0');
    }
    return "instrument" + number + ".wav";
}

bool WriteSampleWav(const SampleBlock* block, const std::string& path, std::string* error) {
    const int channels = block->Format == kSampleStereo ? 2 : 1;
    const int32_t frameBytes = 2 * channels;
    const int32_t dataSize = block->DataSize; // a packed field: read it by value
    const uint32_t bytes = static_cast<uint32_t>(std::max(dataSize, 0) / frameBytes * frameBytes);
    std::vector<uint8_t> file(kWavHeaderSize + bytes);
    WriteWavHeader(file.data(), bytes, channels);
    std::memcpy(file.data() + kWavHeaderSize, SampleData(block), bytes);
    return WriteFileAtomically(path, file.data(), file.size(), error);
}

bool WriteSamples(const SampleSet& samples, const std::string& dir, std::string* error) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) {
        *error = "Cannot create folder \"" + dir + "\": " + ec.message();
        return false;
    }
    for (int32_t i = 0; i < samples.Count(); ++i) {
        const SampleBlock* block = samples.At(i);
        if (block && !WriteSampleWav(
                         block, (std::filesystem::path(dir) / SampleFileName(i)).string(), error)) {
            return false;
        }
    }
    return true;
}

// The rest of the line of code from pos on.
std::string RestOfLine(const char* code, std::ptrdiff_t pos) {
    const char* from = code + pos;
    return std::string(from, std::strcspn(from, "\r\n"));
}

// Whether the code holds anything but blanks and line breaks.
bool HasCode(const std::string& code) {
    return code.find_first_not_of(" \t\r\n") != std::string::npos;
}

// Which instruments the song's notes name.
std::vector<bool> InstrumentsWithNotes(const TTrack& song) {
    std::vector<bool> used(static_cast<std::size_t>(song.InstrumentCount()), false);
    for (const TPattern& pattern : song.Patterns) {
        for (const TIdPoint& point : pattern.Points) {
            if (point.Instrument >= 0 && point.Instrument < song.InstrumentCount()) {
                used[static_cast<std::size_t>(point.Instrument)] = true;
            }
        }
    }
    return used;
}

// Runs every instrument's code that has no sample yet, from the last instrument to the first,
// and reports, in instrument order, the compiler's warnings and every instrument left without
// a sample, except those without code and without notes (the window's untouched instruments).
// Returns the number of instruments with notes left without a sample.
int32_t GenerateSamples(Scripting& scripts, Document& doc) {
    const TTrack& song = doc.Song;
    std::vector<std::vector<std::string>> reports(static_cast<std::size_t>(song.InstrumentCount()));
    const std::vector<bool> withNotes = InstrumentsWithNotes(song);
    int32_t withoutSample = 0;
    FitSamples(doc);
    MakeMissingSamples(scripts, song, doc.Samples, [&](int32_t k, const ScriptRun& run) {
        const char* code = song.Instrument[k].Code.Text().c_str();
        const std::string where =
            "instrument " + std::to_string(k + 1) + " (InitSample" + std::to_string(k) + ")";
        auto at = [&](std::ptrdiff_t pos) {
            return where + ", line " + std::to_string(LineOfPosition(code, pos));
        };
        std::vector<std::string>& report = reports[static_cast<std::size_t>(k)];
        const bool used = withNotes[static_cast<std::size_t>(k)];
        if (!used && !HasCode(song.Instrument[k].Code.Text())) {
            return;
        }
        for (const CompileWarning& w : run.Warnings) {
            report.push_back(at(w.Pos) + ": warning: " + w.Text);
        }
        const bool made = doc.Samples.At(k) != nullptr;
        if (!run.Compiled()) {
            report.push_back(at(run.ErrorPos) + ": error: " + ErrorMessages[run.ErrorCode] + ": " +
                             RestOfLine(code, run.ErrorPos));
        } else if (run.OverSampleLimit) {
            report.push_back(where + ": error: its samples would have taken more than " +
                             std::to_string(MORVANE_RUN_SAMPLE_BYTES >> 30) +
                             " GiB at once: no sample");
        } else if (!made) {
            report.push_back(where + ": error: no sample (RESULT is 0 at the end of the code)");
        }
        withoutSample += made || !used ? 0 : 1;
    });
    for (const std::vector<std::string>& report : reports) {
        for (const std::string& line : report) {
            std::fprintf(stderr, "%s\n", line.c_str());
        }
    }
    return withoutSample;
}

// Says so and ends the program by the same signal, after the writer has removed its
// temporary file (it chains to this handler).
void OnInterrupt(int sig) {
    constexpr char kMessage[] = "kellix-render: interrupted\n";
    if (write(STDERR_FILENO, kMessage, sizeof kMessage - 1) < 0) {
        // Nothing left to tell it to.
    }
    signal(sig, SIG_DFL);
    raise(sig); // delivered when this handler returns
}

void HandleInterrupts() {
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGXFSZ}) {
        struct sigaction current {};
        sigaction(sig, nullptr, &current);
        if (current.sa_handler == SIG_IGN) {
            continue; // started with nohup or the like: stays ignored
        }
        struct sigaction mine {};
        mine.sa_handler = OnInterrupt;
        sigemptyset(&mine.sa_mask);
        sigaction(sig, &mine, nullptr);
    }
}

SoundDeviceReasonEntry g_soundDeviceReason = nullptr;

// The sound device's fixed message, then SDL's reason on the next line.
void ShowWithSdlReason(const char* message) {
    std::fprintf(stderr, "Error!: %s\n", message);
    const char* reason = g_soundDeviceReason ? g_soundDeviceReason() : "";
    if (*reason) {
        std::fprintf(stderr, "%s\n", reason);
    }
    std::fflush(stderr);
}

// Plays the song through the sound device module: installed, it sits in the programs' library
// folder (KELLIX_LIBRARY_FOLDER, relative to this program's folder); in the build folder,
// beside this program. The module stays loaded until the program ends.
bool PlayThroughModule(const Document& doc, const MasterEffects& effects, std::string* error) {
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) {
        // A bare file name would make dlopen search the library path for the module.
        *error = "cannot find the folder of this program: " + ec.message();
        return false;
    }
    std::filesystem::path path = self.parent_path() / KELLIX_LIBRARY_FOLDER / kPlayModuleFile;
    if (!std::filesystem::exists(path, ec)) {
        path = self.parent_path() / kPlayModuleFile;
    }
    const std::string module = path.lexically_normal().string();
    void* handle = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
    auto play =
        handle ? reinterpret_cast<PlaySongLiveEntry>(dlsym(handle, kPlaySongLiveEntry)) : nullptr;
    if (!play) {
        const char* why = dlerror();
        *error = "cannot load the sound device \"" + module + "\": " + (why ? why : "");
        return false;
    }
    g_soundDeviceReason =
        reinterpret_cast<SoundDeviceReasonEntry>(dlsym(handle, kSoundDeviceReasonEntry));
    SetFatalErrorDisplay(ShowWithSdlReason);
    play(&doc.Song, &doc.Samples, &effects);
    SetFatalErrorDisplay(nullptr);
    return true;
}

class ProgressBar {
  public:
    explicit ProgressBar(bool show) : show_(show && isatty(STDERR_FILENO)) {}
    void Update(int64_t done, int64_t total) {
        if (!show_ || total <= 0) {
            return;
        }
        constexpr int kWidth = 40;
        int filled = static_cast<int>(done * kWidth / total);
        std::fprintf(stderr, "\r[%.*s%*s] %3d%%", filled,
                     "########################################", kWidth - filled, "",
                     static_cast<int>(done * 100 / total));
        std::fflush(stderr);
        drawn_ = true;
    }
    void Finish() {
        if (drawn_) {
            std::fputs("\n", stderr);
        }
    }

  private:
    bool show_;
    bool drawn_ = false;
};

} // namespace

int main(int argc, char** argv) {
    Options o = ParseArguments(argc, argv);
    HandleInterrupts();
    std::vector<std::string> outputs;
    if (!o.play) {
        outputs.push_back(o.out);
    }
    if (!o.resave.empty()) {
        outputs.push_back(o.resave);
    }
    if (OutputsClash(o, outputs)) {
        return 2;
    }
    TestCPU();
    const auto started = std::chrono::steady_clock::now();
    // As the window opens a file: a song with a new song's Speed and Row, then read.
    Document doc;
    doc.Song.Speed = kDefaultSpeed;
    doc.Song.Row = kDefaultRow;
    std::string error;
    std::string text;
    if (!ReadTextFile(o.song, text, &error)) {
        std::fprintf(stderr, "kellix-render: %s\n", error.c_str());
        return 1;
    }
    const SongReadReport report = ReadSongText(doc.Song, text);
    for (const std::string& line : report.Dropped) {
        std::fprintf(stderr, "%s: warning: %s\n", o.song.c_str(), line.c_str());
    }
    if (report.ZeroByte) {
        std::fprintf(stderr, "%s: warning: a zero byte at %zu; what follows was not read\n",
                     o.song.c_str(), *report.ZeroByte);
    }
    if (!HoldsSong(doc.Song, report)) {
        std::fprintf(stderr, "kellix-render: \"%s\" holds no song\n", o.song.c_str());
        return 1;
    }
    // The song's effects, with the delay given on the command line instead of its own.
    MasterEffects effects = EffectsOf(doc.Song.Effects);
    if (o.delay) {
        SetStereoDelay(effects, o.delay->DecayL, o.delay->DecayR, o.delay->DelayL, o.delay->DelayR);
    }
    const std::unique_ptr<Scripting> scripts = StartScripting();
    const int32_t withoutSample = GenerateSamples(*scripts, doc);

    for (int32_t i = 0; i < doc.Samples.Count() && !o.samplesDir.empty(); ++i) {
        if (doc.Samples.At(i)) {
            outputs.push_back((std::filesystem::path(o.samplesDir) / SampleFileName(i)).string());
        }
    }
    int status = OutputsClash(o, outputs) ? 2 : 0;
    if (status == 0 && !o.resave.empty() && !SaveSongText(doc.Song, o.resave, &error)) {
        std::fprintf(stderr, "kellix-render: %s\n", error.c_str());
        status = 1;
    }
    if (status == 0 && !o.samplesDir.empty() && !WriteSamples(doc.Samples, o.samplesDir, &error)) {
        std::fprintf(stderr, "kellix-render: %s\n", error.c_str());
        status = 1;
    }
    const double seconds = static_cast<double>(SongFrames(doc.Song)) / 44100;
    if (status == 0 && o.play) {
        if (!PlayThroughModule(doc, effects, &error)) {
            std::fprintf(stderr, "kellix-render: %s\n", error.c_str());
            status = 1;
        } else if (!o.quiet) {
            std::fprintf(stderr, "%s: played %.2f s of audio\n", o.song.c_str(), seconds);
        }
    } else if (status == 0) {
        const auto tailFrames = static_cast<int64_t>(std::llround(o.tailSeconds * 44100));
        ProgressBar bar(!o.quiet);
        auto progress = [&](int64_t done, int64_t total) {
            bar.Update(done, total);
            return true;
        };
        const bool ok =
            ExportWav(doc.Song, doc.Samples, effects, o.out, &error, progress, tailFrames);
        bar.Finish();
        if (!ok) {
            std::fprintf(stderr, "kellix-render: %s\n", error.c_str());
            status = 1;
        } else if (!o.quiet) {
            double took =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
            if (tailFrames > 0) {
                std::fprintf(stderr, "%s: %.2f s of audio and %.2f s of tail in %.3f s\n",
                             o.outName.c_str(), seconds, o.tailSeconds, took);
            } else {
                std::fprintf(stderr, "%s: %.2f s of audio in %.3f s\n", o.outName.c_str(), seconds,
                             took);
            }
        }
    }
    if (status == 0 && withoutSample > 0) {
        status = 3;
    }
    return status;
}
