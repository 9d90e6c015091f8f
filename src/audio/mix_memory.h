#pragma once

#include "audio/effects.h"
#include "audio/mixer.h"
#include "audio/reverb.h"

#include <cstdint>
#include <vector>

namespace kellix {

// What a mixer remembers from one block to the next apart from its voices: the effects it
// applies, the stereo delay's echo memory and the reverb stage. Kept for a block's start, it
// lets the block be mixed again exactly as it was. Storage is taken once, when made.
struct MixMemory {
    MasterEffects Effects;
    std::vector<uint8_t> Echo;
    ReverbState Reverb;
    std::vector<int16_t> ReverbMemory;

    explicit MixMemory(int32_t echoBytes);
    MixMemory(const MixMemory&) = delete;
    MixMemory& operator=(const MixMemory&) = delete;
};

// Copies the mixer's effects, echo memory and reverb stage into memory, and back. A reverb
// stage that is off keeps its memory out of the copy: switching on clears it anyway.
void SaveMixMemory(const SoundBuffer& mixer, MixMemory& memory);
void RestoreMixMemory(SoundBuffer& mixer, const MixMemory& memory);

} // namespace kellix
