#include "play_live.h"

#include "audio/live_output.h"
#include "sdl_output.h"

#include <cstdlib>

namespace kellix {

void PlaySongLive(const TTrack& song, const SampleSet& samples, const MasterEffects& effects) {
    const std::unique_ptr<OutputDevice> device =
        MakeSdlDevice(AudioFramesSetting(std::getenv("KELLIX_AUDIO_FRAMES"), std::nullopt));
    LiveOutput live(*device);
    live.SetEffects(effects);
    live.Play(song, samples, PlayRequest{});
    live.StartWorker();
    live.PlayOutput();
    live.WaitUntilPlayedOut();
}

} // namespace kellix
