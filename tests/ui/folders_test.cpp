// Where the window's file dialogs start: in the user's music folder (at home without one), and
// from Help > Example Songs... in the example songs' folder, installed or in the source tree;
// Save as.. of a new song in the music folder.
#include "ui/example_songs.h"
#include "ui/main_window.h"
#include "ui_fixture.h"

#include "window_rig.h"

#include <QtTest>
#include <QtWidgets>

#include <filesystem>
#include <optional>

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

QMenu* Menu(TKellixForm& form, const QString& name) {
    for (QAction* top : form.menuBar()->actions()) {
        if (top->text() == name) {
            return top->menu();
        }
    }
    return nullptr;
}

QString Path(const std::filesystem::path& path) {
    return QString::fromStdString(path.lexically_normal().string());
}

} // namespace

class FoldersTest : public QObject {
    Q_OBJECT

    std::optional<WindowRig> rig_;

  private slots:
    void initTestCase() { rig_.emplace(); }
    void cleanupTestCase() { rig_.reset(); }

    void openStartsInTheMusicFolderOrAtHome() {
        TempFolder home;
        const QByteArray oldHome = qgetenv("HOME");
        qputenv("HOME", QByteArray::fromStdString(home.Path.string()));
        for (const std::filesystem::path& folder : {home.Path, home.Path / "Music"}) {
            std::filesystem::create_directories(folder);
            TKellixForm f(ToolWindows{}, *rig_->Live, *rig_->Scripts, nullptr);
            QCOMPARE(FolderShownBy([&] { f.Model().Open(); }), Path(folder));
        }
        qputenv("HOME", oldHome);
    }

    // Run from the build folder there is no installed tree beside the program: the source
    // tree's songs.
    void exampleSongsOpenInTheSourceTreesSongs() {
        TKellixForm f(ToolWindows{}, *rig_->Live, *rig_->Scripts, nullptr);
        QMenu* help = Menu(f, "Help");
        QVERIFY(help);
        // Below About, after a separator.
        const QList<QAction*> items = help->actions();
        QCOMPARE(items.size(), 3);
        QCOMPARE(items[0]->text(), QString("About"));
        QVERIFY(items[1]->isSeparator());
        QCOMPARE(items[2]->text(), QString("Example Songs..."));
        const std::filesystem::path songs =
            std::filesystem::path(qgetenv("KELLIX_SOURCE_DIR").toStdString()) / "songs";
        QCOMPARE(FolderShownBy([&] { items[2]->trigger(); }), Path(songs));
    }

    // A new song is not saved among the examples opened before it, but in the music folder.
    void saveAsOfANewSongStartsInTheMusicFolder() {
        TempFolder home;
        std::filesystem::create_directory(home.Path / "Music");
        const QByteArray oldHome = qgetenv("HOME");
        qputenv("HOME", QByteArray::fromStdString(home.Path.string()));
        TKellixForm f(ToolWindows{}, *rig_->Live, *rig_->Scripts, nullptr);
        const auto songs = std::filesystem::path(qgetenv("KELLIX_SOURCE_DIR").toStdString());
        QVERIFY(f.Model().OpenPath(songs / "songs/neon-steps.txt") && f.Model().New());
        QCOMPARE(FolderShownBy([&] { f.Model().SaveAs(); }), Path(home.Path / "Music"));
        qputenv("HOME", oldHome);
    }

    // Installed, the songs are in share/kellix/songs beside the programs' bin/.
    void installedExampleSongsAreFoundBesideTheProgram() {
        TempFolder prefix;
        std::filesystem::create_directories(prefix.Path / "bin");
        QCOMPARE(ExampleSongsFolder(Path(prefix.Path / "bin")),
                 Path(std::filesystem::path(qgetenv("KELLIX_SOURCE_DIR").toStdString()) / "songs"));
        std::filesystem::create_directories(prefix.Path / "share" / "kellix" / "songs");
        QCOMPARE(ExampleSongsFolder(Path(prefix.Path / "bin")),
                 Path(prefix.Path / "share" / "kellix" / "songs"));
    }
};

QTEST_MAIN(FoldersTest)
#include "folders_test.moc"
