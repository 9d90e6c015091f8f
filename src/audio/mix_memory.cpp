#include "audio/mix_memory.h"

#include <algorithm>
#include <cstring>

namespace kellix {

namespace {

// The reverb stage's settings, figures and filter history, leaving each side's own memory block.
void CopyReverb(ReverbState& to, const ReverbState& from) {
    int16_t* keep = to.Memory;
    to = from;
    to.Memory = keep;
    if (from.On) {
        std::memcpy(to.Memory, from.Memory, sizeof(int16_t) * kReverbFrames);
    }
}

} // namespace

MixMemory::MixMemory(int32_t echoBytes)
    : Echo(static_cast<std::size_t>(std::max(echoBytes, 0))), ReverbMemory(kReverbFrames) {
    Reverb.Memory = ReverbMemory.data();
}

void SaveMixMemory(const SoundBuffer& mixer, MixMemory& memory) {
    memory.Effects = mixer.Effects;
    std::memcpy(memory.Echo.data(), mixer.EchoBuffer,
                std::min(memory.Echo.size(), static_cast<std::size_t>(mixer.Size)));
    CopyReverb(memory.Reverb, *mixer.Reverb);
}

void RestoreMixMemory(SoundBuffer& mixer, const MixMemory& memory) {
    mixer.Effects = memory.Effects;
    std::memcpy(mixer.EchoBuffer, memory.Echo.data(),
                std::min(memory.Echo.size(), static_cast<std::size_t>(mixer.Size)));
    CopyReverb(*mixer.Reverb, memory.Reverb);
}

} // namespace kellix
