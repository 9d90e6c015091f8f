#pragma once

#include "ui/model/editor_model.h"
#include "ui/pattern_geometry.h"

#include <QMainWindow>

#include <memory>
#include <utility>
#include <vector>

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QListView;
class QMouseEvent;
class QMenu;
class QScrollBar;
class QTimer;

namespace kellix {

class CodeEditor;
class DiagnosticsStrip;
class ImageView;
class KeyboardInput;
class MidiMenu;
class NumberListModel;
class PianoRollInput;
class QtDialogs;
class TFromenvForm;
class TformstereoForm;
class TreverbformForm;

// The tool windows the main window hooks at start-up; they exist before it and outlive it.
struct ToolWindows {
    TreverbformForm* Reverb = nullptr;
    TFromenvForm* Env = nullptr;
    TformstereoForm* StereoDelay = nullptr;
};

// The main window: the instrument list, the instrument area with the sample picture, the code
// box and the pattern editor, the track settings with the track editor, and the play list. It
// forwards every event to the editor model and shows what the model says changed.
class TKellixForm : public QMainWindow, public EditorView {
    Q_OBJECT
  public:
    // Creates the window from its layout and runs the model's start-up: the worker starts, the
    // default song is built and the output starts playing. The window plays through the live
    // output and runs code through the scripting given. Without dialogs it asks with real ones.
    TKellixForm(ToolWindows tools, LiveOutput& live, Scripting& scripts,
                Dialogs* dialogs = nullptr);
    ~TKellixForm() override;

    EditorModel& Model() { return *model_; }
    MidiMenu& Midi() { return *midi_; }

    // The controls, named as in the layout.
    QListView* Instruments;
    QListView* PlayList;
    QWidget* PanelTracks;
    QWidget* PanelInstrument;
    QLineEdit* TrackIndex;
    QLineEdit* SpeedTrack;
    QLineEdit* PatternRow;
    QLineEdit* TrackCount;
    QComboBox* Track;
    ImageView* TrackEdit;
    QScrollBar* ScrollVTrackEdit;
    ImageView* SampleImage;
    QWidget* Panel1;
    CodeEditor* SamCode;
    DiagnosticsStrip* WarningStrip; // under the code box: the last run's warnings
    QWidget* PlaneOptions;
    QLineEdit* Volume;
    QLineEdit* Panning;
    QLineEdit* SampleTone;
    QLineEdit* InstrumentCount;
    QLineEdit* PatternCount;
    QComboBox* Pattern;
    ImageView* EditPattern;
    QScrollBar* ScrollHPattern;
    QScrollBar* ScrollVPattern;
    QLabel* StatusPanel;
    QAction* MCGeneratorExe;
    QAction* MCReverb;
    QAction* MCEnv;
    QAction* MCStereoDelay;
    QAction* MCRecord;
    QLabel* OctavePanel;
    // Controll > Follow: the view keeps the play line in sight while playing.
    QAction* MCFollow;
    QAction* MCLoop;

    // EditorView.
    void DrawSample(const SampleBlock* sample) override;
    void Refresh(uint32_t parts) override;

  signals:
    // A "Generator Exe" request has run.
    void GeneratorRan();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void BuildMenu();
    void BuildTrackPanel();
    void BuildInstrumentPanel();
    void HookToolWindows();
    // Enter in each edit commits its text as the count.
    void CommitOnEnter(const std::vector<std::pair<QLineEdit*, CountEdit>>& edits);
    void PanelInstrumentResize();
    void PanelTracksResize();
    void EditPatternRepaint();
    // The pattern editor's scroll offsets and cell width now.
    PatternView PatternViewNow() const;
    void EditTrackRepaint();
    // 0 Cut, 1 Copy, 2 Paste, 3 Undo, 4 Redo: on the code box when the code has the focus.
    void EditCommand(int which);
    // Cut, Copy and Paste on the selected notes or the shown track's pattern list.
    void ClipboardCommand(int which);
    // The pattern editor's scroll ranges and steps for the image size, Row and cell width.
    void SetPatternScrollRanges();
    // The time axis at cellWidth pixels a step, the time under image column x kept in place.
    void ZoomPattern(int cellWidth, int x);
    // Scrolls to the notes of a pattern shown anew.
    void ShowPatternNotes();
    void ShowStatus();
    void FollowPlayPosition();
    void RebuildRecent();
    void About();
    void Exit();
    void RequestGeneratorExe();
    // A press on a list: the model's click of the row under the mouse. Returns true (taken).
    bool ListClick(QListView* list, QMouseEvent* event);

    ToolWindows tools_;
    std::unique_ptr<QtDialogs> ownDialogs_;
    std::unique_ptr<EditorModel> model_;
    NumberListModel* instrumentItems_;
    NumberListModel* playListItems_;
    NumberListModel* patternItems_;
    NumberListModel* trackItems_;
    // Set while the window shows the model's state, so that the widgets' own change events are
    // not taken for the user's.
    bool refreshing_ = false;
    bool sized_ = false;
    bool generatorPending_ = false;
    bool closeConfirmed_ = false;
    QMenu* recentMenu_ = nullptr;
    QTimer* playTimer_ = nullptr;
    QTimer* recoveryTimer_ = nullptr;
    KeyboardInput* keyboard_ = nullptr;
    MidiMenu* midi_ = nullptr;
    PianoRollInput* pianoRoll_ = nullptr;
    // The pattern editor's zoom: the width of a time step in pixels.
    int cellWidth_ = kDefaultCellWidth;
};

} // namespace kellix
