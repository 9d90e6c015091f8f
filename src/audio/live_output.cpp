// The live output's device side, its worker and the fills: the stream as the device takes it,
// and the quarters mixed ahead of it. The commands that change what sounds are in
// live_commands.cpp.
#include "audio/live_output.h"

#include "audio/effects.h"
#include "audio/live_stream.h"
#include "support/fatal.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

namespace kellix {

namespace {

// Whether every value of the quarter lies within one step of silence.
bool QuarterIsQuiet(const uint8_t* quarter) {
    for (int32_t i = 0; i < kQuarterBytes; i += 2) {
        int16_t v = LoadS16(quarter + i);
        if (v > 1 || v < -1) {
            return false;
        }
    }
    return true;
}

} // namespace

LiveOutput::LiveOutput(OutputDevice& device) : device_(device), fence_(kNoFence) {
    std::memset(ring_, 0, sizeof ring_);
    if (!device_.Open()) {
        FatalError("Failed to create IDirectSound object");
    }
    mixer_ = CreateSoundBuffer(2, kLiveRate, 16);
    remixer_ = CreateSoundBuffer(2, kLiveRate, 16);
    mixer_->WritePos = QuarterPlace(0);
    for (int i = 0; i < 4; ++i) {
        saves_.push_back(std::make_unique<QuarterSave>());
        spares_.push_back(std::make_unique<QuarterSave>());
    }
    mixRing_.assign(kRingBytes, 0);
    remixRing_.assign(kRingBytes, 0);
    if (!device_.CreateStream(*this)) {
        FatalError("Failed to create IDirectSoundBuffer object");
    }
    effects_ = StartupEffects();
    mixer_->Effects = effects_;
    SetSampleInUse([this](const SampleBlock* block) { return UsesSample(block); });
}

LiveOutput::~LiveOutput() {
    StopWorker();
    device_.Stop();
    device_.Close();
    {
        std::lock_guard lock(lock_);
        notes_.clear();
        plays_.clear();
    }
    SetSampleInUse(nullptr);
    ReleaseFinishedSamples();
    FreeSoundBuffer(mixer_);
    FreeSoundBuffer(remixer_);
}

void LiveOutput::StartWorker() {
    wake_.store(false);
    worker_.Context = this;
    worker_.Wake.store([](void* self) { static_cast<LiveOutput*>(self)->WakeWorker(); });
    StartThread(worker_);
    RaiseThreadPriority(worker_);
    worker_.Callback.store([](void* self) { static_cast<LiveOutput*>(self)->FillQuarter(); });
}

void LiveOutput::PlayOutput() {
    device_.Play();
}

void LiveOutput::StopWorker() {
    StopThread(worker_);
}

void LiveOutput::WakeWorker() {
    wake_.store(true, std::memory_order_release);
    signal_.fetch_add(1, std::memory_order_release);
    signal_.notify_all();
}

int32_t LiveOutput::Pull(uint8_t* out, int32_t len) {
    len = std::max(len, 0);
    const int64_t start = pullPos_;
    int64_t end = std::min<int64_t>(start + len, ready_.load(std::memory_order_acquire));
    if (end > start) {
        // Claim the bytes before copying them; a re-mix that is writing from a frame within the
        // claim (it did not see the claim in time) stops the copy in front of that frame.
        claimed_.store(end, std::memory_order_seq_cst);
        const int64_t fence = fence_.load(std::memory_order_seq_cst);
        if (fence < end) {
            end = std::max(start, fence);
            claimed_.store(end, std::memory_order_seq_cst);
        }
        CopyFromRing(out, ring_, start, end);
    } else {
        end = start;
    }
    const auto copied = static_cast<int32_t>(end - start);
    pullPos_ = end;
    played_.store(end, std::memory_order_release);
    Ask(end, len);
    std::memset(out + copied, 0, static_cast<std::size_t>(len - copied));
    return copied;
}

// The device wants the stream mixed one more pull and kAheadFrames beyond what it has taken.
// The ring holds four quarters: at most the quarter after the next one is mixed ahead.
void LiveOutput::Ask(int64_t end, int32_t len) {
    const int64_t want = end + len + int64_t{kAheadFrames} * 4;
    // Mixer quarter k ends at stream byte (k + 2) quarters.
    int64_t quarters = (want + kQuarterBytes - 1) / kQuarterBytes - 1;
    quarters = std::min(quarters, end / kQuarterBytes + 2);
    if (quarters > asked_.load(std::memory_order_relaxed)) {
        asked_.store(quarters, std::memory_order_release);
        signal_.fetch_add(1, std::memory_order_release);
        signal_.notify_one();
    }
}

int64_t LiveOutput::PendingFills() const {
    return asked_.load(std::memory_order_acquire) - filled_.load(std::memory_order_acquire);
}

void LiveOutput::FillQuarter() {
    for (;;) {
        const uint32_t seen = signal_.load(std::memory_order_acquire);
        if (wake_.load(std::memory_order_acquire) || PendingFills() > 0) {
            break;
        }
        signal_.wait(seen, std::memory_order_acquire);
    }
    std::lock_guard lock(lock_);
    // A wait ended for the thread's shutdown has nothing to mix.
    if (PendingFills() > 0) {
        MixNextQuarter();
    }
}

void LiveOutput::ScheduleBefore(int64_t frontier) {
    added_.clear();
    for (const std::unique_ptr<PlaySchedule>& play : plays_) {
        play->NotesBefore(frontier, loop_, added_);
    }
    KeepNotes(added_);
    std::erase_if(plays_, [](const std::unique_ptr<PlaySchedule>& p) { return p->Finished(); });
}

void LiveOutput::KeepNotes(std::vector<LiveNote>& added) {
    notes_.insert(notes_.end(), added.begin(), added.end());
    order_.reserve(notes_.size());
    const auto needed = static_cast<int32_t>(notes_.size());
    if (needed > spareVoices_) {
        // Voices for every note, taken now so that mixing allocates nothing.
        spareVoices_ = std::max(needed, 2 * spareVoices_);
        SetSpareVoices(mixer_, spareVoices_);
        SetSpareVoices(remixer_, spareVoices_);
    }
}

void LiveOutput::MixNotes(SoundBuffer* mixer, uint8_t* ring, int64_t clock,
                          const std::vector<LiveNote>& notes, const std::vector<int32_t>& which) {
    mixer->Total = clock;
    for (int32_t i : which) {
        const LiveNote& n = notes[static_cast<std::size_t>(i)];
        AddVoice(mixer, n.Start, n.Step, n.Peak, n.Pan, &n.Env, n.Sample);
    }
    AddVoicesToBlock(mixer, ring, kQuarterFrames);
    kellix::ClearVoices(mixer);
}

void LiveOutput::MixNextQuarter() {
    const int64_t q = filled_.load(std::memory_order_relaxed);
    const int64_t clock = q * kQuarterFrames;
    const int64_t end = clock + kQuarterFrames;
    ScheduleBefore(end);

    QuarterSave& save = *saves_[static_cast<std::size_t>(q % 4)];
    const int32_t place = QuarterPlace(q);
    mixer_->WritePos = place;
    mixer_->Total = clock;
    mixer_->Effects = effects_;
    SaveMixMemory(*mixer_, save.Memory);

    order_.clear();
    for (std::size_t i = 0; i < notes_.size(); ++i) {
        if (std::max(notes_[i].Start, notes_[i].Joins) < end) {
            order_.push_back(static_cast<int32_t>(i));
        }
    }
    std::sort(order_.begin(), order_.end(),
              [this](int32_t a, int32_t b) { return notes_[a].Order < notes_[b].Order; });
    uint8_t* block = mixRing_.data() + place;
    std::memset(block, 0, kQuarterBytes);
    MixNotes(mixer_, mixRing_.data(), clock, notes_, order_);
    std::memcpy(save.Dry.data(), block, kQuarterBytes);
    FinishBlock(mixer_, mixRing_.data(), kQuarterFrames);
    // A note whose voice the mixer drops at the end of this quarter is done with.
    std::erase_if(notes_,
                  [end](const LiveNote& n) { return n.EndBytes <= (__int128{end} - n.Start) * 4; });

    std::memcpy(ring_ + place, block, kQuarterBytes);
    ready_.store(StreamByte(end), std::memory_order_release);
    filled_.store(q + 1, std::memory_order_release);

    ++fills_;
    if (!notes_.empty() || !plays_.empty()) {
        fillsWithoutVoices_ = 0;
        quietFills_ = 0;
    } else {
        ++fillsWithoutVoices_;
        quietFills_ = QuarterIsQuiet(block) ? quietFills_ + 1 : 0;
    }
}

bool LiveOutput::Export(const TTrack& song, const SampleSet& samples, const MasterEffects& effects,
                        const std::string& path, std::string* error, const ExportProgress& progress,
                        int64_t tailFrames) {
    // A fill woken before the pause may still run: it touches only the live mixer.
    device_.Stop();
    const bool ok = ExportWav(song, samples, effects, path, error, progress, tailFrames);
    device_.Play();
    ReleaseFinishedSamples();
    return ok;
}

void LiveOutput::SetEffects(const MasterEffects& effects) {
    std::lock_guard lock(lock_);
    effects_ = effects;
}

MasterEffects LiveOutput::Effects() const {
    std::lock_guard lock(lock_);
    return effects_;
}

int64_t LiveOutput::MixedFrames() const {
    return filled_.load(std::memory_order_acquire) * kQuarterFrames;
}

std::vector<Voice> LiveOutput::Voices() const {
    std::lock_guard lock(lock_);
    std::vector<const LiveNote*> sorted;
    for (const LiveNote& n : notes_) {
        sorted.push_back(&n);
    }
    std::sort(sorted.begin(), sorted.end(),
              [](const LiveNote* a, const LiveNote* b) { return a->Order < b->Order; });
    std::vector<Voice> voices;
    const int64_t clock = MixedFrames();
    for (const LiveNote* n : sorted) {
        voices.push_back(
            MakeVoice(kLiveRate, clock, n->Start, n->Step, n->Peak, n->Pan, &n->Env, n->Sample));
    }
    return voices;
}

bool LiveOutput::UsesSample(const SampleBlock* block) const {
    std::lock_guard lock(lock_);
    return std::any_of(notes_.begin(), notes_.end(),
                       [block](const LiveNote& n) { return n.Sample == block; }) ||
           std::any_of(plays_.begin(), plays_.end(),
                       [block](const std::unique_ptr<PlaySchedule>& p) { return p->Uses(block); });
}

void LiveOutput::WaitUntilPlayedOut(int32_t maxTailSeconds) {
    const int64_t maxTailFills = int64_t{maxTailSeconds} * 4;
    int64_t target = -1;
    while (target < 0) {
        {
            std::lock_guard lock(lock_);
            if (quietFills_ >= 4 || fillsWithoutVoices_ >= maxTailFills) {
                // Fill k (from 0) is played from stream byte (k + 1) quarters on: quarter 0 is
                // the silence the ring starts with.
                target = (fills_ + 1) * kQuarterBytes;
            }
        }
        if (target < 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    while (PlayedBytes() < target) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

} // namespace kellix
