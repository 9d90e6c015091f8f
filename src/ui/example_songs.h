#pragma once

#include <QString>

namespace kellix {

// The folder of the example songs for a program in programFolder: installed, the data folder
// beside the program's own (bin/../share/kellix/songs); run from the build folder, the source
// tree's songs/. Empty when there is neither.
QString ExampleSongsFolder(const QString& programFolder);

} // namespace kellix
