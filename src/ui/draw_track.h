#pragma once

#include "song/track.h"

#include <QImage>

namespace kellix {

// The track editor's picture: every pattern number of the song as a numbered 16 x 16 cell,
// width div 16 cells a row, scrolled up by v pixels; the patterns of the track (if any) framed.
void DrawTrackGrid(QImage& image, int v, int32_t patternCount, const TTrackPattern* track);

// The pattern number under image pixel (x, y) of an image of the given width scrolled by v; -1
// left of the picture, above its first row, or when the width holds no whole cell. The strip
// right of a row's last whole cell gives the first cell of the next row.
int32_t TrackCellAt(int x, int y, int width, int v);

// The scroll bar's fixed range.
constexpr int kTrackScrollMax = 100;

} // namespace kellix
