#pragma once

#include "song/track.h"
#include "songtext/song_reader.h"
#include "support/file_stamp.h"
#include "ui/model/dialogs.h"
#include "ui/model/play_position.h"
#include "ui/model/recent_songs.h"
#include "ui/model/recovery.h"
#include "ui/model/song_history.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

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

enum class MouseButton { Left, Right, Middle };

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
    kViewEnv = 1u << 11,        // the Env window shows AttachedEnv() (SetEnv)
    kViewSample = 1u << 12,     // the sample picture is shown again
    kViewPlaying = 1u << 13,    // a play command was given: the window follows the position
    kViewRecent = 1u << 14,     // the list of recent songs changed
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
// window forwards its events here and shows what Refresh names. All of it runs on the window's
// thread; play commands take the mixing lock themselves.
class EditorModel {
  public:
    EditorModel(EditorView& view, Dialogs& dialogs, ModelFiles files = {});
    EditorModel(const EditorModel&) = delete;
    EditorModel& operator=(const EditorModel&) = delete;

    // ---- Lifecycle. The live output is set up before Create and torn down after Destroy.
    // Starts the worker, builds the default song, fills the lists, shows the default code and
    // starts the output playing.
    void Create();
    // Stops the worker and frees the code list; as a clean exit, removes the recovery file.
    void Destroy();

    // ---- State the widgets show.
    const std::string& Code() const { return code_; }
    const std::string& Status() const { return status_; }
    // The byte offset in Code() of the last compile error, -1 after a good run.
    std::ptrdiff_t ErrorPosition() const { return errorPos_; }
    const std::string& FileName() const { return fileName_; }
    std::string Title() const;
    EditFocus Focus() const { return focus_; }
    // The song differs from its state at the last New, Open or Save (undoing back to it clears
    // the mark), or the code box holds text it was not given by the model.
    bool Changed() const { return history_.Changed() || code_ != cleanCode_; }
    // Selections: -1 for none.
    int32_t InstrumentRow() const { return instrumentRow_; }
    int32_t PatternItem() const { return patternItem_; }
    int32_t TrackItem() const { return trackItem_; }
    int32_t PlayListRow() const { return playListRow_; }
    // The edited instrument, the shown pattern and track: null for none.
    TInstrument* ActiveInstrument() const;
    TPattern* ActivePattern() const;
    TTrackPattern* ActiveTrack() const;
    int32_t ActivePatternIndex() const { return activePattern_; }
    int32_t ActiveTrackIndex() const { return activeTrack_; }
    // The envelope the Env window edits, null when detached.
    TEnvelope* AttachedEnv() const;
    // Whether there is an instrument whose code the code box and F9 work on.
    bool CodeEditable() const;
    // The decimal text of the song value behind a count edit ("" for SampleTone without an
    // active instrument).
    std::string CountText(CountEdit which) const;
    // The dialogs' remembered settings.
    const FileDialogSettings& OpenDialogSettings() const { return openDialog_; }
    const FileDialogSettings& SaveDialogSettings() const { return saveDialog_; }

    // ---- Refresh routines.
    void InstrumentFill();
    void PatternFill();
    void TracksFill();
    void TracksIndexFill();
    // Puts the song's values back into the six count edits, discarding uncommitted text.
    void FormClick();

    // ---- Edits.
    // Enter in a count edit. An invalid text, a negative count or one above the song text
    // reader's limits changes nothing and puts the song's value back. Returns whether the song
    // took the value.
    bool CommitCount(CountEdit which, const std::string& text);
    // The code box's text after the user changed it.
    void SetCodeText(std::string text);
    // The texts of the Volume and Panning edits, read when a note is placed.
    void SetNoteTexts(std::string volume, std::string panning);
    void SetEditFocus(EditFocus focus) { focus_ = focus; }
    // "Cut" with the pattern or track editor focused; with the code focused the code box cuts
    // its own selection.
    void Cut();

    // ---- Instrument panel.
    void InstrumentsClick(int32_t row);
    // F9: stops every voice, runs the code box for the active instrument and stores it.
    void GeneratorExe();

    // ---- Pattern editor: cells from PatternCellAt.
    void PatternChange(int32_t item);
    void PatternMouseDown(MouseButton button, int32_t time, int32_t tone);
    // A move with the right button held.
    void PatternRightDrag(int32_t time, int32_t tone);

    // ---- Track editor and play list.
    // A press on the track editor over pattern number n (from TrackCellAt).
    void TrackEditMouseDown(int32_t n);
    // The Track combo box's change: the item index, -1 when the typed text names no item.
    void TrackChange(int32_t item);
    void PlayListClick(int32_t row);

    // ---- The Env window: a box's new value (0 Attack, 1 Cont, 2 End).
    void StoreEnv(int field, int32_t value);

    // ---- Undo and redo of the song's changes. The code box keeps its own typing history.
    bool CanUndo() const { return history_.CanUndo(); }
    bool CanRedo() const { return history_.CanRedo(); }
    void Undo();
    void Redo();

    // ---- Play commands on the live mixer.
    void Play();
    void PlayFrom();
    void PlayTrack();
    void PlayPattern();
    void Stop();
    // Where the sound being heard is in what the last play command scheduled: the live
    // output's played bytes less the quarter that leads into the first mix.
    PlayPosition PlayPositionNow() const;

    // ---- Recovery of unsaved work. Called every thirty seconds: while the song or the code box
    // has unsaved changes made since the last write, the song (with the code box's text for
    // the current instrument) goes to this run's recovery file; without unsaved changes the
    // file is removed.
    void WriteRecovery();
    // At start: when a run that ended without a clean exit left a recovery file, asks whether
    // to restore it. A restored song has no file name and counts as changed.
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

  private:
    bool AskToSave();
    // Before the song's own file is written over: asks when the file holds text that Open did
    // not read or was changed on disk since it was opened or saved.
    bool MayOverwriteSongFile();
    bool RestoreLeftOver(const std::string& path);
    std::optional<std::string> AskOpen();
    std::optional<std::string> AskSave();
    bool SaveTo(const std::string& path);
    bool LoadSong(const std::string& path);
    void RunCode(const std::string& text);
    // Stores the code box for the current instrument, as one undo step of its own unless the
    // caller recorded one.
    void StoreCodeBox(bool record = true);
    // Records the song for undo right before a command changes it.
    void BeforeChange(ChangeKind kind, int64_t target = -1);
    void SongChanged(uint32_t parts);
    void Restore(const HistoryStep& step, const std::string* boxText);
    void AttachEnv();
    // The default song with its lists filled and the default code shown.
    void ShowNewSong();
    std::string RecoveryText() const;
    // Reads a song text into the song (starting from a new song's Speed and Row) and fills the
    // lists; returns what the reader could not take.
    SongReadReport ReadIntoSong(const std::string& text);

    EditorView& view_;
    Dialogs& dialogs_;
    std::string code_;
    std::string status_;
    std::ptrdiff_t errorPos_ = -1;
    std::string fileName_;
    std::string volumeText_ = "256";
    std::string panningText_ = "128";
    EditFocus focus_ = EditFocus::Code;
    // The code box's text when the model last set it or stored it, or the song was saved.
    std::string cleanCode_;
    int32_t instrumentRow_ = -1;
    int32_t patternItem_ = -1;
    int32_t trackItem_ = -1;
    int32_t playListRow_ = -1;
    int32_t activeInstrument_ = -1;
    int32_t activePattern_ = -1;
    int32_t activeTrack_ = -1;
    int32_t envInstrument_ = -1;
    FileDialogSettings openDialog_;
    FileDialogSettings saveDialog_;
    SongHistory history_;
    PlayRecord play_;
    RecoveryStore recovery_;
    RecentSongs recent_;
    // A change since the last recovery write.
    bool recoveryDirty_ = false;
    // The last recovery write failed (said once in the status bar, and again once it works).
    bool recoveryFailing_ = false;
    // The song's file as it was when opened or last saved.
    FileStamp fileStamp_;
    // The song's file holds text after a zero byte that Open did not read.
    bool unreadTail_ = false;
};

} // namespace kellix
