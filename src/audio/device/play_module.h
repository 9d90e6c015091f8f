#pragma once

#include "song/track.h"

namespace kellix {

// The sound device as a module that the command-line renderer loads from its own folder only
// when it plays, so that rendering loads neither SDL nor the libraries SDL brings. The module
// uses the core of the program that loads it (the program exports it): one song, one live
// output, one set of effect settings.
constexpr const char* kPlayModuleFile = "kellix-play.so";
constexpr const char* kPlaySongLiveEntry = "KellixPlaySongLive";
constexpr const char* kSoundDeviceReasonEntry = "KellixSoundDeviceReason";

using PlaySongLiveEntry = void (*)(const TTrack* song);
using SoundDeviceReasonEntry = const char* (*)();

} // namespace kellix
