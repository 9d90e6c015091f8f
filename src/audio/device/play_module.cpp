// The module's entry points, looked up by name (see play_module.h).
#include "play_module.h"

#include "play_live.h"
#include "sdl_output.h"

extern "C" {

__attribute__((visibility("default"))) void
KellixPlaySongLive(const kellix::TTrack* song, const kellix::SampleSet* samples,
                   const kellix::MasterEffects* effects) {
    kellix::PlaySongLive(*song, *samples, *effects);
}

__attribute__((visibility("default"))) const char* KellixSoundDeviceReason() {
    return kellix::SoundDeviceReason();
}
}
