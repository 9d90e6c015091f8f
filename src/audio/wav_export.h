#pragma once

#include "audio/effects.h"
#include "song/sample.h"
#include "song/track.h"

#include <cstdint>
#include <functional>
#include <string>

namespace kellix {

constexpr int kWavHeaderSize = 44;
// Frames mixed at a time: a quarter second, the block size of live playback.
constexpr int32_t kExportBlockFrames = 11025;

// Writes the 44-byte header of a 16-bit stereo 44100 Hz PCM file with dataBytes of samples.
void WriteWavHeader(uint8_t* header, uint32_t dataBytes, int channels = 2);

// Called after each rendered block with the bytes written so far and the total; returning false
// cancels the export.
using ExportProgress = std::function<bool(int64_t done, int64_t total)>;

// Renders the song on a fresh mixer (clock 0, silent echo) into a WAV file of exactly the
// song's length. The file is written under a temporary name in the same folder and renamed over
// path only when complete. Returns false with a message in *error when the song is too long
// for a WAV file, the file cannot be written or the export was cancelled; the old file at path
// is then left untouched and nothing of the partial file remains.
// The notes sound with the instruments' samples and the master effects given.
// tailFrames more frames follow the song's end, so that releases and the delay die away.
bool ExportWav(const TTrack& song, const SampleSet& samples, const MasterEffects& effects,
               const std::string& path, std::string* error = nullptr,
               const ExportProgress& progress = {}, int64_t tailFrames = 0);

} // namespace kellix
