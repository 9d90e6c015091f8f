// Where the window's file dialogs start: in the user's music folder (at home without one), and
// from Help > Example Songs... in the example songs' folder, installed or in the source tree;
// Save as.. in the song's own folder, and for a new song in the music folder.
#include "ui/example_songs.h"

#include "window_rig.h"

#include <filesystem>

using namespace kellix;
using namespace kellix::test;

namespace {

// The folder the next modal file dialog shows; the dialog is cancelled.
QString FolderShownBy(const std::function<void()>& command) {
    QString shown;
    QTimer::singleShot(0, [&shown] {
        if (auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
            shown = d->directory().absolutePath();
            d->reject();
        }
    });
    command();
    return shown;
}

QString Path(const std::filesystem::path& path) {
    return QString::fromStdString(path.lexically_normal().string());
}

} // namespace

class FoldersTest : public QObject {
    Q_OBJECT

    WindowRig rig_;
    const std::filesystem::path source_{qgetenv("KELLIX_SOURCE_DIR").toStdString()};

  private slots:
    // Open starts in the music folder, at home without one; Save as.. starts in the song's own
    // folder, and for a new song, not among the examples opened before it but in the music
    // folder; Example Songs... in the examples' folder.
    void dialogsStartInTheMusicFolderTheSongsOwnOrTheExamples() {
        TempFolder home;
        const QByteArray oldHome = qgetenv("HOME");
        qputenv("HOME", QByteArray::fromStdString(home.Path.string()));
        for (const std::filesystem::path& folder : {home.Path, home.Path / "Music"}) {
            std::filesystem::create_directories(folder);
            TKellixForm f(ToolWindows{}, *rig_.Live, *rig_.Scripts, nullptr);
            QCOMPARE(FolderShownBy([&] { f.Model().Open(); }), Path(folder));
        }
        TKellixForm f(ToolWindows{}, *rig_.Live, *rig_.Scripts, nullptr);
        QVERIFY(f.Model().OpenPath(source_ / "songs/neon-steps.txt"));
        QCOMPARE(FolderShownBy([&] { f.Model().SaveAs(); }), Path(source_ / "songs"));
        QVERIFY(f.Model().New());
        QCOMPARE(FolderShownBy([&] { f.Model().SaveAs(); }), Path(home.Path / "Music"));
        qputenv("HOME", oldHome);

        // Run from the build folder there is no installed tree beside the program: the source
        // tree's songs, from the Help menu's last item.
        QAction* item = f.menuBar()->actions().last()->menu()->actions().last();
        QCOMPARE(item->text(), QString("Example Songs..."));
        QCOMPARE(FolderShownBy([&] { item->trigger(); }), Path(source_ / "songs"));
    }

    // Installed, the songs are in share/kellix/songs beside the programs' bin/.
    void installedExampleSongsAreFoundBesideTheProgram() {
        TempFolder prefix;
        std::filesystem::create_directories(prefix.Path / "bin");
        std::filesystem::create_directories(prefix.Path / "share" / "kellix" / "songs");
        QCOMPARE(ExampleSongsFolder(Path(prefix.Path / "bin")),
                 Path(prefix.Path / "share" / "kellix" / "songs"));
    }
};

QTEST_MAIN(FoldersTest)
#include "folders_test.moc"
