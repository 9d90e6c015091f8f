// kellix-render: renders a song text file to a WAV file without opening a window. It reads the
// song as the window's Open command does, generates every instrument's sample from its code
// (from the last instrument to the first), and renders the song as "Save result as.." does.
#include "audio/device/play_live.h"
#include "audio/effects.h"
#include "audio/wav_export.h"
#include "script/dllgen.h"
#include "script/exec.h"
#include "song/sequencer.h"
#include "song/track.h"
#include "songtext/song_reader.h"
#include "songtext/song_writer.h"
#include "support/atomic_file.h"
#include "support/cpu.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

using namespace kellix;

namespace {

constexpr const char* kVersion = "0.1.0";

constexpr const char* kUsage =
    "Usage: kellix-render [options] SONG.txt [OUT.wav]\n"
    "Renders a Kellix song to a 16-bit stereo 44100 Hz WAV file (default: SONG with .wav).\n"
    "\n"
    "Options:\n"
    "  --samples DIR        also write every generated instrument sample as\n"
    "                       DIR/instrumentNNNN.wav\n"
    "  --stereo-delay DECAYL,DECAYR,DELAYL,DELAYR\n"
    "                       the stereo delay for the render (default 9980,8191,10584,15876)\n"
    "  --resave FILE        also write the song as read, as song text\n"
    "  --play               play the song on the sound device instead of writing a WAV file,\n"
    "                       until it and its delay tail have sounded (SDL_AUDIODRIVER=dummy\n"
    "                       on a machine without sound, =disk to write the stream to the file\n"
    "                       SDL_DISKAUDIOFILE)\n"
    "  --quiet              no progress and no summary\n"
    "  --help               show this text\n"
    "  --version            show the version\n"
    "\n"
    "Exit status: 0 on success, 1 when the song cannot be read or a file cannot be written,\n"
    "2 for bad arguments.\n";

struct Options {
    std::string song;
    std::string out;
    std::string samplesDir;
    std::string resave;
    bool quiet = false;
    bool play = false;
    StereoDelaySettings delay{9980, 8191, 10584, 15876};
};

[[noreturn]] void BadArguments(const std::string& message) {
    std::fprintf(stderr, "kellix-render: %s\nTry 'kellix-render --help'.\n", message.c_str());
    std::exit(2);
}

bool ParseInt(std::string_view text, int32_t& value) {
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() && !text.empty();
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
            std::printf("kellix-render %s\n", kVersion);
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
    o.song = positional[0];
    if (positional.size() == 2) {
        o.out = positional[1];
    } else {
        o.out = std::filesystem::path(o.song).replace_extension(".wav").string();
    }
    return o;
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

bool WriteSamples(const std::string& dir, std::string* error) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) {
        *error = "Cannot create folder \"" + dir + "\": " + ec.message();
        return false;
    }
    for (int32_t i = 0; i < Song.InstrumentCount; ++i) {
        const SampleBlock* block = Song.Instrument[i].Sample;
        if (block && !WriteSampleWav(
                         block, (std::filesystem::path(dir) / SampleFileName(i)).string(), error)) {
            return false;
        }
    }
    return true;
}

// Runs every instrument's code that has no sample yet, from the last instrument to the first,
// and reports the ones that do not compile.
void GenerateSamples() {
    for (int32_t k = Song.InstrumentCount - 1; k >= 0; --k) {
        if (Song.Instrument[k].Sample) {
            continue;
        }
        const char* code =
            k < InstrumentCode.Count && InstrumentCode.Texts[k] ? InstrumentCode.Texts[k] : "";
        std::string status = ExeScript(code, &Song.Instrument[k]);
        if (status != "Ok") {
            std::fprintf(stderr, "instrument %d: %s\n", k + 1, status.c_str());
        }
    }
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
    TestCPU();
    SetStartupEffects();
    SetStereoDelay(o.delay.DecayL, o.delay.DecayR, o.delay.DelayL, o.delay.DelayR);

    const auto started = std::chrono::steady_clock::now();
    // A freshly started window opening a file: the default song, emptied, then read.
    NewSong(Song, InstrumentCode);
    EmptySong(Song, InstrumentCode);
    std::string error;
    if (!LoadSongText(Song, InstrumentCode, o.song, &error)) {
        std::fprintf(stderr, "kellix-render: %s\n", error.c_str());
        return 1;
    }
    StartScripting();
    GenerateSamples();

    int status = 0;
    if (!o.resave.empty() && !SaveSongText(Song, InstrumentCode, o.resave, &error)) {
        std::fprintf(stderr, "kellix-render: %s\n", error.c_str());
        status = 1;
    }
    if (status == 0 && !o.samplesDir.empty() && !WriteSamples(o.samplesDir, &error)) {
        std::fprintf(stderr, "kellix-render: %s\n", error.c_str());
        status = 1;
    }
    if (status == 0 && o.play) {
        PlaySongLive(Song);
        if (!o.quiet) {
            double seconds = static_cast<double>(SongFrames(Song)) / 44100;
            std::fprintf(stderr, "%s: played %.2f s of audio\n", o.song.c_str(), seconds);
        }
    } else if (status == 0) {
        ProgressBar bar(!o.quiet);
        bool ok = ExportWav(Song, o.out, &error,
                            [&](int64_t done, int64_t total) { bar.Update(done, total); });
        bar.Finish();
        if (!ok) {
            std::fprintf(stderr, "kellix-render: %s\n", error.c_str());
            status = 1;
        } else if (!o.quiet) {
            double seconds = static_cast<double>(SongFrames(Song)) / 44100;
            double took =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
            std::fprintf(stderr, "%s: %.2f s of audio in %.3f s\n", o.out.c_str(), seconds, took);
        }
    }

    EmptySong(Song, InstrumentCode);
    EndScripting();
    return status;
}
