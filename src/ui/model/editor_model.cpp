#include "ui/model/editor_model.h"

#include "audio/sequencer.h"
#include "songtext/song_reader.h"
#include "support/numtext.h"
#include "ui/model/song_labels.h"

#include <algorithm>
#include <string_view>

namespace kellix {

const char* const DefaultInstrumentCode =
    " GeneratorSampleMode( SM_ADD );\r\n Result:=CreateSample( 10000 , 1 );";

namespace {

bool InRange(int32_t index, int32_t count) {
    return index >= 0 && index < count;
}

// Instruments the editor makes sound at once: from first on they get the envelope the mixer
// gives a voice that has none. Instruments read from a file keep what the file says.
void GiveHeldEnvelope(TTrack& song, int32_t first) {
    for (int32_t i = std::max(first, 0); i < song.InstrumentCount(); ++i) {
        song.Instrument.EditAt(i).Env = kHeldEnvelope;
    }
}

} // namespace

EditorModel::EditorModel(EditorView& view, Dialogs& dialogs, LiveOutput& live, Scripting& scripts,
                         ModelFiles files)
    : view_(view), dialogs_(dialogs), live_(live), scripts_(scripts),
      recovery_(std::move(files.RecoveryFolder)), recent_(std::move(files.RecentFile)) {}

void EditorModel::Create() {
    live_.StartWorker();
    live_.SetEffects(EffectsOf(heard_));
    sel_.Instrument = -1;
    ShowNewSong();
    live_.PlayOutput();
}

void EditorModel::ShowNewSong() {
    doc_.Song = NewSong();
    GiveHeldEnvelope(doc_.Song, 0);
    doc_.Samples = SampleSet();
    FitSamples(doc_);
    InstrumentFill();
    PatternFill();
    TracksFill();
    TracksIndexFill();
    PutBackCounts();
    code_ = DefaultInstrumentCode;
    cleanCode_ = code_;
    doc_.MarkSaved();
    FollowEffects();
    view_.Refresh(kViewTitle | kViewCode | kViewPattern | kViewTrack);
}

void EditorModel::Destroy() {
    live_.StopWorker();
    recovery_.Discard();
}

std::string EditorModel::Title() const {
    return doc_.FileName.empty() ? "Kellix" : "Kellix - " + doc_.FileName;
}

const TInstrument* EditorModel::ActiveInstrument() const {
    const int32_t active = sel_.Active();
    return InRange(active, doc_.Song.InstrumentCount()) ? &doc_.Song.Instrument[active] : nullptr;
}

const SampleBlock* EditorModel::ActiveSample() const {
    return doc_.Samples.At(sel_.Active());
}

const TPattern* EditorModel::ActivePattern() const {
    return InRange(sel_.Pattern, doc_.Song.PatternCount()) ? &doc_.Song.Patterns[sel_.Pattern]
                                                           : nullptr;
}

const TTrackPattern* EditorModel::ActiveTrack() const {
    return InRange(sel_.Track, doc_.Song.TrackCount()) ? &doc_.Song.Tracks[sel_.Track] : nullptr;
}

const TEnvelope* EditorModel::EditedEnv() const {
    // The Env window stays with the instrument whose code is shown, also after a click below
    // the last instrument.
    return InRange(sel_.Instrument, doc_.Song.InstrumentCount())
               ? &doc_.Song.Instrument[sel_.Instrument].Env
               : nullptr;
}

bool EditorModel::CodeEditable() const {
    return doc_.Song.InstrumentCount() > 0;
}

std::string EditorModel::CountText(CountEdit which) const {
    const TTrack& song = doc_.Song;
    switch (which) {
    case CountEdit::TrackIndex:
        return IntToText(song.TrackIndexCount());
    case CountEdit::TrackCount:
        return IntToText(song.TrackCount());
    case CountEdit::SpeedTrack:
        return IntToText(song.Speed);
    case CountEdit::PatternRow:
        return IntToText(song.Row);
    case CountEdit::PatternCount:
        return IntToText(song.PatternCount());
    case CountEdit::InstrumentCount:
        return IntToText(song.InstrumentCount());
    case CountEdit::SampleTone:
        break;
    }
    const TInstrument* active = ActiveInstrument();
    return active ? IntToText(active->SampleTone) : std::string();
}

// ---- Refresh routines.

void EditorModel::InstrumentFill() {
    const int32_t n = doc_.Song.InstrumentCount();
    FitSamples(doc_);
    // Missing samples are made from the last instrument to the first, each shown as it is made.
    MakeMissingSamples(scripts_, doc_.Song, doc_.Samples, [this](int32_t k, const ScriptRun& run) {
        code_ = doc_.Song.Instrument[k].Code.Text();
        sel_.Instrument = k;
        sel_.Editing = true;
        ShowRun(run, code_);
    });
    sel_.Instrument = 0;
    sel_.Editing = n > 0;
    sel_.SeenInstruments = n;
    if (InstrumentCodeAt(doc_.Song, 0).Exists()) {
        code_ = InstrumentCodeAt(doc_.Song, 0).Text();
    }
    cleanCode_ = code_;
    view_.Refresh(kViewInstruments | kViewCode | kViewEnv);
}

void EditorModel::PatternFill() {
    sel_.PatternItem = doc_.Song.PatternCount() > 0 ? 0 : -1;
    sel_.Pattern = sel_.PatternItem;
    sel_.Notes.clear();
    view_.Refresh(kViewPatterns | kViewNewPattern);
}

void EditorModel::TracksFill() {
    sel_.TrackItem = doc_.Song.TrackCount() > 0 ? 0 : -1;
    sel_.Track = sel_.TrackItem;
    sel_.SeenTracks = doc_.Song.TrackCount();
    view_.Refresh(kViewTracks | kViewTrack);
}

void EditorModel::TracksIndexFill() {
    sel_.PlayListRow = doc_.Song.TrackIndexCount() > 0 ? 0 : -1;
    sel_.SeenEntries = doc_.Song.TrackIndexCount();
    view_.Refresh(kViewPlayList);
}

void EditorModel::PutBackCounts() {
    view_.Refresh(kViewCounts);
}

// ---- Count edits.

bool EditorModel::CommitCount(CountEdit which, const std::string& text) {
    if (which == CountEdit::SampleTone && !ActiveInstrument()) {
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
    TTrack& song = doc_.Song;
    switch (which) {
    case CountEdit::TrackIndex:
        if (n != song.TrackIndexCount()) {
            BeforeChange(ChangeKind::Edit);
            ResizeTracksIndex(song, n);
            SongChanged(0);
        }
        TracksIndexFill();
        break;
    case CountEdit::TrackCount:
        if (n != song.TrackCount()) {
            BeforeChange(ChangeKind::Edit);
            ResizeTracks(song, n);
            SongChanged(0);
        }
        TracksFill();
        break;
    case CountEdit::SpeedTrack:
    case CountEdit::PatternRow: {
        int32_t& value = which == CountEdit::SpeedTrack ? song.Speed : song.Row;
        if (n != value) {
            BeforeChange(ChangeKind::Edit);
            value = n;
            SongChanged(0);
            if (which == CountEdit::SpeedTrack) {
                status_ = TempoText(n);
                view_.Refresh(kViewStatus);
            }
        }
        view_.Refresh(kViewPattern);
        break;
    }
    case CountEdit::PatternCount:
        if (n != song.PatternCount()) {
            BeforeChange(ChangeKind::Edit);
            ResizePatterns(song, n);
            SongChanged(0);
        }
        PatternFill();
        view_.Refresh(kViewPattern);
        break;
    case CountEdit::InstrumentCount:
        // The code being edited is kept for its instrument: the fill below shows another one.
        // Storing it and the new count are one step.
        if (n != song.InstrumentCount() ||
            (InRange(sel_.Instrument, song.InstrumentCount()) &&
             InstrumentCodeAt(song, sel_.Instrument).Text() != code_)) {
            BeforeChange(ChangeKind::Edit);
        }
        StoreCodeBox(false);
        if (n != song.InstrumentCount()) {
            const int32_t kept = song.InstrumentCount();
            ResizeInstruments(song, n);
            GiveHeldEnvelope(song, kept);
            SongChanged(0);
        }
        InstrumentFill();
        view_.Refresh(kViewPattern);
        break;
    case CountEdit::SampleTone:
        if (n != ActiveInstrument()->SampleTone) {
            BeforeChange(ChangeKind::Edit);
            song.Instrument.EditAt(sel_.Active()).SampleTone = n;
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

void EditorModel::SetNoteTexts(const std::string& volume, const std::string& panning) {
    // Read leniently ("12x" is 12) and kept in the ranges the mixer uses, so that a note sounds
    // and saves as it was heard.
    noteVol_ = std::clamp(TextToInt(volume.c_str()), 0, kMaxNoteVol);
    notePan_ = std::clamp(TextToInt(panning.c_str()), 0, kMaxNotePan);
}

// ---- Instrument panel.

void EditorModel::ShowRun(const ScriptRun& run, const std::string& code) {
    runNotes_ = NotesOfRun(run, code);
    status_ = runNotes_.Status;
    lastRun_ = run;
    lastRun_.Sample = nullptr;
    uint32_t parts = kViewStatus | kViewRun;
    if (sel_.Active() >= 0) {
        view_.DrawSample(ActiveSample());
        parts |= kViewSample;
    }
    view_.Refresh(parts);
}

void EditorModel::RunFor(const std::string& text) {
    const int32_t active = sel_.Active();
    ScriptRun run;
    if (InRange(active, doc_.Samples.Count())) {
        run = scripts_.Run(text, doc_.Samples.At(active));
        doc_.Samples.Set(active, run.Sample);
    } else {
        // Without an edited instrument RESULT keeps what the code made until the next run.
        run = scripts_.RunAlone(text);
    }
    run.Sample = nullptr;
    ShowRun(run, text);
}

void EditorModel::MakeSample(int32_t instrument, const std::string& text) {
    doc_.Samples.Set(instrument, scripts_.Run(text, doc_.Samples.At(instrument)).Sample);
}

void EditorModel::StoreCodeBox(bool record) {
    if (!InRange(sel_.Instrument, doc_.Song.InstrumentCount())) {
        return;
    }
    const CodeText& stored = InstrumentCodeAt(doc_.Song, sel_.Instrument);
    const bool differs = stored.Text() != code_;
    if (differs && record) {
        BeforeChange(ChangeKind::Edit);
    }
    // An instrument without code gets the (empty) text too: it is then shown as it is, not as
    // the default code.
    if (differs || !stored.Exists()) {
        SetInstrumentCode(doc_.Song, sel_.Instrument, code_);
    }
    cleanCode_ = code_;
    if (differs) {
        SongChanged(0);
    }
}

void EditorModel::SelectInstrument(int32_t row) {
    PutBackCounts();
    sel_.Editing = false;
    if (row != sel_.Instrument) {
        // The selection holds the current instrument's notes only.
        sel_.Notes.clear();
    }
    if (row >= doc_.Song.InstrumentCount()) {
        // A click below the last instrument: none is edited or selected.
        return;
    }
    StoreCodeBox();
    sel_.Instrument = row;
    if (row < 0) {
        view_.Refresh(kViewSampleTone);
        return;
    }
    sel_.Editing = true;
    const CodeText& stored = InstrumentCodeAt(doc_.Song, row);
    code_ = stored.Exists() ? stored.Text() : DefaultInstrumentCode;
    cleanCode_ = code_;
    view_.Refresh(kViewCode | kViewSampleTone | kViewEnv);
    if (const SampleBlock* sample = doc_.Samples.At(row)) {
        view_.DrawSample(sample);
        view_.Refresh(kViewSample);
    } else {
        RunFor(code_);
    }
    view_.Refresh(kViewPattern);
}

void EditorModel::RunCode() {
    if (!CodeEditable()) {
        return;
    }
    // Everything that sounds stops, so that no voice still plays the sample about to go.
    live_.Stop();
    RunFor(code_);
    StoreCodeBox();
    view_.Refresh(kViewSample);
}

// ---- Play commands.

void EditorModel::PlayRequested(const PlayRequest& request, PlayRecord record) {
    const int64_t clock = live_.Play(doc_.Song, doc_.Samples, request);
    play_ = std::move(record);
    play_.Start = clock;
    ++keys_.Take;
    const int64_t pass = PassFrames(doc_.Song, request);
    RecordRepeats(play_, pass, loop_ ? kFarFrames : ClampFrames(__int128{clock} + pass));
    view_.Refresh(kViewPlaying);
}

void EditorModel::Play() {
    PlayRequested({PlayRequest::What::Song, 0}, RecordSongPlay(doc_.Song, 0, 0));
}

void EditorModel::PlayFrom() {
    PlayRequested({PlayRequest::What::Song, sel_.PlayListRow},
                  RecordSongPlay(doc_.Song, sel_.PlayListRow, 0));
}

void EditorModel::PlayTrack() {
    PlayRequested({PlayRequest::What::Track, sel_.TrackItem},
                  RecordTrackPlay(doc_.Song, sel_.TrackItem, 0));
}

void EditorModel::PlayPattern() {
    PlayRequested({PlayRequest::What::Pattern, sel_.PatternItem},
                  RecordPatternPlay(doc_.Song, sel_.PatternItem, 0));
}

void EditorModel::Stop() {
    live_.Stop();
    play_ = PlayRecord{};
    ++keys_.Take;
}

PlayPosition EditorModel::PlayPositionNow() const {
    // Fill k of the live mixer is played from stream byte (k + 1) quarters on: the first
    // quarter of the ring is the silence that leads in.
    const int64_t heard = live_.PlayedBytes() / 4 - kQuarterFrames;
    return PositionAt(play_, heard, sel_.Pattern);
}

void EditorModel::BeforeChange(ChangeKind kind, int64_t target) {
    history_.Record(kind, target, doc_.Song);
}

void EditorModel::SongChanged(uint32_t parts) {
    FitSamples(doc_);
    RepairSelection();
    FollowEffects();
    recoveryDirty_ = true;
    view_.Refresh(parts);
}

uint32_t EditorModel::RepairSelection() {
    // Choices that no longer name anything are filled again as after a change of count.
    const uint32_t refill = sel_.Repair(doc_.Song);
    if (refill & Selection::kRefillInstruments) {
        InstrumentFill();
    }
    if (refill & Selection::kRefillPatterns) {
        PatternFill();
    }
    if (refill & Selection::kRefillPlayList) {
        TracksIndexFill();
    }
    if (refill & Selection::kRefillTracks) {
        TracksFill();
    }
    return refill;
}

} // namespace kellix
