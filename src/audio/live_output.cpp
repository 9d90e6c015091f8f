#include "audio/live_output.h"

#include "audio/effects.h"
#include "audio/sequencer.h"
#include "support/fatal.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <cstring>
#include <thread>

namespace kellix {

namespace {

constexpr uint32_t kEventMask = 0xF;
// Set to end the worker's wait without an event, for its shutdown.
constexpr uint32_t kWakeBit = 0x10;

int32_t QuarterOf(int32_t bytePos) {
    return bytePos / kQuarterBytes;
}

} // namespace

LiveOutput::LiveOutput(OutputDevice& device) : device_(device) {
    std::memset(ring_, 0, sizeof ring_);
    if (!device_.Open()) {
        FatalError("Failed to create IDirectSound object");
    }
    mixer_ = CreateSoundBuffer(2, 44100, 16);
    if (!device_.CreateStream(*this)) {
        FatalError("Failed to create IDirectSoundBuffer object");
    }
    mixer_->Effects = StartupEffects();
    SetSampleInUse([this](const SampleBlock* block) { return UsesSample(block); });
}

LiveOutput::~LiveOutput() {
    StopWorker();
    device_.Stop();
    device_.Close();
    {
        std::lock_guard lock(lock_);
        kellix::ClearVoices(mixer_);
    }
    SetSampleInUse(nullptr);
    ReleaseFinishedSamples();
    FreeSoundBuffer(mixer_);
}

void LiveOutput::StartWorker() {
    events_.fetch_and(~kWakeBit);
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
    events_.fetch_or(kWakeBit, std::memory_order_release);
    events_.notify_all();
}

bool LiveOutput::QuarterIsQuiet(const uint8_t* quarter) const {
    for (int32_t i = 0; i < kQuarterBytes; i += 2) {
        int16_t v = LoadS16(quarter + i);
        if (v > 1 || v < -1) {
            return false;
        }
    }
    return true;
}

void LiveOutput::FillQuarter() {
    uint32_t events;
    while ((events = events_.load(std::memory_order_acquire)) == 0) {
        events_.wait(0, std::memory_order_acquire);
    }
    idle_.store(false);
    {
        std::lock_guard lock(lock_);
        // Without an event the wait was ended for the thread's shutdown: nothing to mix.
        if (events & kEventMask) {
            // The lowest event first, as a wait on several events reports it; the device never
            // has two requests out of order.
            int e = std::countr_zero(events & kEventMask);
            events_.fetch_and(~(1u << e), std::memory_order_relaxed);
            mixer_->WritePos = kNotifications[e].WritePos;
            MixBlock(mixer_, ring_, kQuarterFrames);
            ++fills_;
            if (mixer_->First) {
                fillsWithoutVoices_ = 0;
                quietFills_ = 0;
            } else {
                ++fillsWithoutVoices_;
                bool quiet = QuarterIsQuiet(ring_ + kNotifications[e].WritePos);
                quietFills_ = quiet ? quietFills_ + 1 : 0;
            }
            pending_.fetch_and(~(1u << QuarterOf(kNotifications[e].WritePos)),
                               std::memory_order_release);
        }
    }
    idle_.store(true);
}

int32_t LiveOutput::Pull(uint8_t* out, int32_t len) {
    int32_t copied = 0;
    while (copied < len) {
        int32_t pos = playPos_;
        int32_t quarter = QuarterOf(pos);
        if (pending_.load(std::memory_order_acquire) & (1u << quarter)) {
            break;
        }
        int32_t end = std::min((quarter + 1) * kQuarterBytes, pos + (len - copied));
        std::memcpy(out + copied, ring_ + pos, static_cast<std::size_t>(end - pos));
        copied += end - pos;
        playPos_ = end == kRingBytes ? 0 : end;
        played_.fetch_add(end - pos, std::memory_order_release);
        bool raised = false;
        for (int e = 0; e < 4; ++e) {
            int32_t at = kNotifications[e].Position;
            if (at >= pos && at < end) {
                // The quarter is marked before the event, so the device cannot reach it first.
                pending_.fetch_or(1u << QuarterOf(kNotifications[e].WritePos),
                                  std::memory_order_relaxed);
                events_.fetch_or(1u << e, std::memory_order_release);
                raised = true;
            }
        }
        if (raised) {
            events_.notify_one();
        }
    }
    std::memset(out + copied, 0, static_cast<std::size_t>(len - copied));
    return copied;
}

int64_t LiveOutput::Play(const TTrack& song, const SampleSet& samples, const PlayRequest& request) {
    VoiceBatch batch;
    switch (request.Kind) {
    case PlayRequest::What::Song:
        PlayFrom(batch, song, samples, request.Index, 0);
        break;
    case PlayRequest::What::Track:
        PlayTrack(batch, song, samples, request.Index, 0);
        break;
    case PlayRequest::What::Pattern:
        PlayPattern(batch, song, samples, request.Index, 0);
        break;
    }
    std::lock_guard lock(lock_);
    HandOver(mixer_, batch);
    return mixer_->Total;
}

void LiveOutput::AddVoices(VoiceBatch& batch) {
    std::lock_guard lock(lock_);
    HandOver(mixer_, batch);
}

void LiveOutput::Preview(const TTrack& song, const SampleSet& samples, int32_t instrument,
                         int32_t tone, int32_t vol, int32_t pan) {
    VoiceBatch batch;
    PreviewNote(batch, song, samples, instrument, tone, vol, pan);
    std::lock_guard lock(lock_);
    HandOver(mixer_, batch);
}

void LiveOutput::Stop() {
    while (!idle_.load()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    {
        std::lock_guard lock(lock_);
        device_.Stop();
        kellix::ClearVoices(mixer_);
        device_.Play();
    }
    ReleaseFinishedSamples();
}

void LiveOutput::ClearVoices() {
    {
        std::lock_guard lock(lock_);
        kellix::ClearVoices(mixer_);
    }
    ReleaseFinishedSamples();
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
    mixer_->Effects = effects;
}

int64_t LiveOutput::MixedFrames() const {
    std::lock_guard lock(lock_);
    return mixer_->Total;
}

MasterEffects LiveOutput::Effects() const {
    std::lock_guard lock(lock_);
    return mixer_->Effects;
}

std::vector<Voice> LiveOutput::Voices() const {
    std::lock_guard lock(lock_);
    std::vector<Voice> voices;
    for (const Voice* v = mixer_->First; v; v = v->Next) {
        voices.push_back(*v);
    }
    return voices;
}

bool LiveOutput::UsesSample(const SampleBlock* block) const {
    std::lock_guard lock(lock_);
    return MixerUsesSample(mixer_, block);
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
