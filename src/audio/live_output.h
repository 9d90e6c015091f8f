#pragma once

#include "audio/mini_thread.h"
#include "audio/mix_memory.h"
#include "audio/mixer.h"
#include "audio/play_schedule.h"
#include "audio/wav_export.h"
#include "song/sample.h"
#include "song/track.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace kellix {

// Live sound: a looping ring of one second that the sound device plays, divided into four
// quarters. The device pulls the ring through LiveOutput::Pull on its own thread; the worker
// thread, blocked in FillQuarter, mixes the live mixer a quarter at a time (11025 frames, the
// blocks of the WAV export) as the device asks, keeping a little ahead of it. The first quarter
// of the stream is silence; the live clock's frame 0 is heard right after it.
constexpr int32_t kLiveRate = 44100;
constexpr int32_t kRingBytes = 176400;
constexpr int32_t kQuarterBytes = kRingBytes / 4;
constexpr int32_t kQuarterFrames = kQuarterBytes / 4;
constexpr int32_t kLeadFrames = kQuarterFrames;
// A command takes effect this many frames after the first frame not yet handed to the device:
// time to mix it in before the device gets there.
constexpr int32_t kStartMarginFrames = 256;
// Beyond the end of each pull the device asks for this much more than one pull to be mixed.
constexpr int32_t kAheadFrames = kQuarterFrames / 2;

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

// The live output: the live mixer, the worker that fills the ring, the play commands walked a
// little ahead of the mixer, and the one lock between the worker and the window's thread. Every
// command locks inside, so that no caller can forget to; nothing outside reaches the mixer or the
// lock. Commands run on the window's thread.
//
// The stream the device plays is what a mixer would make, mixing 11025-frame quarters one after
// another from clock 0, had every voice been in its list from the start at the frame the command
// gave it (and every voice cut at the frame of the "Stop" that ended it). A command takes effect
// kStartMarginFrames after the first frame the device has not taken yet: the quarters already
// mixed from there on are mixed again with the new voices and the bytes the device has not taken
// are replaced. For that the output keeps, for each quarter not yet played through, the mixer's
// memory at its start (MixMemory) and the quarter's voices before the effects: new voices are
// added to those (the last in the mixer's order, as their command is the newest), the effects
// run again from the memory, and a "Stop" empties them from its frame on.
class LiveOutput {
  public:
    // Set-up, before the main window exists: the sound object, the live mixer, the stream and
    // the start-up effect values, in this order. A failure ends the program through
    // FatalError. Installs the in-use test of ReleaseSample.
    explicit LiveOutput(OutputDevice& device);
    // Tear-down: the worker is stopped, the stream stopped and closed, the live voices and play
    // commands dropped (so every held-back sample is released) and the live mixer freed.
    ~LiveOutput();
    LiveOutput(const LiveOutput&) = delete;
    LiveOutput& operator=(const LiveOutput&) = delete;

    // Starts the worker at the highest priority allowed.
    void StartWorker();
    // Starts the stream; at start-up it begins with the quarter of silence.
    void PlayOutput();
    // Ends the worker; a fill in progress finishes first.
    void StopWorker();

    // Plays what the request names from the next quarter not yet heard, repeating it while the
    // repeat is on (SetLoop). Its notes become voices a little ahead of the mixer, in the order
    // the sequencer gives them. Returns the live clock's frame at which it starts.
    int64_t Play(const TTrack& song, const SampleSet& samples, const PlayRequest& request);
    // Hands voices prepared away from the lock over to the live output; their starts count from
    // the frame a preview would start at, which is returned.
    int64_t AddVoices(VoiceBatch& batch);
    // One voice of the instrument (a note being placed or auditioned), as soon as can be.
    // Returns the frame of the live clock at which it starts, or -1 when the instrument has no
    // sample.
    int64_t Preview(const TTrack& song, const SampleSet& samples, int32_t instrument, int32_t tone,
                    int32_t vol, int32_t pan);
    // "Stop": every voice falls silent as soon as can be and the play commands end; the stereo
    // delay's and the reverb's memories are kept, so their tails fade out. Returns the frame of
    // the live clock from which the voices are silent.
    int64_t Stop();
    // Play commands repeat while on (Controll > "Loop"): a pass is followed by the next when the
    // next one is due and the repeat is on then. Returns the frame at which the last play
    // command's passes end (kFarFrames while it may go on repeating), or -1 when none plays.
    int64_t SetLoop(bool loop);
    // "Save result as..": pauses the stream while the song is rendered on a mixer of its own
    // (ExportWav), then resumes it. The live lock is not held meanwhile: the live voices and
    // clock continue where they stopped.
    bool Export(const TTrack& song, const SampleSet& samples, const MasterEffects& effects,
                const std::string& path, std::string* error = nullptr,
                const ExportProgress& progress = {}, int64_t tailFrames = 0);

    // The effects the live mixer applies from the next quarter it mixes.
    void SetEffects(const MasterEffects& effects);
    MasterEffects Effects() const;

    // The live mixer's clock: frames mixed since set-up.
    int64_t MixedFrames() const;
    // Bytes of the stream handed to the device since set-up (silence while waiting not counted).
    int64_t PlayedBytes() const { return played_.load(std::memory_order_acquire); }
    // The voices that sound or will sound (of play commands, those already scheduled), in the
    // mixer's order, as voices of the live mixer at its clock (their links mean nothing).
    std::vector<Voice> Voices() const;
    // Whether a voice, or a play command that may still start one, plays the block.
    bool UsesSample(const SampleBlock* block) const;
    // Waits until nothing is left to play, the output has stayed silent for a second (the
    // stereo delay's tail has died away) and all of it has been played. A delay tail that does
    // not die away (feedback gains of 1 or more) is cut maxTailSeconds after the last voice.
    void WaitUntilPlayedOut(int32_t maxTailSeconds = 30);

    // The device's side, on the device's thread: copies len bytes of the stream and asks the
    // worker for what it needs next. It never blocks, locks or allocates. Where the stream is
    // not mixed yet, or is being replaced at that moment, the rest of out is silence and the
    // play position waits there, so that nothing is played before it is final. Returns the bytes
    // copied from the ring.
    int32_t Pull(uint8_t* out, int32_t len);

    // The worker's routine: waits until the device asks for a quarter, then schedules the play
    // commands' notes that start in it and mixes it (11025 frames) into the ring. Without the
    // worker a caller may serve the requests itself: PendingFills tells how many are waiting.
    void FillQuarter();
    int64_t PendingFills() const;

  private:
    // A quarter not yet played through: the mixer's memory at its start and its voices before
    // the effects.
    struct QuarterSave {
        MixMemory Memory{kRingBytes};
        std::vector<uint8_t> Dry = std::vector<uint8_t>(kQuarterBytes);
    };
    void WakeWorker();
    void Ask(int64_t end, int32_t len);
    void MixNextQuarter();
    void ScheduleBefore(int64_t frontier);
    void KeepNotes(std::vector<LiveNote>& added);
    void MixNotes(SoundBuffer* mixer, uint8_t* ring, int64_t clock,
                  const std::vector<LiveNote>& notes, const std::vector<int32_t>& which);
    int64_t EarliestFrame(int32_t tries) const;
    bool Remix(int64_t from, const std::vector<LiveNote>* added);
    bool Replace(int64_t fromByte);
    int64_t AddNow(const std::vector<LiveNote>& notes);

    OutputDevice& device_;
    // The live mixer at the end of what is mixed, and a second one that a re-mix works on and
    // that becomes the live mixer when the re-mix is handed to the device.
    SoundBuffer* mixer_ = nullptr;
    SoundBuffer* remixer_ = nullptr;
    MiniThread worker_;
    // Held for every fill, re-mix and change of the notes. Never wait for the worker while
    // holding it.
    mutable std::mutex lock_;
    // Raised (and notified) when the device asks for more or the worker is to end its wait.
    std::atomic<uint32_t> signal_{0};
    std::atomic<bool> wake_{false};
    // Quarters the device has asked for, and quarters mixed (the live clock / 11025).
    std::atomic<int64_t> asked_{0};
    std::atomic<int64_t> filled_{0};
    // Stream bytes: the ring holds the stream up to ready_; the device has taken, or is taking,
    // up to claimed_; a re-mix is writing the ring from fence_ on (none: kNoFence).
    std::atomic<int64_t> ready_{kQuarterBytes};
    std::atomic<int64_t> claimed_{0};
    std::atomic<int64_t> fence_;
    std::atomic<int64_t> played_{0};
    int64_t pullPos_ = 0; // the device's position in the stream, device thread only

    // Under the lock.
    MasterEffects effects_;
    bool loop_ = false;
    uint64_t commands_ = 0;
    std::vector<LiveNote> notes_; // scheduled, in no order; dropped once the mixer is past them
    std::vector<int32_t> order_;  // the notes of one block in the mixer's order
    std::vector<LiveNote> added_; // notes of the command being given
    uint64_t lastPlay_ = 0;       // the command of the last play
    int64_t stoppedAt_ = 0;       // the frame from which the last "Stop" silenced the voices
    std::vector<std::unique_ptr<PlaySchedule>> plays_;
    int32_t spareVoices_ = 0;
    // Per quarter not yet played through (mixer quarter q in place q mod 4): the mixer's memory
    // at its start and its voices before the effects; and as many spares for a re-mix.
    std::vector<std::unique_ptr<QuarterSave>> saves_;
    std::vector<std::unique_ptr<QuarterSave>> spares_;
    std::vector<uint8_t> mixRing_;   // the mixer's ring, copied to ring_ as quarters are done
    std::vector<uint8_t> remixRing_; // the ring of a re-mix
    // Fills done, consecutive fills with nothing to play, and of those the ones whose output
    // stayed within one step of silence.
    int64_t fills_ = 0;
    int64_t fillsWithoutVoices_ = 0;
    int64_t quietFills_ = 0;
    alignas(16) uint8_t ring_[kRingBytes];
};

} // namespace kellix
