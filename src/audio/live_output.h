#pragma once

#include "audio/mini_thread.h"
#include "audio/mixer.h"
#include "audio/wav_export.h"
#include "song/sample.h"
#include "song/track.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace kellix {

// Live sound: a looping ring of one second that the sound device plays, divided into four
// quarters. The device pulls the ring through LiveOutput::Pull on its own thread and raises a
// notification as its play position reaches each position of the table below; the worker
// thread, blocked in FillQuarter, then mixes the live mixer into the quarter the table names.
constexpr int32_t kRingBytes = 176400;
constexpr int32_t kQuarterBytes = kRingBytes / 4;
constexpr int32_t kQuarterFrames = kQuarterBytes / 4;

struct Notification {
    int32_t Position; // play position in bytes that raises the event
    int32_t WritePos; // the live mixer's WritePos for the quarter it fills
};
inline constexpr Notification kNotifications[4] = {
    {0, kRingBytes / 4},
    {kRingBytes / 4 - 1, kRingBytes / 2},
    {kRingBytes / 2 - 1, kRingBytes / 4 + kRingBytes / 2},
    {kRingBytes / 4 + kRingBytes / 2 - 1, 0},
};

class LiveOutput;

// What stands in for the platform's looping stream buffer.
struct OutputDevice {
    virtual ~OutputDevice() = default;
    // The sound object on the default device.
    virtual bool Open() = 0;
    // The stream: once playing, the device calls output.Pull for everything it plays.
    virtual bool CreateStream(LiveOutput& output) = 0;
    // Starts or resumes the stream where it stopped.
    virtual void Play() = 0;
    // Returns once no Pull is running and none will start until Play.
    virtual void Stop() = 0;
    // Releases the stream and the sound object.
    virtual void Close() = 0;
};

// What a play command plays: the song from a play-list entry, a track or a pattern.
struct PlayRequest {
    enum class What { Song, Track, Pattern };
    What Kind = What::Song;
    int32_t Index = 0; // the first play-list entry, the track or the pattern
};

// The live output: the live mixer, the worker that fills the ring, and the one lock between the
// worker and the window's thread. Every command locks inside, so that no caller can forget to;
// nothing outside reaches the mixer or the lock. Commands run on the window's thread.
class LiveOutput {
  public:
    // Set-up, before the main window exists: the sound object, the live mixer, the stream and
    // the start-up effect values, in this order. A failure ends the program through
    // FatalError. Installs the in-use test of ReleaseSample.
    explicit LiveOutput(OutputDevice& device);
    // Tear-down: the worker is stopped, the stream stopped and closed, the live voices cleared
    // (so every held-back sample is released) and the live mixer freed.
    ~LiveOutput();
    LiveOutput(const LiveOutput&) = delete;
    LiveOutput& operator=(const LiveOutput&) = delete;

    // Starts the worker at the highest priority allowed.
    void StartWorker();
    // Starts the stream looping; at start-up it begins at position 0 with event 0.
    void PlayOutput();
    // Ends the worker; a fill in progress finishes first.
    void StopWorker();

    // Schedules what the request names on the live mixer, base offset 0; the voices are made
    // before the lock is taken and handed over in one step. Returns the live clock at the
    // hand-over, from which the voices' starts count.
    int64_t Play(const TTrack& song, const SampleSet& samples, const PlayRequest& request);
    // Hands voices prepared away from the lock over to the live mixer in one step.
    void AddVoices(VoiceBatch& batch);
    // One voice of the instrument at the live clock (a note being placed or auditioned).
    void Preview(const TTrack& song, const SampleSet& samples, int32_t instrument, int32_t tone,
                 int32_t vol, int32_t pan);
    // "Stop": waits until no fill is in progress, then stops the stream, clears the live voices
    // and starts the stream again. The ring and the delay's memory are kept: the quarters
    // already mixed play once and the delay tail fades out.
    void Stop();
    // Stops every live voice at once (before an instrument's sample is made again).
    void ClearVoices();
    // "Save result as..": pauses the stream while the song is rendered on a mixer of its own
    // (ExportWav), then resumes it. The live lock is not held meanwhile: the live voices and
    // clock continue where they stopped.
    bool Export(const TTrack& song, const SampleSet& samples, const MasterEffects& effects,
                const std::string& path, std::string* error = nullptr,
                const ExportProgress& progress = {}, int64_t tailFrames = 0);

    // The effects the live mixer applies from its next block.
    void SetEffects(const MasterEffects& effects);
    MasterEffects Effects() const;

    // The live mixer's clock: frames mixed since set-up.
    int64_t MixedFrames() const;
    // Bytes of the ring the device has played since set-up (silence while waiting not counted).
    int64_t PlayedBytes() const { return played_.load(std::memory_order_acquire); }
    // The live voices as they are now (a copy; their links mean nothing).
    std::vector<Voice> Voices() const;
    // Whether a live voice plays the block.
    bool UsesSample(const SampleBlock* block) const;
    // Waits until the live mixer has no voice left, its output has stayed silent for a second
    // (the stereo delay's tail has died away) and all of it has been played. A delay tail that
    // does not die away (feedback gains of 1 or more) is cut maxTailSeconds after the last voice.
    void WaitUntilPlayedOut(int32_t maxTailSeconds = 30);

    // The device's side, on the device's thread: copies len bytes of the ring from the play
    // position and raises the notifications it passes. It never blocks, locks or allocates. If
    // the quarter it reaches has not been written yet, the rest of out is silence and the play
    // position waits there, so that nothing is played before it is mixed. Returns the bytes
    // copied from the ring.
    int32_t Pull(uint8_t* out, int32_t len);

    // The worker's routine: waits for a notification, then mixes one quarter (11025 frames) of
    // the live mixer into the ring at the WritePos the notification names. Without the worker
    // a caller may serve the notifications itself.
    void FillQuarter();
    // False while a fill is in progress.
    bool Idle() const { return idle_.load(); }

  private:
    void WakeWorker();
    bool QuarterIsQuiet(const uint8_t* quarter) const;

    OutputDevice& device_;
    SoundBuffer* mixer_ = nullptr;
    MiniThread worker_;
    // Held for every fill and every change of the live mixer. Never wait for the worker while
    // holding it.
    mutable std::mutex lock_;
    // False while the worker is in a fill; written only by the worker.
    std::atomic<bool> idle_{true};
    // The four manual-reset notification events (bits 0..3) and the wake bit.
    std::atomic<uint32_t> events_{0};
    // Bit q: quarter q was requested from the worker and is not written yet. The device sets it
    // before raising the event and stops in front of the quarter while it is set; the worker
    // clears it (release) once the quarter is written.
    std::atomic<uint32_t> pending_{0};
    std::atomic<int64_t> played_{0};
    int32_t playPos_ = 0; // the device's play position in the ring, device thread only
    // Under the lock: fills done, consecutive fills without voices, and of those the ones whose
    // output stayed within one step of silence.
    int64_t fills_ = 0;
    int64_t fillsWithoutVoices_ = 0;
    int64_t quietFills_ = 0;
    alignas(16) uint8_t ring_[kRingBytes];
};

} // namespace kellix
