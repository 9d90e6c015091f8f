// The live output's commands: each takes effect kStartMarginFrames after the first frame the
// device has not taken, mixing the quarters already mixed again from there (see live_output.h).
#include "audio/live_output.h"

#include "audio/live_stream.h"
#include "audio/sequencer.h"

#include <algorithm>
#include <cstring>

namespace kellix {

namespace {

// Spare voices kept after "Stop": enough for a few notes without allocating.
constexpr int32_t kVoicesKept = 64;

bool ByOrder(const LiveNote& a, const LiveNote& b) {
    return a.Order < b.Order;
}

} // namespace

// After a re-mix that the device overtook, the next try leaves it twice the margin, so that a
// device that takes its chunks faster than a re-mix is made still gets the change, at worst
// where nothing is mixed yet.
int64_t LiveOutput::EarliestFrame(int32_t tries) const {
    // Frames the device has taken, a frame it has taken in part counted whole.
    const int64_t taken = (claimed_.load(std::memory_order_seq_cst) + 3) / 4;
    const int64_t margin = int64_t{kStartMarginFrames} << std::min(tries, 8);
    // Nothing starts before the last "Stop" took effect (it may have needed a larger margin):
    // no voice then runs across the frame at which the voices before it were cut.
    return std::max<int64_t>(stoppedAt_, taken + margin - kLeadFrames);
}

// The quarters mixed from the one holding frame `from` are mixed again from their saved memory
// and voices: with the added notes (none: every voice silenced from `from` on). The notes come
// after every voice already mixed in the mixer's order, so they are added to the saved voices
// of each quarter. The result goes to the device from `from` on; false when the device has
// taken that frame meanwhile (nothing then changes).
bool LiveOutput::Remix(int64_t from, const std::vector<LiveNote>* added) {
    const int64_t filled = filled_.load(std::memory_order_relaxed);
    const int64_t first = from / kQuarterFrames;
    RestoreMixMemory(*remixer_, saves_[static_cast<std::size_t>(first % 4)]->Memory);
    std::vector<int32_t>& picked = order_;
    for (int64_t q = first; q < filled; ++q) {
        const QuarterSave& old = *saves_[static_cast<std::size_t>(q % 4)];
        QuarterSave& fresh = *spares_[static_cast<std::size_t>(q - first)];
        const int64_t clock = q * kQuarterFrames;
        const int32_t place = QuarterPlace(q);
        remixer_->WritePos = place;
        remixer_->Total = clock;
        remixer_->Effects = old.Memory.Effects;
        if (q > first) {
            SaveMixMemory(*remixer_, fresh.Memory);
        }
        uint8_t* block = remixRing_.data() + place;
        std::memcpy(block, old.Dry.data(), kQuarterBytes);
        if (added) {
            picked.clear();
            for (std::size_t i = 0; i < added->size(); ++i) {
                const LiveNote& n = (*added)[i];
                if (std::max(n.Start, n.Joins) < clock + kQuarterFrames) {
                    picked.push_back(static_cast<int32_t>(i));
                }
            }
            MixNotes(remixer_, remixRing_.data(), clock, *added, picked);
        } else {
            const int64_t silentFrom = std::max(from, clock) - clock;
            std::memset(block + silentFrom * 4, 0,
                        static_cast<std::size_t>(kQuarterBytes - silentFrom * 4));
        }
        std::memcpy(fresh.Dry.data(), block, kQuarterBytes);
        FinishBlock(remixer_, remixRing_.data(), kQuarterFrames);
    }
    if (!Replace(StreamByte(from))) {
        return false;
    }
    for (int64_t q = first; q < filled; ++q) {
        std::unique_ptr<QuarterSave>& live = saves_[static_cast<std::size_t>(q % 4)];
        std::unique_ptr<QuarterSave>& fresh = spares_[static_cast<std::size_t>(q - first)];
        if (q == first) {
            live->Dry.swap(fresh->Dry);
        } else {
            live.swap(fresh);
        }
    }
    std::swap(mixer_, remixer_);
    return true;
}

// Hands the re-mixed stream from fromByte on to the device: the device is told to stop in front
// of fromByte, and if it has not claimed past it already, the bytes are replaced. The claim and
// the fence are both sequentially consistent, so at least one side sees the other's.
bool LiveOutput::Replace(int64_t fromByte) {
    const int64_t ready = ready_.load(std::memory_order_relaxed);
    if (fromByte >= ready) {
        return true;
    }
    fence_.store(fromByte, std::memory_order_seq_cst);
    if (claimed_.load(std::memory_order_seq_cst) > fromByte) {
        fence_.store(kNoFence, std::memory_order_release);
        return false;
    }
    CopyRingPart(ring_, remixRing_.data(), fromByte, ready);
    fence_.store(kNoFence, std::memory_order_release);
    return true;
}

// The notes of a new command, their starts counted from the earliest frame: mixed into what
// is mixed already, and kept for the quarters to come. Returns that frame.
int64_t LiveOutput::AddNow(const std::vector<LiveNote>& notes) {
    const uint64_t command = ++commands_;
    for (int32_t tries = 0;; ++tries) {
        const int64_t from = EarliestFrame(tries);
        added_.assign(notes.begin(), notes.end());
        for (LiveNote& n : added_) {
            n.Order.Command = command;
            n.Start = ClampFrames(__int128{n.Start} + from);
            n.Joins = from;
        }
        if (from >= MixedFrames() || Remix(from, &added_)) {
            KeepNotes(added_);
            return from;
        }
    }
}

int64_t LiveOutput::AddVoices(VoiceBatch& batch) {
    std::vector<LiveNote> notes;
    uint32_t index = 0;
    for (const Voice* v = batch.First(); v; v = v->Next) {
        notes.push_back({{0, 0, 0, index++},
                         -v->Position / 4,
                         0,
                         v->End,
                         v->Sample,
                         v->Step,
                         v->Peak,
                         v->Pan,
                         v->Env});
    }
    std::lock_guard lock(lock_);
    return AddNow(notes);
}

int64_t LiveOutput::Preview(const TTrack& song, const SampleSet& samples, int32_t instrument,
                            int32_t tone, int32_t vol, int32_t pan) {
    const SampleBlock* sample =
        instrument >= 0 && instrument < song.InstrumentCount() ? samples.At(instrument) : nullptr;
    if (!sample) {
        return -1;
    }
    const NoteVoice v = VoiceOfNote(song.Instrument[instrument], tone, vol, pan);
    const Voice figures = MakeVoice(kLiveRate, 0, 0, v.Step, v.Peak, v.Pan, &v.Env, sample);
    const std::vector<LiveNote> notes = {
        {{}, 0, 0, figures.End, sample, v.Step, v.Peak, v.Pan, v.Env}};
    std::lock_guard lock(lock_);
    return AddNow(notes);
}

int64_t LiveOutput::Play(const TTrack& song, const SampleSet& samples, const PlayRequest& request) {
    auto play = std::make_unique<PlaySchedule>(song, samples, request, kLiveRate);
    std::lock_guard lock(lock_);
    const uint64_t command = ++commands_;
    lastPlay_ = command;
    for (int32_t tries = 0;; ++tries) {
        // The next quarter that is not heard yet: songs keep to the quarters the export mixes.
        const int64_t start =
            (EarliestFrame(tries) + kQuarterFrames - 1) / kQuarterFrames * kQuarterFrames;
        play->Begin(start, command);
        added_.clear();
        const int64_t mixed = MixedFrames();
        if (start < mixed) {
            play->NotesBefore(mixed, loop_, added_);
            std::sort(added_.begin(), added_.end(), ByOrder);
            if (!Remix(start, &added_)) {
                continue;
            }
        }
        KeepNotes(added_);
        if (!play->Finished()) {
            plays_.push_back(std::move(play));
        }
        return start;
    }
}

int64_t LiveOutput::Stop() {
    int64_t at = 0;
    {
        std::lock_guard lock(lock_);
        for (int32_t tries = 0;; ++tries) {
            const int64_t mixed = MixedFrames();
            at = std::min(EarliestFrame(tries), mixed);
            if (at == mixed || Remix(at, nullptr)) {
                break;
            }
        }
        stoppedAt_ = at;
        std::vector<LiveNote>().swap(notes_);
        plays_.clear();
        spareVoices_ = kVoicesKept;
        SetSpareVoices(mixer_, spareVoices_);
        SetSpareVoices(remixer_, spareVoices_);
    }
    ReleaseFinishedSamples();
    return at;
}

int64_t LiveOutput::SetLoop(bool loop) {
    std::lock_guard lock(lock_);
    loop_ = loop;
    for (const std::unique_ptr<PlaySchedule>& play : plays_) {
        if (play->Command() == lastPlay_) {
            return play->EndFrame(loop_);
        }
    }
    return -1;
}

} // namespace kellix
