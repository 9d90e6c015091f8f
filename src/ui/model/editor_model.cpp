#include "ui/model/editor_model.h"

#include "audio/live_output.h"
#include "script/exec.h"
#include "script/smplescript.h"
#include "song/sequencer.h"
#include "songtext/current_instrument.h"
#include "songtext/song_reader.h"
#include "support/numtext.h"

#include <mutex>
#include <string_view>

namespace kellix {

const char* const DefaultInstrumentCode =
    " GeneratorSampleMode( SM_ADD );\r\n Result:=CreateSample( 10000 , 1 );";

namespace {

bool InRange(int32_t index, int32_t count) {
    return index >= 0 && index < count;
}

const char* StoredCode(int32_t index) {
    return InstrumentCodeAt(InstrumentCode, index);
}

// A code as text: none is empty.
std::string_view TextOf(const char* code) {
    return code ? code : "";
}

} // namespace

EditorModel::EditorModel(EditorView& view, Dialogs& dialogs, ModelFiles files)
    : view_(view), dialogs_(dialogs), recovery_(std::move(files.RecoveryFolder)),
      recent_(std::move(files.RecentFile)) {}

void EditorModel::Create() {
    StartWorker();
    CurrentInstrument = -1;
    ShowNewSong();
    PlayOutput();
}

void EditorModel::ShowNewSong() {
    NewSong(Song, InstrumentCode);
    InstrumentFill();
    PatternFill();
    TracksFill();
    TracksIndexFill();
    FormClick();
    code_ = DefaultInstrumentCode;
    cleanCode_ = code_;
    view_.Refresh(kViewTitle | kViewCode | kViewPattern | kViewTrack);
}

void EditorModel::Destroy() {
    StopWorker();
    ResizeInstrumentCode(InstrumentCode, 0);
    recovery_.Discard();
}

std::string EditorModel::Title() const {
    return fileName_.empty() ? "Kellix" : "Kellix - " + fileName_;
}

TInstrument* EditorModel::ActiveInstrument() const {
    return InRange(activeInstrument_, Song.InstrumentCount) ? &Song.Instrument[activeInstrument_]
                                                            : nullptr;
}

TPattern* EditorModel::ActivePattern() const {
    return InRange(activePattern_, Song.PatternCount) ? &Song.Patterns[activePattern_] : nullptr;
}

TTrackPattern* EditorModel::ActiveTrack() const {
    return InRange(activeTrack_, Song.TrackCount) ? &Song.Tracks[activeTrack_] : nullptr;
}

TEnvelope* EditorModel::AttachedEnv() const {
    return InRange(envInstrument_, Song.InstrumentCount) ? &Song.Instrument[envInstrument_].Env
                                                         : nullptr;
}

bool EditorModel::CodeEditable() const {
    return Song.InstrumentCount > 0;
}

std::string EditorModel::CountText(CountEdit which) const {
    switch (which) {
    case CountEdit::TrackIndex:
        return IntToText(Song.TrackIndexCount);
    case CountEdit::TrackCount:
        return IntToText(Song.TrackCount);
    case CountEdit::SpeedTrack:
        return IntToText(Song.Speed);
    case CountEdit::PatternRow:
        return IntToText(Song.Row);
    case CountEdit::PatternCount:
        return IntToText(Song.PatternCount);
    case CountEdit::InstrumentCount:
        return IntToText(Song.InstrumentCount);
    case CountEdit::SampleTone:
        break;
    }
    const TInstrument* active = ActiveInstrument();
    return active ? IntToText(active->SampleTone) : std::string();
}

// ---- Refresh routines.

void EditorModel::InstrumentFill() {
    const int32_t n = Song.InstrumentCount;
    // Missing samples are generated from the last instrument to the first.
    for (int32_t k = n - 1; k >= 0; --k) {
        if (Song.Instrument[k].Sample) {
            continue;
        }
        activeInstrument_ = k;
        const char* stored = StoredCode(k);
        code_ = stored ? stored : "";
        RunCode(code_);
    }
    instrumentRow_ = n > 0 ? 0 : -1;
    CurrentInstrument = 0;
    activeInstrument_ = n > 0 ? 0 : -1;
    AttachEnv();
    if (const char* first = StoredCode(0)) {
        code_ = first;
    }
    cleanCode_ = code_;
    view_.Refresh(kViewInstruments | kViewCode);
}

void EditorModel::PatternFill() {
    patternItem_ = Song.PatternCount > 0 ? 0 : -1;
    activePattern_ = patternItem_;
    view_.Refresh(kViewPatterns);
}

void EditorModel::TracksFill() {
    trackItem_ = Song.TrackCount > 0 ? 0 : -1;
    activeTrack_ = trackItem_;
    view_.Refresh(kViewTracks | kViewTrack);
}

void EditorModel::TracksIndexFill() {
    playListRow_ = Song.TrackIndexCount > 0 ? 0 : -1;
    view_.Refresh(kViewPlayList);
}

void EditorModel::FormClick() {
    view_.Refresh(kViewCounts);
}

// ---- Count edits.

bool EditorModel::CommitCount(CountEdit which, const std::string& text) {
    TInstrument* active = ActiveInstrument();
    if (which == CountEdit::SampleTone && !active) {
        return false;
    }
    int32_t n = 0;
    bool ok = StrictTextToInt(text, n);
    // Counts are sizes: the song text reader's limits bound them, so that a typed count can
    // never ask for more than a song file could.
    switch (which) {
    case CountEdit::TrackIndex:
        ok = ok && n >= 0 && n <= kMaxSongListEntries;
        break;
    case CountEdit::TrackCount:
    case CountEdit::PatternCount:
    case CountEdit::InstrumentCount:
        ok = ok && n >= 0 && n <= kMaxSongTables;
        break;
    default:
        break;
    }
    if (!ok) {
        view_.Refresh(which == CountEdit::SampleTone ? kViewSampleTone : kViewCounts);
        return false;
    }
    switch (which) {
    case CountEdit::TrackIndex:
        if (n != Song.TrackIndexCount) {
            BeforeChange(ChangeKind::Edit);
            ResizeTracksIndex(Song, n);
            SongChanged(0);
        }
        TracksIndexFill();
        break;
    case CountEdit::TrackCount:
        if (n != Song.TrackCount) {
            BeforeChange(ChangeKind::Edit);
            ResizeTracks(Song, n);
            SongChanged(0);
        }
        TracksFill();
        break;
    case CountEdit::SpeedTrack:
        if (n != Song.Speed) {
            BeforeChange(ChangeKind::Edit);
            Song.Speed = n;
            SongChanged(0);
        }
        view_.Refresh(kViewPattern);
        break;
    case CountEdit::PatternRow:
        if (n != Song.Row) {
            BeforeChange(ChangeKind::Edit);
            Song.Row = n;
            SongChanged(0);
        }
        view_.Refresh(kViewPattern);
        break;
    case CountEdit::PatternCount:
        if (n != Song.PatternCount) {
            BeforeChange(ChangeKind::Edit);
            ResizePatterns(Song, n);
            SongChanged(0);
        }
        PatternFill();
        view_.Refresh(kViewPattern);
        break;
    case CountEdit::InstrumentCount:
        // The code being edited is kept for its instrument: the fill below shows another one.
        // Storing it and the new count are one step.
        if (n != Song.InstrumentCount || (InRange(CurrentInstrument, InstrumentCode.Count) &&
                                          TextOf(StoredCode(CurrentInstrument)) != code_)) {
            BeforeChange(ChangeKind::Edit);
        }
        StoreCodeBox(false);
        if (n != Song.InstrumentCount) {
            ResizeInstrumentCode(InstrumentCode, n);
            ResizeInstruments(Song, n);
            SongChanged(0);
        }
        InstrumentFill();
        view_.Refresh(kViewPattern);
        break;
    case CountEdit::SampleTone:
        if (n != active->SampleTone) {
            BeforeChange(ChangeKind::Edit);
            active->SampleTone = n;
            SongChanged(0);
        }
        break;
    }
    return true;
}

void EditorModel::SetCodeText(std::string text) {
    code_ = std::move(text);
    recoveryDirty_ = true;
}

void EditorModel::SetNoteTexts(std::string volume, std::string panning) {
    volumeText_ = std::move(volume);
    panningText_ = std::move(panning);
}

// ---- Instrument panel.

void EditorModel::RunCode(const std::string& text) {
    TInstrument* active = ActiveInstrument();
    status_ = ExeScript(text.c_str(), active);
    errorPos_ = ErrorCode != kErrSuccess ? ErrorPos : -1;
    if (active) {
        view_.DrawSample(active->Sample);
    }
    view_.Refresh(active ? kViewStatus | kViewSample : uint32_t{kViewStatus});
}

void EditorModel::StoreCodeBox(bool record) {
    if (!InRange(CurrentInstrument, InstrumentCode.Count)) {
        return;
    }
    const bool differs = TextOf(StoredCode(CurrentInstrument)) != code_;
    if (differs && record) {
        BeforeChange(ChangeKind::Edit);
    }
    SetCurrentInstrumentCode(InstrumentCode, code_.c_str());
    cleanCode_ = code_;
    if (differs) {
        SongChanged(0);
    }
}

void EditorModel::AttachEnv() {
    envInstrument_ = activeInstrument_;
    view_.Refresh(kViewEnv);
}

void EditorModel::InstrumentsClick(int32_t row) {
    FormClick();
    activeInstrument_ = -1;
    if (row >= Song.InstrumentCount) {
        // A click below the last instrument: none is active or selected.
        instrumentRow_ = -1;
        return;
    }
    StoreCodeBox();
    CurrentInstrument = row;
    instrumentRow_ = row;
    if (row < 0) {
        view_.Refresh(kViewSampleTone);
        return;
    }
    activeInstrument_ = row;
    const char* stored = StoredCode(row);
    code_ = stored ? stored : DefaultInstrumentCode;
    cleanCode_ = code_;
    view_.Refresh(kViewCode | kViewSampleTone);
    AttachEnv();
    TInstrument& instrument = Song.Instrument[row];
    if (instrument.Sample) {
        view_.DrawSample(instrument.Sample);
        view_.Refresh(kViewSample);
    } else {
        RunCode(code_);
    }
    view_.Refresh(kViewPattern);
}

void EditorModel::GeneratorExe() {
    if (!CodeEditable()) {
        return;
    }
    {
        std::lock_guard lock(MixLock);
        if (SoundBuffer* mixer = LiveMixer()) {
            ClearVoices(mixer);
        }
    }
    RunCode(code_);
    StoreCodeBox();
    view_.Refresh(kViewSample);
}

// ---- Play commands: each is one critical section on the live mixer.

namespace {

// The live mixer's clock, which the sequencer schedules from.
int64_t LiveClock() {
    const SoundBuffer* mixer = LiveMixer();
    return mixer ? mixer->Total : 0;
}

} // namespace

void EditorModel::Play() {
    {
        std::lock_guard lock(MixLock);
        play_ = RecordSongPlay(Song, 0, LiveClock());
        PlaySong(LiveMixer(), Song, 0);
    }
    view_.Refresh(kViewPlaying);
}

void EditorModel::PlayFrom() {
    {
        std::lock_guard lock(MixLock);
        play_ = RecordSongPlay(Song, playListRow_, LiveClock());
        kellix::PlayFrom(LiveMixer(), Song, playListRow_, 0);
    }
    view_.Refresh(kViewPlaying);
}

void EditorModel::PlayTrack() {
    {
        std::lock_guard lock(MixLock);
        play_ = RecordTrackPlay(Song, trackItem_, LiveClock());
        kellix::PlayTrack(LiveMixer(), Song, trackItem_, 0);
    }
    view_.Refresh(kViewPlaying);
}

void EditorModel::PlayPattern() {
    {
        std::lock_guard lock(MixLock);
        play_ = RecordPatternPlay(Song, patternItem_, LiveClock());
        kellix::PlayPattern(LiveMixer(), Song, patternItem_, 0);
    }
    view_.Refresh(kViewPlaying);
}

void EditorModel::Stop() {
    StopLivePlayback();
    play_ = PlayRecord{};
}

PlayPosition EditorModel::PlayPositionNow() const {
    // Fill k of the live mixer is played from stream byte (k + 1) quarters on: the first
    // quarter of the ring is the silence that leads in.
    const int64_t heard = PlayedBytes() / 4 - kQuarterFrames;
    return PositionAt(play_, heard, activePattern_);
}

void EditorModel::BeforeChange(ChangeKind kind, int64_t target) {
    history_.Record(kind, target, Song, InstrumentCode);
}

void EditorModel::SongChanged(uint32_t parts) {
    recoveryDirty_ = true;
    view_.Refresh(parts);
}

} // namespace kellix
