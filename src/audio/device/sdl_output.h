#pragma once

namespace kellix {

// Sets up the live output (SetUpOutput) on the default SDL audio device: 44100 frames per
// second, signed 16-bit little-endian stereo. SDL_AUDIODRIVER chooses the driver ("dummy" for
// machines without sound, "disk" to write the stream to SDL_DISKAUDIOFILE). Ends the program
// through FatalError when SDL audio cannot start or the device cannot be opened.
void SetUpSdlOutput();

// SDL's reason for the last failure of the sound device ("" when it gave none), for the line
// after the fixed message.
const char* SoundDeviceReason();

} // namespace kellix
