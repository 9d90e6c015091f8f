// The live keys: the computer keyboard, MIDI keyboards and the mouse on the keyboard beside the
// grid play the current instrument, and Record puts what the keys play into the shown pattern.
#include "ui/model/editor_model.h"

#include "ui/model/note_edits.h"

#include <algorithm>
#include <cmath>

namespace kellix {

namespace {

bool OnKeyboard(int32_t tone) {
    return tone >= kLowestTone && tone <= kHighestTone;
}

// A step wrapped into the pattern's rows (a Row below 1 counts as 1).
int32_t Wrapped(int64_t step, int32_t row) {
    const int64_t n = std::max(row, 1);
    return static_cast<int32_t>((step % n + n) % n);
}

} // namespace

void EditorModel::PlayKey(int32_t tone, int32_t velocity) {
    if (!OnKeyboard(tone)) {
        return;
    }
    const int32_t vol =
        (noteVol_ * std::clamp(velocity, 0, kMaxVelocity) + kMaxVelocity / 2) / kMaxVelocity;
    if (ActiveSample()) {
        live_.Preview(doc_.Song, doc_.Samples, sel_.Active(), tone, vol, notePan_);
    }
    HoldKey(tone);
    if (keys_.Recording) {
        RecordNote(tone, vol);
    }
}

void EditorModel::HoldKey(int32_t tone) {
    // One light per tone, so that a key whose release never came cannot pile up.
    if (OnKeyboard(tone) &&
        std::find(keys_.Held.begin(), keys_.Held.end(), tone) == keys_.Held.end()) {
        keys_.Held.push_back(tone);
        view_.Refresh(kViewPattern);
    }
}

void EditorModel::ReleaseKey(int32_t tone) {
    const auto at = std::find(keys_.Held.begin(), keys_.Held.end(), tone);
    if (at != keys_.Held.end()) {
        keys_.Held.erase(at);
        view_.Refresh(kViewPattern);
    }
}

void EditorModel::ReleaseKeys() {
    if (!keys_.Held.empty()) {
        keys_.Held.clear();
        view_.Refresh(kViewPattern);
    }
}

void EditorModel::MidiIn(const MidiMessage& message) {
    const int kind = message.Status & 0xF0;
    const int32_t tone = MidiNoteTone(message.Data1);
    if (kind == 0x90 && message.Data2 > 0) {
        PlayKey(tone, message.Data2);
    } else if (kind == 0x80 || kind == 0x90) {
        ReleaseKey(tone);
    }
}

void EditorModel::SetOctave(int32_t octave) {
    keys_.Octave = std::clamp(octave, kMinOctave, kMaxOctave);
    view_.Refresh(kViewLiveInput);
}

void EditorModel::SetRecording(bool on) {
    if (on != keys_.Recording) {
        keys_.Recording = on;
        ++keys_.Take;
        if (on) {
            keys_.StepCursor = 0;
        }
    }
    view_.Refresh(kViewLiveInput);
}

void EditorModel::RecordNote(int32_t tone, int32_t vol) {
    const TPattern* pattern = ActivePattern();
    const int32_t instrument = sel_.Instrument;
    if (!pattern || instrument < 0 || instrument >= doc_.Song.InstrumentCount() ||
        !OnKeyboard(tone)) {
        return;
    }
    const int32_t row = doc_.Song.Row;
    const PlayPosition at = PlayPositionNow();
    int32_t time = 0;
    if (at.Playing) {
        time = Wrapped(std::llround(at.HeardStep), row);
    } else if (!at.Waiting) {
        // Step entry; a play command about to be heard takes notes at its first step.
        time = Wrapped(keys_.StepCursor, row);
        keys_.StepCursor = Wrapped(int64_t{time} + 1, row);
    }
    if (FindPoint(*pattern, time, tone, instrument) < 0) {
        BeforeChange(ChangeKind::RecordTake, keys_.Take);
        AppendPoint(doc_.Song.Patterns.EditAt(sel_.Pattern),
                    TIdPoint{time, tone, instrument, std::clamp(vol, 0, kMaxNoteVol), notePan_});
        SongChanged(0);
    }
    view_.Refresh(kViewPattern | kViewLiveInput);
}

std::string EditorModel::LiveInputText() const {
    std::string text = "Octave " + std::to_string(keys_.Octave);
    if (keys_.Recording) {
        text += ", Record, step " + std::to_string(keys_.StepCursor);
    }
    return text;
}

} // namespace kellix
