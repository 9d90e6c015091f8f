#include "audio/live_output.h"

#include "audio/effects.h"
#include "audio/mini_thread.h"
#include "support/fatal.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <cstring>
#include <thread>

namespace kellix {

std::recursive_mutex MixLock;
std::atomic<bool> Idle{true};

namespace {

constexpr uint32_t kEventMask = 0xF;
// Set by StopWorker to end the wait in FillQuarter without an event.
constexpr uint32_t kWakeBit = 0x10;

int32_t QuarterOf(int32_t bytePos) {
    return bytePos / kQuarterBytes;
}

struct LiveOutput {
    OutputDevice* Device = nullptr;
    SoundBuffer* Mixer = nullptr;
    MiniThread Worker;
    // The four manual-reset notification events (bits 0..3) and the wake bit.
    std::atomic<uint32_t> Events{0};
    // Bit q: quarter q was requested from the worker and is not written yet. The device sets it
    // before raising the event and stops in front of the quarter while it is set; the worker
    // clears it (release) once the quarter is written.
    std::atomic<uint32_t> Pending{0};
    std::atomic<int64_t> Played{0};
    int32_t PlayPos = 0; // the device's play position in the ring, device thread only
    // Under MixLock: fills done, consecutive fills without voices, and of those the ones whose
    // output stayed within one step of silence.
    int64_t Fills = 0;
    int64_t FillsWithoutVoices = 0;
    int64_t QuietFills = 0;
    alignas(16) uint8_t Ring[kRingBytes];
};

// Never destroyed: a worker still running at exit must not meet a destroyed thread object.
LiveOutput& Out() {
    static LiveOutput* output = new LiveOutput;
    return *output;
}

void WakeWorker() {
    LiveOutput& o = Out();
    o.Events.fetch_or(kWakeBit, std::memory_order_release);
    o.Events.notify_all();
}

bool LiveVoicesUse(const SampleBlock* block) {
    std::lock_guard lock(MixLock);
    return MixerUsesSample(Out().Mixer, block);
}

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

void SetUpOutput(OutputDevice* device) {
    LiveOutput& o = Out();
    o.Events.store(0);
    o.Pending.store(0);
    o.Played.store(0);
    o.PlayPos = 0;
    o.Fills = o.FillsWithoutVoices = o.QuietFills = 0;
    std::memset(o.Ring, 0, sizeof o.Ring);
    o.Device = device;
    if (!device->Open()) {
        FatalError("Failed to create IDirectSound object");
    }
    o.Mixer = CreateSoundBuffer(2, 44100, 16);
    if (!device->CreateStream()) {
        FatalError("Failed to create IDirectSoundBuffer object");
    }
    SetStartupEffects();
    SetSampleInUse(LiveVoicesUse);
}

void StartWorker() {
    LiveOutput& o = Out();
    o.Events.fetch_and(~kWakeBit);
    o.Worker.Wake.store(WakeWorker);
    StartThread(o.Worker);
    RaiseThreadPriority(o.Worker);
    o.Worker.Callback.store(FillQuarter);
}

void PlayOutput() {
    Out().Device->Play();
}

void StopWorker() {
    StopThread(Out().Worker);
}

void TearDownOutput() {
    LiveOutput& o = Out();
    StopWorker();
    o.Device->Stop();
    o.Device->Close();
    {
        std::lock_guard lock(MixLock);
        ClearVoices(o.Mixer);
    }
    SetSampleInUse(nullptr);
    ReleaseFinishedSamples();
    FreeSoundBuffer(o.Mixer);
    o.Mixer = nullptr;
    o.Device = nullptr;
    o.Events.store(0);
    o.Pending.store(0);
}

void FillQuarter() {
    LiveOutput& o = Out();
    uint32_t events;
    while ((events = o.Events.load(std::memory_order_acquire)) == 0) {
        o.Events.wait(0, std::memory_order_acquire);
    }
    Idle.store(false);
    {
        std::lock_guard lock(MixLock);
        // Only the wake bit: the wait was ended for the thread's shutdown, nothing to mix.
        if (events & kEventMask) {
            // The lowest event first, as a wait on several events reports it; the device never
            // has two requests out of order.
            int e = std::countr_zero(events & kEventMask);
            o.Events.fetch_and(~(1u << e), std::memory_order_relaxed);
            SoundBuffer* m = o.Mixer;
            m->WritePos = kNotifications[e].WritePos;
            MixBlock(m, o.Ring, kQuarterFrames);
            ++o.Fills;
            if (m->First) {
                o.FillsWithoutVoices = 0;
                o.QuietFills = 0;
            } else {
                ++o.FillsWithoutVoices;
                bool quiet = QuarterIsQuiet(o.Ring + kNotifications[e].WritePos);
                o.QuietFills = quiet ? o.QuietFills + 1 : 0;
            }
            o.Pending.fetch_and(~(1u << QuarterOf(kNotifications[e].WritePos)),
                                std::memory_order_release);
        }
    }
    Idle.store(true);
}

int32_t PullOutput(uint8_t* out, int32_t len) {
    LiveOutput& o = Out();
    int32_t copied = 0;
    while (copied < len) {
        int32_t pos = o.PlayPos;
        int32_t quarter = QuarterOf(pos);
        if (o.Pending.load(std::memory_order_acquire) & (1u << quarter)) {
            break;
        }
        int32_t end = std::min((quarter + 1) * kQuarterBytes, pos + (len - copied));
        std::memcpy(out + copied, o.Ring + pos, static_cast<std::size_t>(end - pos));
        copied += end - pos;
        o.PlayPos = end == kRingBytes ? 0 : end;
        o.Played.fetch_add(end - pos, std::memory_order_release);
        bool raised = false;
        for (int e = 0; e < 4; ++e) {
            int32_t at = kNotifications[e].Position;
            if (at >= pos && at < end) {
                // The quarter is marked before the event, so the device cannot reach it first.
                o.Pending.fetch_or(1u << QuarterOf(kNotifications[e].WritePos),
                                   std::memory_order_relaxed);
                o.Events.fetch_or(1u << e, std::memory_order_release);
                raised = true;
            }
        }
        if (raised) {
            o.Events.notify_one();
        }
    }
    std::memset(out + copied, 0, static_cast<std::size_t>(len - copied));
    return copied;
}

SoundBuffer* LiveMixer() {
    return Out().Mixer;
}

void StopLivePlayback() {
    while (!Idle.load()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    {
        std::lock_guard lock(MixLock);
        LiveOutput& o = Out();
        o.Device->Stop();
        ClearVoices(o.Mixer);
        o.Device->Play();
    }
    ReleaseFinishedSamples();
}

bool ExportWavLive(const TTrack& song, const std::string& path, std::string* error,
                   const ExportProgress& progress) {
    bool ok;
    {
        std::lock_guard lock(MixLock);
        LiveOutput& o = Out();
        o.Device->Stop();
        ok = ExportWav(song, path, error, progress);
        o.Device->Play();
    }
    ReleaseFinishedSamples();
    return ok;
}

int64_t PlayedBytes() {
    return Out().Played.load(std::memory_order_acquire);
}

void WaitUntilPlayedOut(int32_t maxTailSeconds) {
    LiveOutput& o = Out();
    const int64_t maxTailFills = int64_t{maxTailSeconds} * 4;
    int64_t target = -1;
    while (target < 0) {
        {
            std::lock_guard lock(MixLock);
            if (o.QuietFills >= 4 || o.FillsWithoutVoices >= maxTailFills) {
                // Fill k (from 0) is played from stream byte (k + 1) quarters on: quarter 0 is
                // the silence the ring starts with.
                target = (o.Fills + 1) * kQuarterBytes;
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
