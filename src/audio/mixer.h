#pragma once

#include "audio/effects.h"
#include "audio/mix_kernels.h"
#include "audio/reverb.h"
#include "song/sample.h"
#include "song/track.h"

#include <cstdint>

namespace kellix {

// One playing sample on a mixer's clock.
struct Voice {
    Voice* Prev;
    Voice* Next;
    const SampleBlock* Sample; // borrowed: the block must outlive the voice
    int32_t Step;              // playback rate of the sample in frames per second
    int64_t Position;          // output bytes since the voice's start; negative before it
    int32_t Peak;              // 0..32767
    int32_t Pan;               // 0..255, 128 centre
    TEnvelope Env;             // durations in output frames, each >= 0
    // Worked out once by AddVoice: Step at the mixer's rate, Rate / Step in single precision,
    // the output bytes the voice sounds for and the bytes after which it is removed.
    MixSteps Steps;
    float Ratio;
    int64_t Length;
    int64_t End;
};

// The software mixer. Frames are stereo 16-bit (4 bytes); the ring that MixBlock writes into
// and the echo memory both hold one second.
struct SoundBuffer {
    uint8_t* EchoBuffer = nullptr; // the stereo delay's memory, Size bytes
    int32_t Size = 0;              // bytes in one second of output
    int32_t WritePos = 0;          // byte offset in the ring where the next block starts
    int64_t Total = 0;             // the clock: frames mixed since creation
    Voice* First = nullptr;        // oldest voice
    Voice* Last = nullptr;
    int32_t Rate = 0;
    int32_t Bits = 0;
    uint8_t Channels = 0;
    // Set up once per mixer so that MixBlock neither builds tables nor allocates.
    int32_t* WeightTable = nullptr; // W[e] = truncate(e / Rate x 65536), e < Rate
    MixWeights Weights{};
    int32_t* Levels = nullptr;   // per-frame envelope levels of the voice being mixed
    Voice* FreeVoices = nullptr; // removed voices kept for reuse by AddVoice
    // The master effects this mixer applies (the start-up values until set), and the reverb
    // stage's own memory.
    MasterEffects Effects = StartupEffects();
    ReverbState* Reverb = nullptr;
};

// Returns null for anything but 2 channels of 16 bits at 1..65536 frames per second.
SoundBuffer* CreateSoundBuffer(uint8_t channels, int32_t rate, int32_t bits);
// Clears the voices and frees the mixer.
void FreeSoundBuffer(SoundBuffer* mixer);

// Playback rate for a pitch in semitones: truncate(2^(p/12 + 13.4285)), clamped to
// 1 .. 2^31 - 1 (0 gives 11025, 12 gives 22050, 24 gives 44100).
int32_t PitchToStep(float pitch);

// Appends a voice starting at the given frame of the mixer's clock. Without an envelope the
// voice plays at full level throughout. Peak is clamped to 0..32767, Pan to 0..255, envelope
// durations to 0 and up, Step to 1 and up.
void AddVoice(SoundBuffer* mixer, int64_t start, int32_t step, int32_t peak, int32_t pan,
              const TEnvelope* env, const SampleBlock* sample);
void ClearVoices(SoundBuffer* mixer);
// The voice AddVoice would append to a mixer of this rate whose clock stands at clock, linked
// nowhere (for a caller that wants its figures, such as the frame at which it ends).
Voice MakeVoice(int32_t rate, int64_t clock, int64_t start, int32_t step, int32_t peak, int32_t pan,
                const TEnvelope* env, const SampleBlock* sample);
// Keeps exactly count removed voices for reuse, so that the next count AddVoice calls after a
// ClearVoices allocate nothing; extra ones are freed.
void SetSpareVoices(SoundBuffer* mixer, int32_t count);

// Voices made ready away from a mixer (allocated without holding the lock around it) and handed
// over to the live output in one step (LiveOutput::AddVoices). Starts are frames after the
// frame at which the hand-over counts them from.
class VoiceBatch {
  public:
    explicit VoiceBatch(int32_t rate = 44100) : rate_(rate) {}
    ~VoiceBatch();
    VoiceBatch(const VoiceBatch&) = delete;
    VoiceBatch& operator=(const VoiceBatch&) = delete;

    // As AddVoice, with the start counted from the frame of the hand-over.
    void Add(int64_t startAfterClock, int32_t step, int32_t peak, int32_t pan, const TEnvelope* env,
             const SampleBlock* sample);
    // The voices in their order (Next links them); starts are -Position / 4 frames after the
    // clock at the hand-over.
    const Voice* First() const { return first_; }

  private:
    int32_t rate_;
    Voice* first_ = nullptr;
    Voice* last_ = nullptr;
};

// Renders n frames (n x 4 bytes) into the ring at WritePos, wrapping at Size, applies the
// stereo delay and advances WritePos and the clock. The ring must hold Size bytes.
void MixBlock(SoundBuffer* mixer, uint8_t* ring, int32_t n);
// MixBlock in two halves, for a caller that keeps a block's voices before the effects and adds
// later voices to it: AddVoicesToBlock adds the voices to what the n frames at WritePos hold
// (with the same saturating sums, so voices added afterwards sound as if they had come last in
// the list) and moves them on; FinishBlock applies the master effects to the n frames and
// advances WritePos and the clock. MixBlock = clearing + AddVoicesToBlock + FinishBlock.
void AddVoicesToBlock(SoundBuffer* mixer, uint8_t* ring, int32_t n);
void FinishBlock(SoundBuffer* mixer, uint8_t* ring, int32_t n);

} // namespace kellix
