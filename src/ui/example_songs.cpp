#include "example_songs.h"

#include <QDir>
#include <QFileInfo>

namespace kellix {

QString ExampleSongsFolder(const QString& programFolder) {
    // KELLIX_DATA_FOLDER is relative to the programs' folder, so that an installed tree can
    // be moved as a whole.
    const QString installed = QDir::cleanPath(programFolder + "/" + KELLIX_DATA_FOLDER + "/songs");
    if (QFileInfo(installed).isDir()) {
        return installed;
    }
    const QString source = QDir::cleanPath(QStringLiteral(KELLIX_SOURCE_FOLDER) + "/songs");
    return QFileInfo(source).isDir() ? source : QString();
}

} // namespace kellix
