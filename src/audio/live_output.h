#pragma once

#include "audio/mixer.h"
#include "audio/wav_export.h"
#include "song/track.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace kellix {

// Live sound: a looping ring of one second that the sound device plays, divided into four
// quarters. The device pulls the ring through PullOutput on its own thread and raises a
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

// What stands in for the platform's looping stream buffer.
struct OutputDevice {
    virtual ~OutputDevice() = default;
    // The sound object on the default device.
    virtual bool Open() = 0;
    // The stream: once playing, the device calls PullOutput for everything it plays.
    virtual bool CreateStream() = 0;
    // Starts or resumes the stream where it stopped.
    virtual void Play() = 0;
    // Returns once no PullOutput is running and none will start until Play.
    virtual void Stop() = 0;
    // Releases the stream and the sound object.
    virtual void Close() = 0;
};

// The one exclusion between the worker and the window's thread: every fill, every change of
// the live mixer's voices (each play command as a whole, preview, clearing) and every export
// run inside it. Recursive, so that a sample released by a caller that already holds it (its
// in-use test takes it too) cannot deadlock. Never wait for the worker while holding it.
extern std::recursive_mutex MixLock;
// False while the worker is in a fill; written only by the worker.
extern std::atomic<bool> Idle;

// Set-up, before the main window exists: the four events, the sound object, the live mixer,
// the stream, the notification positions and the start-up effect values, in this order. A
// failure ends the program through FatalError. Installs the in-use test of ReleaseSample.
void SetUpOutput(OutputDevice* device);
// Starts the worker at the highest priority allowed, with FillQuarter as its routine.
void StartWorker();
// Starts the stream looping; at start-up it begins at position 0 with event 0.
void PlayOutput();
// Ends the worker; a fill in progress finishes first.
void StopWorker();
// Tear-down, once the worker has stopped (it is stopped here otherwise): the stream is stopped
// and closed, the live mixer freed (its voices cleared, so every held-back sample is released)
// and the events closed.
void TearDownOutput();

// The worker's routine: waits for a notification, then mixes one quarter (11025 frames) of the
// live mixer into the ring at the WritePos the notification names.
void FillQuarter();

// The device's side, on the device's thread: copies len bytes of the ring from the play
// position and raises the notifications it passes. It never blocks, locks or allocates. If the
// quarter it reaches has not been written yet, the rest of out is silence and the play
// position waits there, so that nothing is played before it is mixed. Returns the bytes copied
// from the ring.
int32_t PullOutput(uint8_t* out, int32_t len);

// The live mixer; hold MixLock while changing its voices (play commands, PreviewNote,
// ClearVoices).
SoundBuffer* LiveMixer();

// "Stop": waits until no fill is in progress, then, holding MixLock, stops the stream, clears
// the live voices and starts the stream again. The ring and the delay's memory are kept: the
// quarters already mixed play once and the delay tail fades out.
void StopLivePlayback();

// "Save result as..": suspends live output and holds MixLock while the song is rendered with
// ExportWav, then resumes. The live voices and the live clock continue where they stopped.
bool ExportWavLive(const TTrack& song, const std::string& path, std::string* error = nullptr,
                   const ExportProgress& progress = {});

// Bytes of the ring the device has played since set-up (silence while waiting not counted).
int64_t PlayedBytes();
// Waits until the live mixer has no voice left, its output has stayed silent for a second
// (the stereo delay's tail has died away) and all of it has been played. A delay tail that
// does not die away (feedback gains of 1 or more) is cut maxTailSeconds after the last voice.
void WaitUntilPlayedOut(int32_t maxTailSeconds = 30);

} // namespace kellix
