#pragma once

#include "audio/effects.h"
#include "song/sample.h"
#include "song/track.h"

namespace kellix {

// Plays the song through the SDL sound device from its first frame, with the instruments'
// samples and the effect settings given, and returns once the song, its sample tails and the
// stereo delay's tail have played. The device plays one quarter second of silence first (the
// ring's first quarter). Ends the program through FatalError when there is no sound device.
void PlaySongLive(const TTrack& song, const SampleSet& samples, const MasterEffects& effects);

} // namespace kellix
