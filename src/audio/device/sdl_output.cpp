#include "sdl_output.h"

#include <SDL.h>

#include <algorithm>

namespace kellix {

namespace {

void PlayCallback(void* output, Uint8* stream, int len) {
    static_cast<LiveOutput*>(output)->Pull(stream, len);
}

struct SdlDevice final : OutputDevice {
    SDL_AudioDeviceID Id = 0;
    int32_t Frames;

    explicit SdlDevice(int32_t frames) : Frames(frames) {}

    bool Open() override {
        // SDL would otherwise take over SIGINT and SIGTERM.
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        return SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
    }

    bool CreateStream(LiveOutput& output) override {
        SDL_AudioSpec want{};
        want.freq = 44100;
        want.format = AUDIO_S16LSB;
        want.channels = 2;
        want.samples = static_cast<Uint16>(std::clamp(Frames, kMinAudioFrames, kMaxAudioFrames));
        want.callback = PlayCallback;
        want.userdata = &output;
        SDL_AudioSpec have{};
        // No format change allowed: SDL converts for the hardware, the ring stays as it is.
        Id = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
        return Id != 0;
    }

    void Play() override { SDL_PauseAudioDevice(Id, 0); }

    // Pausing takes the device's lock, so no callback runs once this returns.
    void Stop() override { SDL_PauseAudioDevice(Id, 1); }

    void Close() override {
        SDL_CloseAudioDevice(Id);
        Id = 0;
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
};

} // namespace

std::unique_ptr<OutputDevice> MakeSdlDevice(int32_t frames) {
    return std::make_unique<SdlDevice>(frames);
}

const char* SoundDeviceReason() {
    const char* reason = SDL_GetError();
    return reason ? reason : "";
}

} // namespace kellix
