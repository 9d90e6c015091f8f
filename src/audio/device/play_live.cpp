#include "play_live.h"

#include "audio/effects.h"
#include "audio/live_output.h"
#include "sdl_output.h"
#include "song/sequencer.h"

#include <mutex>

namespace kellix {

void PlaySongLive(const TTrack& song) {
    // The set-up installs the start-up effect values; the caller's settings win.
    const StereoDelaySettings delay = CurrentStereoDelay();
    const ReverbSettings reverb = CurrentReverb();
    SetUpSdlOutput();
    SetStereoDelay(delay.DecayL, delay.DecayR, delay.DelayL, delay.DelayR);
    SetReverb(reverb.Amplitude, reverb.Spare, reverb.Step, reverb.Band, reverb.Cutoff);
    {
        std::lock_guard lock(MixLock);
        PlaySong(LiveMixer(), song, 0);
    }
    StartWorker();
    PlayOutput();
    WaitUntilPlayedOut();
    StopWorker();
    TearDownOutput();
}

} // namespace kellix
