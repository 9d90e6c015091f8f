#pragma once

#include "song/sample.h"

#include <QImage>

namespace kellix {

// Draws a sample block's waveform, black on white, into the sample picture (a 32-bit image).
// The image first takes the given width, keeping its content (columns it gains are white); with
// no sample that is all. Each column shows the range of the frames that fall into it, a stereo
// frame as the average of its two channels; a sample of fewer frames than columns paints one
// column a frame and leaves the columns after it as they were.
void DrawSample(QImage& image, int width, const SampleBlock* sample);

} // namespace kellix
