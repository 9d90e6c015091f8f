#include "audio/mixer.h"

#include "audio/effects.h"
#include "audio/mix_kernels.h"
#include "support/blocks.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace kellix {

namespace {

// Builds the interpolation weights W[e] = truncate(e / Rate x 65536) for e < Rate, the only
// indices the resampler reaches. That is floor(e x 65536 / Rate) exactly (the quotient never
// lies close enough below a whole number for rounding to matter, checked for every rate up to
// 65536), so it is counted up in integers instead of divided out for each entry.
void BuildWeights(int32_t* w, int32_t rate) {
    const int32_t whole = 65536 / rate;
    const int32_t part = 65536 % rate;
    int32_t weight = 0;
    int32_t rest = 0;
    for (int32_t i = 0; i < rate; ++i) {
        w[i] = weight;
        weight += whole;
        rest += part;
        if (rest >= rate) {
            rest -= rate;
            ++weight;
        }
    }
}

int32_t MaxBlockFrames(const SoundBuffer* m) {
    return m->Size / 4;
}

void RemoveVoice(SoundBuffer* m, Voice* v) {
    (v->Prev ? v->Prev->Next : m->First) = v->Next;
    (v->Next ? v->Next->Prev : m->Last) = v->Prev;
    v->Prev = nullptr;
    v->Sample = nullptr;
    v->Next = m->FreeVoices;
    m->FreeVoices = v;
}

// The envelope of one voice over one block. The level follows the closed formulas at the block
// start and an integer accumulator from frame to frame.
struct Envelope {
    int64_t Pos; // frames since the voice's start
    int64_t Acc; // error accumulator
    int32_t Level;
    int32_t Peak;
    TEnvelope Env;
};

void EnvStart(Envelope& s, int64_t e0) {
    const TEnvelope& env = s.Env;
    s.Pos = e0;
    s.Acc = 0;
    if (e0 < env.Attack && env.Attack > 0) {
        long double slope = static_cast<long double>(s.Peak) / env.Attack;
        s.Level = static_cast<int32_t>(slope * e0);
    } else if (e0 - env.Attack < env.Cont) {
        s.Level = s.Peak;
    } else if (e0 - env.Attack - env.Cont < env.Ende && env.Ende > 0) {
        long double slope = static_cast<long double>(s.Peak) / env.Ende;
        s.Level = s.Peak - static_cast<int32_t>(slope * (e0 - env.Attack - env.Cont));
    } else {
        s.Level = 0;
    }
}

// count accumulator steps of a rising (direction +1) or falling (-1) ramp that moves the level
// by Peak / span per frame; levels[i] receives the level after step i.
void RampSteps(Envelope& s, int64_t span, int32_t direction, int32_t count, int32_t* levels) {
    int32_t i = 0;
    // An accumulator carried over from the attack may exceed the release's span: the general
    // step (Acc -= Peak; while Acc < 0 { Level += direction; Acc += span }) brings it back.
    for (; i < count && s.Acc >= span; ++i) {
        s.Acc -= s.Peak;
        if (s.Acc < 0) {
            int64_t wraps = (-s.Acc + span - 1) / span;
            s.Level += static_cast<int32_t>(direction * wraps);
            s.Acc += wraps * span;
        }
        levels[i] = s.Level;
    }
    if (i < count) {
        MixRamp ramp{s.Level, static_cast<int32_t>(s.Acc), s.Peak, static_cast<int32_t>(span),
                     direction};
        RampLevels(ramp, levels + i, count - i);
        s.Level = ramp.level;
        s.Acc = ramp.acc;
    }
    s.Pos += count;
}

// Runs count envelope steps from the current state: levels[0] is the level before the first
// step, levels[i + 1] the level after step i.
void EnvelopeLevels(Envelope& s, int32_t count, int32_t* levels) {
    const TEnvelope& env = s.Env;
    levels[0] = s.Level;
    int32_t done = 0;
    while (done < count) {
        int32_t left = count - done;
        int32_t* out = levels + 1 + done;
        int32_t run;
        if (s.Pos < env.Attack) {
            run = static_cast<int32_t>(std::min<int64_t>(left, env.Attack - s.Pos));
            RampSteps(s, env.Attack, +1, run, out);
        } else if (s.Pos - env.Attack < env.Cont) {
            run = static_cast<int32_t>(
                std::min<int64_t>(left, int64_t{env.Attack} + env.Cont - s.Pos));
            s.Level = s.Peak;
            std::fill(out, out + run, s.Level);
            s.Pos += run;
        } else if (s.Pos - env.Attack - env.Cont < env.Ende) {
            run = static_cast<int32_t>(
                std::min<int64_t>(left, int64_t{env.Attack} + env.Cont + env.Ende - s.Pos));
            RampSteps(s, env.Ende, -1, run, out);
        } else {
            run = left;
            s.Level = 0;
            std::fill(out, out + run, 0);
            s.Pos += run;
        }
        done += run;
    }
}

// The levels of the next frames of a voice: a constant level while the envelope holds (mono
// frames use the level before their step, which must already be the peak), otherwise the
// levels up to the start of the hold written to buffer. Returns the frames covered.
int32_t NextLevels(Envelope& s, int32_t count, bool mono, int32_t* buffer, MixRun& run) {
    const TEnvelope& env = s.Env;
    const int64_t holdEnd = int64_t{env.Attack} + env.Cont;
    if (s.Pos >= env.Attack && s.Pos < holdEnd && (!mono || s.Level == s.Peak)) {
        int32_t frames = static_cast<int32_t>(std::min<int64_t>(count, holdEnd - s.Pos));
        s.Level = s.Peak;
        s.Pos += frames;
        run.Levels = nullptr;
        run.Level = s.Peak;
        return frames;
    }
    int32_t frames = count;
    if (s.Pos < env.Attack && env.Cont > 0) {
        frames = static_cast<int32_t>(std::min<int64_t>(count, env.Attack - s.Pos));
    }
    EnvelopeLevels(s, frames, buffer);
    run.Levels = mono ? buffer : buffer + 1;
    return frames;
}

// What one voice mixes in the current block.
struct MixPlan {
    const MixSteps* Steps;
    const uint8_t* Data; // its first source frame in this block
    int64_t Readable;    // source frames from Data to the end of the sample
    MixCursor Cursor;
    Envelope Env;
    int32_t Start;  // first frame of the block it writes
    int32_t Frames; // frames it writes from there
    int32_t Pan;
    bool Mono;
};

// Works out what the voice mixes in a block of nbytes and advances its position. False when
// it writes nothing.
bool PlanVoice(const SoundBuffer* m, Voice* v, int32_t nbytes, MixPlan& plan) {
    const SampleBlock* sample = v->Sample;
    const int64_t position = v->Position;
    v->Position += nbytes;
    if (position + nbytes < 0) {
        return false;
    }
    const int format = sample->Format;
    if (format != kSampleMono && format != kSampleStereo) {
        return false;
    }
    const int32_t frameBytes = 2 * format;
    const int64_t sourceFrames = sample->DataSize / frameBytes;
    const float r = v->Ratio;
    const int64_t length = v->Length;

    int64_t first;    // first source frame
    int64_t outStart; // byte offset of the first output frame from the block start
    int64_t count;    // output bytes to mix
    int64_t e0;       // envelope frame at the first output frame
    if (position >= 0) {
        first = static_cast<int64_t>(static_cast<long double>(position) / r) / 4;
        outStart = 0;
        count = std::min<int64_t>(length - position, nbytes);
        e0 = position / 4;
    } else {
        first = 0;
        outStart = -position;
        count = std::min<int64_t>(length, nbytes + position);
        e0 = 0;
    }
    if (count <= 0) {
        return false;
    }
    int64_t frames = count / 4;
    // Never read past the data, whatever the single-precision rate rounding does at the end:
    // frame j reads source frames first + ceil(j x Step / Rate) and the one after it.
    int64_t lastReadable = sourceFrames - 2 - first;
    if (lastReadable < 0) {
        return false;
    }
    frames = std::min<int64_t>(frames, lastReadable * m->Rate / v->Step + 1);

    plan.Env = Envelope{0, 0, 0, v->Peak, v->Env};
    EnvStart(plan.Env, e0);
    // Past the end of its envelope a voice adds only zeros (it still runs for the length of its
    // sample): mix no further than one frame beyond that end.
    const int64_t envelopeEnd = int64_t{v->Env.Attack} + v->Env.Cont + v->Env.Ende;
    frames = std::min<int64_t>(frames, std::max<int64_t>(envelopeEnd - e0 + 1, 0));
    if (frames == 0 || (plan.Env.Level == 0 && e0 >= envelopeEnd)) {
        return false;
    }
    plan.Steps = &v->Steps;
    plan.Pan = v->Pan;
    plan.Mono = format == kSampleMono;
    plan.Data = SampleData(sample) + first * frameBytes;
    plan.Readable = sourceFrames - first;
    plan.Cursor = MixCursor{0, 0};
    plan.Start = static_cast<int32_t>(outStart / 4);
    plan.Frames = static_cast<int32_t>(frames);
    return true;
}

// Mixes the voice's frames that fall in block frames [from, to) into out, the ring at block
// frame from. Its source position and envelope carry over from one call to the next exactly as
// from frame to frame.
void MixPlanned(SoundBuffer* m, MixPlan& plan, int32_t from, int32_t to, int16_t* out) {
    const int32_t begin = std::max(from, plan.Start);
    const int32_t end = std::min(to, plan.Start + plan.Frames);
    if (begin >= end) {
        return;
    }
    const bool mono = plan.Mono;
    MixRun run{plan.Steps, plan.Data, plan.Readable, nullptr, 0, plan.Pan, out + 2 * (begin - from),
               0};
    for (int32_t at = begin; at < end; at += run.Frames) {
        run.Frames = NextLevels(plan.Env, end - at, mono, m->Levels, run);
        if (mono) {
            MixMonoFrames(m->Weights, run, plan.Cursor);
        } else {
            MixStereoFrames(m->Weights, run, plan.Cursor);
        }
        run.Out += 2 * run.Frames;
    }
}

// Works out the voice's fixed figures from its sample, step and the mixer's rate. The rate
// ratio is rounded to single precision. The sounding length in output bytes covers the data
// less two frames (the read position's one-frame lead and the interpolation's look-ahead). The
// voice ends after its whole data at its rate, counted twice for mono samples on two channels.
void VoiceFigures(int32_t rate, Voice* v) {
    v->Ratio = static_cast<float>(static_cast<long double>(rate) / v->Step);
    v->Length = 0;
    v->End = 0;
    const SampleBlock* sample = v->Sample;
    if (!sample) {
        return;
    }
    const int format = sample->Format;
    const int32_t dataSize = sample->DataSize;
    if ((format == kSampleMono || format == kSampleStereo) && dataSize / (2 * format) >= 2) {
        long double scaled = static_cast<long double>(dataSize - 4 * format) * v->Ratio;
        v->Length = 4 * (static_cast<int64_t>(scaled) / (2 * format));
    }
    long double ratio = static_cast<long double>(rate) / v->Step;
    v->End = static_cast<int64_t>(ratio * dataSize);
    // Every mixer has two channels: a mono sample's end is counted twice.
    if (format != 2) {
        v->End *= 2;
    }
}

// Starts far in the past or future saturate instead of wrapping.
constexpr int64_t kFar = int64_t{1} << 60;

// A voice of the given figures whose start lies elapsed frames before the clock (negative:
// after it).
void InitVoice(Voice* v, int32_t rate, int64_t elapsed, int32_t step, int32_t peak, int32_t pan,
               const TEnvelope* env, const SampleBlock* sample) {
    v->Sample = sample;
    v->Step = std::max(step, 1);
    v->Steps = MakeMixSteps(v->Step, rate);
    VoiceFigures(rate, v);
    v->Position = std::clamp(elapsed, -kFar, kFar) * 4;
    v->Peak = std::clamp(peak, 0, 32767);
    v->Pan = std::clamp(pan, 0, 255);
    if (env) {
        v->Env = {std::max(env->Attack, 0), std::max(env->Cont, 0), std::max(env->Ende, 0)};
    } else {
        v->Env = kHeldEnvelope;
    }
    v->Next = nullptr;
    v->Prev = nullptr;
}

} // namespace

SoundBuffer* CreateSoundBuffer(uint8_t channels, int32_t rate, int32_t bits) {
    if (channels != 2 || bits != 16 || rate < 1 || rate > 65536) {
        return nullptr;
    }
    auto* m = new SoundBuffer;
    m->Channels = channels;
    m->Rate = rate;
    m->Bits = bits;
    m->Size = channels * rate * bits / 8;
    AllocBlock(m->EchoBuffer, static_cast<std::size_t>(m->Size));
    std::memset(m->EchoBuffer, 0, static_cast<std::size_t>(m->Size));
    AllocBlock(m->WeightTable, sizeof(int32_t) * static_cast<std::size_t>(rate));
    BuildWeights(m->WeightTable, rate);
    m->Weights = MakeMixWeights(m->WeightTable, rate);
    AllocBlock(m->Levels, sizeof(int32_t) * (static_cast<std::size_t>(MaxBlockFrames(m)) + 1));
    m->Reverb = CreateReverb();
    return m;
}

void FreeSoundBuffer(SoundBuffer* mixer) {
    if (!mixer) {
        return;
    }
    ClearVoices(mixer);
    while (Voice* v = mixer->FreeVoices) {
        mixer->FreeVoices = v->Next;
        delete v;
    }
    FreeBlock(mixer->EchoBuffer);
    FreeBlock(mixer->WeightTable);
    FreeBlock(mixer->Levels);
    FreeReverb(mixer->Reverb);
    delete mixer;
}

int32_t PitchToStep(float pitch) {
    // exp(ln 2 x (p / 12 + 14.4285 - 1)) in extended precision, as the rate was always computed.
    long double x =
        std::exp(std::log(2.0L) * (static_cast<long double>(pitch) * (1.0L / 12) + 14.4285L - 1));
    if (!(x >= 1.0L)) {
        return 1; // also NaN
    }
    if (x >= 2147483647.0L) {
        return std::numeric_limits<int32_t>::max();
    }
    return static_cast<int32_t>(x);
}

void AddVoice(SoundBuffer* mixer, int64_t start, int32_t step, int32_t peak, int32_t pan,
              const TEnvelope* env, const SampleBlock* sample) {
    if (!mixer) {
        return;
    }
    Voice* v = mixer->FreeVoices;
    if (v) {
        mixer->FreeVoices = v->Next;
    } else {
        v = new Voice;
    }
    InitVoice(v, mixer->Rate, mixer->Total - std::clamp(start, -kFar, kFar), step, peak, pan, env,
              sample);
    v->Prev = mixer->Last;
    (mixer->Last ? mixer->Last->Next : mixer->First) = v;
    mixer->Last = v;
}

Voice MakeVoice(int32_t rate, int64_t clock, int64_t start, int32_t step, int32_t peak, int32_t pan,
                const TEnvelope* env, const SampleBlock* sample) {
    Voice v;
    InitVoice(&v, rate, std::clamp(clock, -kFar, kFar) - std::clamp(start, -kFar, kFar), step, peak,
              pan, env, sample);
    return v;
}

void SetSpareVoices(SoundBuffer* mixer, int32_t count) {
    if (!mixer) {
        return;
    }
    int32_t spare = 0;
    Voice** link = &mixer->FreeVoices;
    while (*link && spare < count) {
        link = &(*link)->Next;
        ++spare;
    }
    while (Voice* extra = *link) {
        *link = extra->Next;
        delete extra;
    }
    for (; spare < count; ++spare) {
        auto* v = new Voice;
        v->Next = mixer->FreeVoices;
        mixer->FreeVoices = v;
    }
}

VoiceBatch::~VoiceBatch() {
    while (Voice* v = first_) {
        first_ = v->Next;
        delete v;
    }
}

void VoiceBatch::Add(int64_t startAfterClock, int32_t step, int32_t peak, int32_t pan,
                     const TEnvelope* env, const SampleBlock* sample) {
    auto* v = new Voice;
    InitVoice(v, rate_, -std::clamp(startAfterClock, -kFar, kFar), step, peak, pan, env, sample);
    v->Prev = last_;
    (last_ ? last_->Next : first_) = v;
    last_ = v;
}

void ClearVoices(SoundBuffer* mixer) {
    if (!mixer) {
        return;
    }
    while (mixer->First) {
        RemoveVoice(mixer, mixer->First);
    }
}

void AddVoicesToBlock(SoundBuffer* mixer, uint8_t* ring, int32_t n) {
    if (!mixer || !ring) {
        return;
    }
    n = std::clamp(n, 0, MaxBlockFrames(mixer));
    const int32_t nbytes = n * (mixer->Bits / 8) * mixer->Channels;
    const int32_t wrap = std::min(nbytes, mixer->Size - mixer->WritePos) / 4;
    auto* blockStart = reinterpret_cast<int16_t*>(ring + mixer->WritePos);
    auto* ringStart = reinterpret_cast<int16_t*>(ring);
    for (Voice* v = mixer->First; v;) {
        Voice* next = v->Next;
        if (!v->Sample) {
            RemoveVoice(mixer, v);
            v = next;
            continue;
        }
        MixPlan plan;
        if (PlanVoice(mixer, v, nbytes, plan)) {
            MixPlanned(mixer, plan, 0, wrap, blockStart);
            MixPlanned(mixer, plan, wrap, n, ringStart);
        }
        if (v->End <= v->Position) {
            RemoveVoice(mixer, v);
        }
        v = next;
    }
}

void FinishBlock(SoundBuffer* mixer, uint8_t* ring, int32_t n) {
    if (!mixer || !ring) {
        return;
    }
    n = std::clamp(n, 0, MaxBlockFrames(mixer));
    ApplyStereoDelay(mixer, ring, n);
    SetUpReverb(*mixer->Reverb, mixer->Effects.Reverb, mixer->Effects.ReverbOn);
    ApplyReverb(*mixer->Reverb, ring, mixer->Size / 4, mixer->WritePos / 4, n);

    mixer->WritePos += n * (mixer->Bits / 8) * mixer->Channels;
    while (mixer->WritePos >= mixer->Size) {
        mixer->WritePos -= mixer->Size;
    }
    mixer->Total += n;
}

void MixBlock(SoundBuffer* mixer, uint8_t* ring, int32_t n) {
    if (!mixer || !ring) {
        return;
    }
    n = std::clamp(n, 0, MaxBlockFrames(mixer));
    const int32_t nbytes = n * (mixer->Bits / 8) * mixer->Channels;
    // Clear the block, wrapping at the end of the ring.
    const int32_t firstPart = std::min(nbytes, mixer->Size - mixer->WritePos);
    std::memset(ring + mixer->WritePos, 0, static_cast<std::size_t>(firstPart));
    std::memset(ring, 0, static_cast<std::size_t>(nbytes - firstPart));
    AddVoicesToBlock(mixer, ring, n);
    FinishBlock(mixer, ring, n);
}

} // namespace kellix
