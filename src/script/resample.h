#pragma once

#include "song/sample.h"

namespace kellix {

// Doubles the frequencies of the first channel of a block in place, keeping its length: the
// spectrum of the frames (zero-padded to a power of two N) is squeezed to its lower half,
// dropping the top half of the frequencies. Blocks of fewer than 5 frames only pass through
// the two transforms. Values are written with saturation to -32768..32767; the second channel
// of a stereo block is left alone. Null does nothing.
void ResampleBlock(SampleBlock* block);

} // namespace kellix
