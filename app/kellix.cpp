// kellix: the window. Start-up runs in this order: the processor checks, the generator
// library's names, the three tool windows (hidden), the sound output, then the main window,
// which starts the worker, builds the default song and starts the output playing. Shut-down
// stops the worker before the output is torn down.
#include "audio/device/sdl_output.h"
#include "audio/live_output.h"
#include "script/dllgen.h"
#include "song/sample.h"
#include "support/cpu.h"
#include "support/fatal.h"
#include "ui/env_form.h"
#include "ui/fatal_box.h"
#include "ui/main_window.h"
#include "ui/model/settings.h"
#include "ui/reverb_form.h"
#include "ui/stereo_form.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

using namespace kellix;

namespace {

constexpr const char* kUsage =
    "Usage: kellix [SONG.txt]\n"
    "Starts the Kellix window, with the song file opened when one is named.\n"
    "  --help     show this text\n"
    "  --version  show the version\n"
    "Render a song without a window: kellix-render SONG.txt [OUT.wav]\n";

} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("kellix %s\n", KELLIX_VERSION);
            return 0;
        }
    }
    QApplication app(argc, argv);
    // The desktop entry's name: the desktop shows the window with the entry's icon.
    QGuiApplication::setDesktopFileName("kellix");
    const QStringList args = QApplication::arguments();
    if (args.size() > 2 || (args.size() == 2 && args[1].startsWith('-'))) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    QFont font("Sans Serif", 8);
    font.setStyleHint(QFont::SansSerif);
    QApplication::setFont(font);
    SetFatalErrorDisplay(ShowFatalErrorBox);

    TestCPU();
    const std::unique_ptr<Scripting> scripts = StartScripting();
    auto* reverb = new TreverbformForm;
    auto* env = new TFromenvForm;
    auto* stereo = new TformstereoForm;
    // A sound device that cannot start is reported with SDL's reason under the fixed message.
    SetFatalErrorDisplay(
        [](const char* message) { ShowFatalErrorBox(message, SoundDeviceReason()); });
    // The sound device's buffer saved in Preferences, unless KELLIX_AUDIO_FRAMES names one.
    const std::unique_ptr<OutputDevice> device = MakeSdlDevice(AudioFramesSetting(
        std::getenv("KELLIX_AUDIO_FRAMES"), LoadSettings(DefaultSettingsFile()).AudioFrames));
    auto live = std::make_unique<LiveOutput>(*device);
    SetFatalErrorDisplay(ShowFatalErrorBox);

    int status;
    {
        TKellixForm form(ToolWindows{reverb, env, stereo}, *live, *scripts);
        form.show();
        // Unsaved work left by a run that did not end cleanly comes first.
        if (!form.Model().OfferRecovery() && args.size() == 2) {
            // The name as the system gave it: a QString would not keep a name that is not UTF-8.
            form.Model().OpenPath(argv[1]);
        }
        // Samples dropped while a voice still played them are freed once the voice has ended.
        QTimer release;
        QObject::connect(&release, &QTimer::timeout, [] { ReleaseFinishedSamples(); });
        release.start(500);
        status = QApplication::exec();
    }
    delete reverb;
    delete env;
    delete stereo;
    // The output goes once the window (and its worker) has, and before the library's blocks.
    live.reset();
    SetFatalErrorDisplay(nullptr);
    return status;
}
