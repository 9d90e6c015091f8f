#pragma once

#include "audio/effects.h"
#include "song/sample.h"
#include "song/track.h"

namespace kellix {

// The sound device as a module that the command-line renderer loads from its own folder only
// when it plays, so that rendering loads neither SDL nor the libraries SDL brings. The module
// uses the core of the program that loads it (the program exports it).
constexpr const char* kPlayModuleFile = "kellix-play.so";
constexpr const char* kPlaySongLiveEntry = "KellixPlaySongLive";
constexpr const char* kSoundDeviceReasonEntry = "KellixSoundDeviceReason";

using PlaySongLiveEntry = void (*)(const TTrack* song, const SampleSet* samples,
                                   const MasterEffects* effects);
using SoundDeviceReasonEntry = const char* (*)();

} // namespace kellix
