#pragma once

#include "audio/audio_frames.h"
#include "audio/live_output.h"

#include <memory>

namespace kellix {

// The default SDL audio device as the live output's device: 44100 frames per second, signed
// 16-bit little-endian stereo, taking frames frames at a time (see AudioFramesSetting).
// SDL_AUDIODRIVER chooses the driver ("dummy" for machines without sound, "disk" to write the
// stream to SDL_DISKAUDIOFILE). Its Open and CreateStream fail when SDL audio cannot start or the
// device cannot be opened (the live output then ends the program with its message).
std::unique_ptr<OutputDevice> MakeSdlDevice(int32_t frames = kDefaultAudioFrames);

// SDL's reason for the last failure of the sound device ("" when it gave none), for the line
// after the fixed message.
const char* SoundDeviceReason();

} // namespace kellix
