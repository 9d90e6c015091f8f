#pragma once

#include "audio/effects.h"
#include "audio/live_output.h"
#include "script/scripting.h"
#include "song/document.h"
#include "songtext/song_reader.h"
#include "ui/model/dialogs.h"
#include "ui/model/live_input.h"
#include "ui/model/play_position.h"
#include "ui/model/recent_songs.h"
#include "ui/model/recovery.h"
#include "ui/model/run_notes.h"
#include "ui/model/selection.h"
#include "ui/model/song_history.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kellix {

// The default code of an instrument that has none: two statements, CR LF between them.
extern const char* const DefaultInstrumentCode;

// The largest note volume (its peak Vol x 127 fits 16 bits) and pan a placed note gets.
constexpr int32_t kMaxNoteVol = 258;
constexpr int32_t kMaxNotePan = 255;

// Which editor the Edit menu acts on.
enum class EditFocus { Code, Pattern, Track };

// The number edits committed with Enter.
enum class CountEdit {
    TrackIndex,
    TrackCount,
    SpeedTrack,
    PatternRow,
    PatternCount,
    InstrumentCount,
    SampleTone,
};

// Parts of the window a command changed, for the widgets to show again. Widgets set their
// contents without raising their own change events.
enum ViewPart : uint32_t {
    kViewTitle = 1u << 0,       // the caption: file name and changed mark
    kViewStatus = 1u << 1,      // status bar panel 0
    kViewInstruments = 1u << 2, // the Instruments list: items and selected row
    kViewPatterns = 1u << 3,    // the Pattern combo box: items and item index
    kViewTracks = 1u << 4,      // the Track combo box: items and item index
    kViewPlayList = 1u << 5,    // the play list: items and selected row
    kViewCounts = 1u << 6,      // the six count edits hold the song's values again
    kViewSampleTone = 1u << 7,  // the SampleTone edit holds the active instrument's value
    kViewCode = 1u << 8,        // the code box holds Code()
    kViewPattern = 1u << 9,     // the pattern editor is drawn again
    kViewTrack = 1u << 10,      // the track editor is drawn again
    kViewEnv = 1u << 11,        // the Env window shows EditedEnv() (SetEnv)
    kViewSample = 1u << 12,     // the sample picture is shown again
    kViewPlaying = 1u << 13,    // a play command was given: the window follows the position
    kViewRecent = 1u << 14,     // the list of recent songs changed
    kViewEffects = 1u << 15,    // the Stereo Delay and Reverb windows show the song's effects
    kViewRun = 1u << 16,        // the code box's marks and the warning strip show LastRunNotes()
    kViewLiveInput = 1u << 17,  // the octave, the Record mark and the step cursor
    kViewNewPattern = 1u << 18, // another pattern is shown: the editor scrolls to its notes
};

// What the window does for the model.
class EditorView {
  public:
    virtual ~EditorView() = default;
    // Draws the sample into the sample picture now. The picture keeps what earlier drawings
    // left where this one paints nothing; with no sample only its width follows the widget.
    virtual void DrawSample(const SampleBlock* sample) = 0;
    virtual void Refresh(uint32_t parts) = 0;
};

// Where the model keeps what lasts beyond the song file.
struct ModelFiles {
    std::string RecoveryFolder = RecoveryStore::DefaultFolder();
    std::string RecentFile = RecentSongs::DefaultFile();
};

// The editing state of the window and every command on the song. It has no widgets: the
// window forwards its events here and shows what Refresh names; a mouse, a key, a MIDI
// keyboard or a paste all end in the same commands. All of it runs on the window's thread.
// The model owns the document and the selection; it plays through the live output and runs
// code through the scripting it is given.
class EditorModel {
  public:
    EditorModel(EditorView& view, Dialogs& dialogs, LiveOutput& live, Scripting& scripts,
                ModelFiles files = {});
    EditorModel(const EditorModel&) = delete;
    EditorModel& operator=(const EditorModel&) = delete;

    // ---- Lifecycle. Starts the worker, builds the default song, fills the lists, shows the
    // default code and starts the output playing.
    void Create();
    // Stops the worker; as a clean exit, removes the recovery file.
    void Destroy();

    // ---- State the widgets show.
    const Document& Doc() const { return doc_; }
    const TTrack& Song() const { return doc_.Song; }
    const Selection& Selected() const { return sel_; }
    const std::string& Code() const { return code_; }
    const std::string& Status() const { return status_; }
    // The last run of the code: its error (position in Code(), -1 for none) and warnings.
    const ScriptRun& LastRun() const { return lastRun_; }
    // The same as the window tells it: status, error line, warnings with their lines.
    const RunNotes& LastRunNotes() const { return runNotes_; }
    const std::string& FileName() const { return doc_.FileName; }
    std::string Title() const;
    EditFocus Focus() const { return focus_; }
    // The song differs from its state at the last New, Open or Save (undoing back to it clears
    // the mark), or the code box holds text it was not given by the model.
    bool Changed() const { return doc_.Changed() || code_ != cleanCode_; }
    // The row of the instrument list shown selected, -1 for none.
    int32_t InstrumentRow() const { return sel_.Active(); }
    // The instrument being edited and its sample: null for none.
    const TInstrument* ActiveInstrument() const;
    const SampleBlock* ActiveSample() const;
    // The shown pattern and track, null for none.
    const TPattern* ActivePattern() const;
    const TTrackPattern* ActiveTrack() const;
    // The envelope the Env window edits, null when detached.
    const TEnvelope* EditedEnv() const;
    // Whether there is an instrument whose code the code box and F9 work on.
    bool CodeEditable() const;
    // The decimal text of the song value behind a count edit ("" for SampleTone without an
    // active instrument).
    std::string CountText(CountEdit which) const;
    // The effects the live output applies and a render uses: the song's.
    MasterEffects Effects() const;

    // ---- Edits.
    // Puts the song's values back into the six count edits, discarding uncommitted text: every
    // click and command does this first.
    void PutBackCounts();
    // Enter in a count edit. An invalid text, a negative count or one above the song text
    // reader's limits changes nothing and puts the song's value back. Returns whether the song
    // took the value.
    bool CommitCount(CountEdit which, const std::string& text);
    // The code box's text after the user changed it.
    void SetCodeText(std::string text);
    // The texts of the Volume and Panning edits, whose values placed and played notes get.
    void SetNoteTexts(const std::string& volume, const std::string& panning);
    void SetEditFocus(EditFocus focus) { focus_ = focus; }
    // Empties the pattern picked in the Pattern box, or the shown track's pattern list.
    void ClearPattern();
    void ClearTrack();

    // ---- Instrument panel.
    // Makes the instrument of the row the edited one (a row past the last: none).
    void SelectInstrument(int32_t row);
    // F9: stops every voice, runs the code box for the edited instrument and stores it.
    void RunCode();

    // ---- Pattern editor.
    // Shows the pattern of the Pattern box's item (-1: a typed text naming none).
    void ShowPattern(int32_t item);
    // A new gesture in the pattern editor: what it removes is one undo step.
    void BeginPatternGesture();
    // Auditions the tone with the current instrument unless it has a note at that cell, and
    // places one there when the time is a step of the pattern (not the keyboard's).
    void PlaceNote(int32_t time, int32_t tone);
    // Removes the current instrument's note at the cell.
    void RemoveNote(int32_t time, int32_t tone);

    // ---- The selected notes of the shown pattern: the current instrument's (note_edits.cpp).
    // The selection becomes the given notes of the current instrument.
    void SelectNotes(std::vector<int32_t> notes);
    void ToggleNoteSelected(int32_t note);
    // All of the current instrument's notes in the shown pattern; none.
    void SelectAllNotes();
    void ClearNoteSelection();
    // Edits of the selection, each one undo step; the edited notes stay selected. A move that
    // would take a note off the grid is refused as a whole (the status bar says why).
    bool SelectionMoveFits(int32_t dTime, int32_t dTone) const;
    bool MoveSelection(int32_t dTime, int32_t dTone);
    void DeleteSelection();
    // The Volume and Panning values (clamped as for a placed note) into every selected note.
    void SetSelectionVolPan();
    // The selected notes as clipboard text (clipboard_text.h); empty for none. Cut removes them.
    std::string SelectionText() const;
    std::string CutSelection();
    // Adds the notes of a clipboard text to the shown pattern as the current instrument's, the
    // earliest at the given step (0 for a negative one), and selects them. Refused when a note
    // would leave the grid or the text holds none.
    bool PasteNotes(std::string_view text, int32_t time);
    // Appends a copy of the shown pattern (every instrument's notes) and shows it.
    void DuplicatePattern();
    // The shown track's pattern list as clipboard text, and a pasted one in its place.
    std::string TrackText() const;
    bool PasteTrack(std::string_view text);

    // ---- Track editor and play list.
    // Adds pattern n to the shown track, or takes it out when it is there.
    void TogglePatternInTrack(int32_t n);
    // The Track box's item (-1 when the typed text names no item) for the selected play-list
    // row.
    void SetPlayListTrack(int32_t item);
    void SelectPlayListRow(int32_t row);

    // ---- The tool windows.
    // An envelope box of the edited instrument (0 Attack, 1 Cont, 2 Ende).
    void SetEnvelope(int field, int32_t value);
    void SetStereoDelay(int32_t decayL, int32_t decayR, int32_t delayL, int32_t delayR);
    void SetReverb(int32_t amplitude, int32_t step, int32_t band);
    // The Reverb window's "On" box: one step of its own.
    void SetReverbOn(bool on);

    // ---- Undo and redo of the song's changes. The code box keeps its own typing history.
    bool CanUndo() const { return history_.CanUndo(); }
    bool CanRedo() const { return history_.CanRedo(); }
    void Undo();
    void Redo();

    // ---- Play commands on the live output.
    void Play();
    void PlayFrom();
    void PlayTrack();
    void PlayPattern();
    void Stop();
    // Controll > "Loop": play commands repeat what they play until "Stop"; turned off, the pass
    // being played is the last.
    void SetLoop(bool on);
    bool Loop() const { return loop_; }
    // Where the sound being heard is in what the last play command scheduled: the live
    // output's played bytes less the quarter that leads into the first mix.
    PlayPosition PlayPositionNow() const;

    // ---- Recovery of unsaved work. Called every thirty seconds: while the song or the code box
    // has unsaved changes made since the last write, the song (with the code box's text for
    // the current instrument) goes to this run's recovery file; without unsaved changes the
    // file is removed.
    void WriteRecovery();
    // At start: when a run that ended without a clean exit left a recovery file, asks whether
    // to restore it. A restored song keeps the file it belonged to and counts as changed.
    bool OfferRecovery();
    // This run's recovery file while one is written.
    std::optional<std::string> RecoveryFile() const;

    // ---- Recent songs, newest first; opened as Open does, after the question.
    const std::vector<std::string>& RecentPaths() const { return recent_.Paths(); }
    bool OpenRecent(std::size_t index);

    // ---- Document commands. Each returns whether it was carried out (false when cancelled
    // or failed).
    bool New();
    bool Open();
    // Open of a known path (command line, recent songs, a dropped file), after the question.
    bool OpenPath(const std::string& path);
    bool Save();
    bool SaveAs();
    bool OpenInstrument();
    bool SaveInstrumentAs();
    bool SaveResultAs();
    // Exit or the window's close box: asks to save unsaved changes; false to stay open.
    bool ConfirmClose();

    // ---- Playing live (live_input.cpp): the computer keyboard, MIDI keyboards and the mouse on
    // the keyboard beside the grid end here.
    // A key pressed at the tone: the current instrument plays it once with the Volume box's
    // value scaled by velocity / 127 and the Pan box's value, and while recording the note goes
    // into the shown pattern. The key is lit until released. Tones the keyboard beside the grid
    // does not show are ignored.
    void PlayKey(int32_t tone, int32_t velocity = kMaxVelocity);
    // A key held without sounding through here (the mouse on the keyboard) is lit too.
    void HoldKey(int32_t tone);
    // The key lets go: its light goes out; the note, a one-shot, sounds on.
    void ReleaseKey(int32_t tone);
    void ReleaseKeys();
    const std::vector<int32_t>& HeldKeys() const { return keys_.Held; }
    // Note-on plays the tone whose row the grid's keyboard names as MIDI names the note, with
    // its velocity; note-off only releases the key; every other message is ignored.
    void MidiIn(const MidiMessage& message);
    // The computer keyboard's octave (its lower row starts at the C labelled with it).
    int32_t Octave() const { return keys_.Octave; }
    void SetOctave(int32_t octave);
    // Record: while something plays, each key played goes in at the step heard; otherwise at
    // the step cursor, which then moves on by one step. Switching it on puts the cursor at step
    // 0; switching it, a play command and Stop end the take (one undo step).
    bool Recording() const { return keys_.Recording; }
    void SetRecording(bool on);
    int32_t StepCursor() const { return keys_.StepCursor; }
    // Puts a note of the current instrument at the tone into the shown pattern where Record
    // says, unless the instrument has a note in that cell.
    void RecordNote(int32_t tone, int32_t vol);
    // The status bar's text for the keys: "Octave 4", "Octave 4, Record, step 3".
    std::string LiveInputText() const;

  private:
    // The refresh routines of the lists: each fills its list again and picks the first item.
    void InstrumentFill();
    void PatternFill();
    void TracksFill();
    void TracksIndexFill();

    bool AskToSave();
    // Before the song's own file is written over: asks when the file holds text that Open did
    // not read or was changed on disk since it was opened or saved.
    bool MayOverwriteSongFile();
    bool RestoreLeftOver(const std::string& path);
    std::optional<std::string> AskOpen();
    std::optional<std::string> AskSave();
    bool SaveTo(const std::string& path);
    bool LoadSong(const std::string& path);
    // Runs code for the edited instrument (or none), which takes the sample made; the status,
    // the error mark and the sample picture show the run.
    void RunFor(const std::string& text);
    void ShowRun(const ScriptRun& run, const std::string& code);
    // Runs code for an instrument without showing anything.
    void MakeSample(int32_t instrument, const std::string& text);
    // Stores the code box for the current instrument, as one undo step of its own unless the
    // caller recorded one.
    void StoreCodeBox(bool record = true);
    // Records the song for undo right before a command changes it.
    void BeforeChange(ChangeKind kind, int64_t target = -1);
    // After a change of the song: samples in step with the instruments, the selection repaired.
    void SongChanged(uint32_t parts);
    // Repairs the selection after a change of the song and fills again the lists whose choice
    // named nothing any more; returns what was filled (Selection's kRefill bits).
    uint32_t RepairSelection();
    void Restore(const HistoryStep& step, const std::string* boxText);
    // The default song with its lists filled and the default code shown.
    void ShowNewSong();
    std::string RecoveryText() const;
    // Reads a song text into the song (starting from a new song's Speed and Row) and fills the
    // lists; returns what the reader could not take.
    SongReadReport ReadIntoSong(const std::string& text);
    void PlayRequested(const PlayRequest& request, PlayRecord record);
    // Changes the song's effects, limited as the mixer uses them, as a step of the kind.
    void ChangeEffects(TEffects effects, ChangeKind kind);
    // After the song's effects may have changed: the live output and the windows follow.
    void FollowEffects();
    // One undo step: the shown pattern gets the notes, the selection the indices.
    void StoreNotes(std::vector<TIdPoint> notes, std::vector<int32_t> selected);

    EditorView& view_;
    Dialogs& dialogs_;
    LiveOutput& live_;
    Scripting& scripts_;
    Document doc_;
    Selection sel_;
    // The song's effects the live output was last given.
    TEffects heard_;
    std::string code_;
    std::string status_;
    ScriptRun lastRun_;
    RunNotes runNotes_;
    // The render's tail last chosen.
    double tailSeconds_ = 0.0;
    // The Volume and Panning boxes' values.
    int32_t noteVol_ = 256;
    int32_t notePan_ = 128;
    EditFocus focus_ = EditFocus::Code;
    // The code box's text when the model last set it or stored it, or the song was saved.
    std::string cleanCode_;
    FileDialogSettings openDialog_;
    FileDialogSettings saveDialog_;
    SongHistory history_;
    PlayRecord play_;
    bool loop_ = false;
    RecoveryStore recovery_;
    RecentSongs recent_;
    // A change since the last recovery write.
    bool recoveryDirty_ = false;
    LiveInputState keys_;
    // The last recovery write failed (said once in the status bar, and again once it works).
    bool recoveryFailing_ = false;
};

} // namespace kellix
