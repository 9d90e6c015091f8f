#include "main_window.h"

#include "about_box.h"
#include "code_editor.h"
#include "code_text.h"
#include "diagnostics_strip.h"
#include "draw_pattern.h"
#include "draw_sample.h"
#include "draw_track.h"
#include "env_form.h"
#include "example_songs.h"
#include "image_view.h"
#include "keyboard_input.h"
#include "midi_menu.h"
#include "number_list.h"
#include "pattern_geometry.h"
#include "piano_roll_input.h"
#include "preferences_dialog.h"
#include "qt_dialogs.h"
#include "reverb_form.h"
#include "script_highlighter.h"
#include "stereo_form.h"
#include "tool_placement.h"

#include "script/exec.h"
#include "ui/model/settings.h"
#include "ui/model/song_labels.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace kellix {

namespace {

constexpr int kOuterWidth = 786;
constexpr int kOuterHeight = 621;
constexpr int kEditHeight = 21;
constexpr int kScrollBarWidth = 17;
// The play position is shown 33 times a second; unsaved work is kept every 30 seconds.
constexpr int kPlayFollowMs = 30;
constexpr int kRecoveryMs = 30000;

// A panel that reports its size changes.
class Panel : public QWidget {
  public:
    explicit Panel(QWidget* parent) : QWidget(parent) {}
    std::function<void()> OnResize;

  protected:
    void resizeEvent(QResizeEvent*) override {
        if (OnResize) {
            OnResize();
        }
    }
};

QLabel* AddLabel(QWidget* parent, const char* text, int left, int top) {
    auto* label = new QLabel(text, parent);
    label->move(left, top);
    label->adjustSize();
    return label;
}

// A panel of fixed width grows, when the application's font needs it, until every caption in it
// shows whole; the controls keep their designed places.
void FitCaptions(QWidget* panel) {
    constexpr int kMargin = 4;
    int width = panel->minimumWidth();
    for (const QLabel* label : panel->findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
        width = std::max(width, label->x() + label->sizeHint().width() + kMargin);
    }
    panel->setFixedWidth(width);
}

QLineEdit* AddEdit(QWidget* parent, const char* name, const char* text, int left, int top,
                   int width) {
    auto* edit = new QLineEdit(text, parent);
    edit->setObjectName(name);
    edit->setGeometry(left, top, width, kEditHeight);
    return edit;
}

QComboBox* AddCombo(QWidget* parent, const char* name, QAbstractItemModel* items, int left, int top,
                    int width) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(name);
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->setModel(items);
    combo->setGeometry(left, top, width, kEditHeight);
    return combo;
}

// The bytes of a local file's name as the system gives them: a name that is not UTF-8 is kept
// percent-encoded in the URL and would not survive a round trip through QString.
std::string LocalPathBytes(const QUrl& url) {
    return QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()).toStdString();
}

QString Decimal(int32_t value) {
    return QString::number(value);
}

void ToClipboard(const std::string& text) {
    if (!text.empty()) {
        QApplication::clipboard()->setText(QString::fromStdString(text));
    }
}

std::string FromClipboard() {
    return QApplication::clipboard()->text().toStdString();
}

// The item a typed combo text names, -1 for none.
int32_t ItemNamed(const QComboBox* combo, const QString& text) {
    return combo->findText(text, Qt::MatchExactly);
}

void SelectRow(QListView* list, int32_t row) {
    if (row < 0 || row >= list->model()->rowCount()) {
        list->selectionModel()->clear();
        return;
    }
    const QModelIndex index = list->model()->index(row, 0);
    list->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    list->scrollTo(index);
}

} // namespace

TKellixForm::TKellixForm(ToolWindows tools, LiveOutput& live, Scripting& scripts, Dialogs* dialogs)
    : tools_(tools) {
    setObjectName("KellixForm");
    setWindowTitle("Kellix");
    if (!dialogs) {
        ownDialogs_ = std::make_unique<QtDialogs>(this);
        dialogs = ownDialogs_.get();
    }
    model_ = std::make_unique<EditorModel>(*this, *dialogs, live, scripts);
    const EditorModel& m = *model_;

    // "2  bass": the number, and the name the instrument's code gives it in its first comment.
    instrumentItems_ = new NumberListModel(
        [&m] { return m.Song().InstrumentCount(); },
        [&m](int row) {
            const std::string name = InstrumentName(InstrumentCodeAt(m.Song(), row).Text());
            return name.empty() ? Decimal(row + 1) : Decimal(row + 1) + "  " + ShowCode(name).Text;
        },
        this);
    playListItems_ = new NumberListModel([&m] { return m.Song().TrackIndexCount(); },
                                         [&m](int row) {
                                             const TTrack& song = m.Song();
                                             return row < song.TrackIndexCount()
                                                        ? Decimal(song.TracksIndex[row] + 1)
                                                        : QString();
                                         },
                                         this);
    patternItems_ = new NumberListModel([&m] { return m.Song().PatternCount(); },
                                        [](int row) { return Decimal(row + 1); }, this);
    trackItems_ = new NumberListModel([&m] { return m.Song().TrackCount(); },
                                      [](int row) { return Decimal(row + 1); }, this);

    auto* central = new QWidget(this);
    central->setObjectName("Client");
    auto* row = new QHBoxLayout(central);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);

    Instruments = new QListView(central);
    Instruments->setObjectName("Instruments");
    Instruments->setToolTip("Instruments");
    Instruments->setFixedWidth(113);
    Instruments->setModel(instrumentItems_);
    Instruments->setUniformItemSizes(true);
    Instruments->setEditTriggers(QAbstractItemView::NoEditTriggers);

    PanelInstrument = new Panel(central);
    PanelInstrument->setObjectName("PanelInstrument");
    PanelTracks = new Panel(central);
    PanelTracks->setObjectName("PanelTracks");
    PanelTracks->setFixedWidth(120);

    PlayList = new QListView(central);
    PlayList->setObjectName("PlayList");
    PlayList->setToolTip("Tracks");
    PlayList->setFixedWidth(49);
    PlayList->setModel(playListItems_);
    PlayList->setUniformItemSizes(true);
    PlayList->setEditTriggers(QAbstractItemView::NoEditTriggers);

    row->addWidget(Instruments);
    row->addWidget(PanelInstrument, 1);
    row->addWidget(PanelTracks);
    row->addWidget(PlayList);
    setCentralWidget(central);

    BuildTrackPanel();
    BuildInstrumentPanel();
    keyboard_ = new KeyboardInput(*model_, EditPattern, [this] { return PatternViewNow(); });
    SamCode->Highlighter()->SetNames(
        NamesOfTable(scripts.Names().data(), static_cast<int32_t>(scripts.Names().size())));

    StatusPanel = new QLabel(this);
    StatusPanel->setObjectName("StatusPanel");
    StatusPanel->setMinimumWidth(50);
    StatusPanel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // Code shown after an error is text, whatever it holds ("<b>" included).
    StatusPanel->setTextFormat(Qt::PlainText);
    statusBar()->addWidget(StatusPanel, 1);
    OctavePanel = new QLabel(this);
    OctavePanel->setObjectName("OctavePanel");
    statusBar()->addPermanentWidget(OctavePanel);
    statusBar()->setSizeGripEnabled(true);

    BuildMenu();

    // Keys that move the lists' current row select as a click does; clicks themselves are taken
    // by the event filter, so that a click on the selected row or below the last counts too.
    connect(Instruments->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (!refreshing_ && current.isValid() && current.row() != model_->InstrumentRow()) {
                    model_->SelectInstrument(current.row());
                }
            });
    connect(PlayList->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (!refreshing_ && current.isValid() &&
                    current.row() != model_->Selected().PlayListRow) {
                    model_->SelectPlayListRow(current.row());
                }
            });
    Instruments->viewport()->installEventFilter(this);
    PlayList->viewport()->installEventFilter(this);

    // Nearly every control's click puts the song's values back into the count edits, which
    // discards text typed there and not committed with Enter.
    for (QWidget* w : {static_cast<QWidget*>(central),
                       PanelTracks,
                       static_cast<QWidget*>(TrackEdit),
                       static_cast<QWidget*>(Track),
                       static_cast<QWidget*>(Track->lineEdit()),
                       static_cast<QWidget*>(TrackCount),
                       static_cast<QWidget*>(SpeedTrack),
                       static_cast<QWidget*>(PatternRow),
                       static_cast<QWidget*>(TrackIndex),
                       PanelInstrument,
                       static_cast<QWidget*>(SampleImage),
                       static_cast<QWidget*>(EditPattern),
                       PlaneOptions,
                       static_cast<QWidget*>(Pattern),
                       static_cast<QWidget*>(Pattern->lineEdit()),
                       static_cast<QWidget*>(PatternCount),
                       static_cast<QWidget*>(SampleTone),
                       static_cast<QWidget*>(InstrumentCount),
                       static_cast<QWidget*>(Volume),
                       static_cast<QWidget*>(Panning),
                       SamCode->viewport()}) {
        w->installEventFilter(this);
    }

    HookToolWindows();
    resize(kOuterWidth, kOuterHeight);
    move(142, 121);
    setAcceptDrops(true);

    // While something plays, the play list and the pattern editor follow what is heard.
    playTimer_ = new QTimer(this);
    playTimer_->setInterval(kPlayFollowMs);
    connect(playTimer_, &QTimer::timeout, this, [this] { FollowPlayPosition(); });
    recoveryTimer_ = new QTimer(this);
    recoveryTimer_->setInterval(kRecoveryMs);
    connect(recoveryTimer_, &QTimer::timeout, this, [this] { model_->WriteRecovery(); });
    recoveryTimer_->start();

    model_->Create();
    Refresh(0xFFFFFFFFu & ~uint32_t{kViewPlaying});
}

TKellixForm::~TKellixForm() {
    // The tool windows outlive the window: they must call nothing of it any more.
    if (tools_.Reverb) {
        tools_.Reverb->OnReverbChange = nullptr;
        tools_.Reverb->OnReverbSwitch = nullptr;
        tools_.Reverb->OnHide = nullptr;
    }
    if (tools_.Env) {
        tools_.Env->OnStore = nullptr;
        tools_.Env->OnHide = nullptr;
    }
    if (tools_.StereoDelay) {
        tools_.StereoDelay->OnDelayChange = nullptr;
        tools_.StereoDelay->OnHide = nullptr;
    }
    // The live inputs call the model: they go before it.
    delete keyboard_;
    delete midi_;
    model_->Destroy();
}

void TKellixForm::CommitOnEnter(const std::vector<std::pair<QLineEdit*, CountEdit>>& edits) {
    for (const auto& entry : edits) {
        QLineEdit* edit = entry.first;
        const CountEdit which = entry.second;
        connect(edit, &QLineEdit::returnPressed, this,
                [this, edit, which] { model_->CommitCount(which, edit->text().toStdString()); });
    }
}

void TKellixForm::BuildTrackPanel() {
    QWidget* p = PanelTracks;
    AddLabel(p, "Track Index", 8, 0);
    TrackIndex = AddEdit(p, "TrackIndex", "10", 7, 16, 105);
    AddLabel(p, "Speed Track", 8, 40);
    SpeedTrack = AddEdit(p, "SpeedTrack", "128", 7, 56, 105);
    AddLabel(p, "Pattern Row", 8, 80);
    PatternRow = AddEdit(p, "PatternRow", "16", 7, 96, 105);
    AddLabel(p, "Count Tracks", 8, 120);
    TrackCount = AddEdit(p, "TrackCount", "10", 8, 136, 105);
    AddLabel(p, "Track", 8, 160);
    Track = AddCombo(p, "Track", trackItems_, 8, 176, 105);
    Track->setToolTip("Track: the number of the track the selected play-list row plays, shown "
                      "below (from 1)");
    AddLabel(p, "Patterns", 8, 200);
    FitCaptions(p);
    TrackEdit = new ImageView(p);
    TrackEdit->setObjectName("TrackEdit");
    TrackEdit->setGeometry(8, 216, 97, 265);
    ScrollVTrackEdit = new QScrollBar(Qt::Vertical, p);
    ScrollVTrackEdit->setObjectName("ScrollVTrackEdit");
    ScrollVTrackEdit->setGeometry(96, 216, 16, 233);
    ScrollVTrackEdit->setRange(0, kTrackScrollMax);

    const std::vector<std::pair<QLineEdit*, CountEdit>> counts = {
        {TrackIndex, CountEdit::TrackIndex},
        {SpeedTrack, CountEdit::SpeedTrack},
        {PatternRow, CountEdit::PatternRow},
        {TrackCount, CountEdit::TrackCount},
    };
    CommitOnEnter(counts);
    auto trackChange = [this](int32_t item) {
        if (!refreshing_) {
            model_->SetPlayListTrack(item);
        }
    };
    connect(Track, &QComboBox::activated, this, trackChange);
    // A box cleared to type another number names nothing yet: the entry keeps its track.
    connect(Track, &QComboBox::editTextChanged, this, [this, trackChange](const QString& text) {
        if (!text.isEmpty()) {
            trackChange(ItemNamed(Track, text));
        }
    });
    TrackEdit->OnMouseDown = [this](Qt::MouseButton, int x, int y) {
        model_->TogglePatternInTrack(
            TrackCellAt(x, y, TrackEdit->Image().width(), ScrollVTrackEdit->value()));
    };
    connect(ScrollVTrackEdit, &QScrollBar::valueChanged, this, [this] { EditTrackRepaint(); });
    static_cast<Panel*>(PanelTracks)->OnResize = [this] { PanelTracksResize(); };
}

void TKellixForm::BuildInstrumentPanel() {
    QWidget* p = PanelInstrument;
    SampleImage = new ImageView(p);
    SampleImage->setObjectName("SampleImage");
    SampleImage->setToolTip("Instrument Sample");
    SampleImage->Image() = QImage(1, 97, QImage::Format_RGB32);
    SampleImage->Image().fill(0xFFFFFFFFu);
    SampleImage->installEventFilter(this);

    Panel1 = new QWidget(p);
    Panel1->setObjectName("Panel1");
    auto* options = new QHBoxLayout(Panel1);
    options->setContentsMargins(0, 0, 0, 0);
    options->setSpacing(0);
    auto* codeColumn = new QVBoxLayout();
    codeColumn->setContentsMargins(0, 0, 0, 0);
    codeColumn->setSpacing(0);
    SamCode = new CodeEditor(Panel1);
    SamCode->setObjectName("SamCode");
    SamCode->setToolTip("Generator Sample");
    WarningStrip = new DiagnosticsStrip(Panel1);
    WarningStrip->setObjectName("WarningStrip");
    codeColumn->addWidget(SamCode, 1);
    codeColumn->addWidget(WarningStrip);
    PlaneOptions = new QWidget(Panel1);
    PlaneOptions->setObjectName("PlaneOptions");
    PlaneOptions->setFixedWidth(108);
    options->addLayout(codeColumn, 1);
    options->addWidget(PlaneOptions);

    QWidget* o = PlaneOptions;
    AddLabel(o, "Volume", 8, 3);
    Volume = AddEdit(o, "Volume", "256", 7, 19, 89);
    AddLabel(o, "Pan", 8, 43);
    Panning = AddEdit(o, "Panning", "128", 7, 59, 89);
    AddLabel(o, "Sample Tone", 8, 83);
    SampleTone = AddEdit(o, "SampleTone", "0", 7, 99, 89);
    AddLabel(o, "Count Instruments", 8, 123);
    InstrumentCount = AddEdit(o, "InstrumentCount", "10", 7, 139, 89);
    AddLabel(o, "Count Patterns", 8, 163);
    PatternCount = AddEdit(o, "PatternCount", "10", 8, 179, 89);
    AddLabel(o, "Pattern", 8, 203);
    Pattern = AddCombo(o, "Pattern", patternItems_, 8, 219, 89);
    FitCaptions(o);

    EditPattern = new ImageView(p);
    EditPattern->setObjectName("EditPattern");
    ScrollHPattern = new QScrollBar(Qt::Horizontal, p);
    ScrollHPattern->setObjectName("ScrollHPattern");
    ScrollVPattern = new QScrollBar(Qt::Vertical, p);
    ScrollVPattern->setObjectName("ScrollVPattern");
    ScrollVPattern->setRange(0, kPatternWorldHeight);
    ScrollVPattern->setValue(kPatternDesignedV);

    const std::vector<std::pair<QLineEdit*, CountEdit>> counts = {
        {SampleTone, CountEdit::SampleTone},
        {InstrumentCount, CountEdit::InstrumentCount},
        {PatternCount, CountEdit::PatternCount},
    };
    CommitOnEnter(counts);
    auto noteTexts = [this] {
        model_->SetNoteTexts(Volume->text().toStdString(), Panning->text().toStdString());
    };
    connect(Volume, &QLineEdit::textChanged, this, noteTexts);
    connect(Panning, &QLineEdit::textChanged, this, noteTexts);
    auto patternChange = [this](int32_t item) {
        if (!refreshing_) {
            model_->ShowPattern(item);
        }
    };
    connect(Pattern, &QComboBox::activated, this, patternChange);
    connect(Pattern, &QComboBox::editTextChanged, this,
            [this, patternChange](const QString& t) { patternChange(ItemNamed(Pattern, t)); });

    SamCode->OnUserEdit = [this](std::string bytes) { model_->SetCodeText(std::move(bytes)); };
    SamCode->OnFocusIn = [this] { model_->SetEditFocus(EditFocus::Code); };

    pianoRoll_ =
        new PianoRollInput(*EditPattern, *ScrollHPattern, *ScrollVPattern, *model_,
                           {.View = [this] { return PatternViewNow(); },
                            .Zoom = [this](int cellWidth, int x) { ZoomPattern(cellWidth, x); },
                            .Repaint = [this] { EditPatternRepaint(); }});
    Pattern->setToolTip("Pattern: the number of the pattern the piano roll shows (from 1)");
    for (QScrollBar* bar : {ScrollHPattern, ScrollVPattern}) {
        connect(bar, &QScrollBar::valueChanged, this, [this] { EditPatternRepaint(); });
    }
    static_cast<Panel*>(PanelInstrument)->OnResize = [this] { PanelInstrumentResize(); };
}

void TKellixForm::BuildMenu() {
    QMenuBar* bar = menuBar();
    // Every command, from a menu or its key, first puts the song's values back into the count
    // edits, as a click elsewhere does: what was typed there and not committed is not used.
    auto add = [this](QMenu* menu, const char* caption, QKeySequence keys, auto handler) {
        QAction* action = menu->addAction(caption);
        action->setShortcut(keys);
        connect(action, &QAction::triggered, this, [this, handler] {
            model_->PutBackCounts();
            handler();
        });
        return action;
    };
    QMenu* file = bar->addMenu("File");
    add(file, "New", QKeySequence("Ctrl+N"), [this] { model_->New(); });
    add(file, "Open", QKeySequence("Ctrl+O"), [this] { model_->Open(); });
    recentMenu_ = file->addMenu("Recent");
    file->addSeparator();
    add(file, "Save", QKeySequence("Ctrl+S"), [this] { model_->Save(); });
    add(file, "Save as..", QKeySequence(), [this] { model_->SaveAs(); });
    add(file, "Save result as..", QKeySequence(), [this] { model_->SaveResultAs(); });
    file->addSeparator();
    add(file, "Open Instrument", QKeySequence(), [this] { model_->OpenInstrument(); });
    add(file, "Save Instrument as..", QKeySequence(), [this] { model_->SaveInstrumentAs(); });
    file->addSeparator();
    add(file, "Exit", QKeySequence(), [this] { Exit(); });

    QMenu* edit = bar->addMenu("Edit");
    add(edit, "Cut", QKeySequence("Ctrl+X"), [this] { EditCommand(0); });
    add(edit, "Copy", QKeySequence("Ctrl+C"), [this] { EditCommand(1); });
    add(edit, "Paste", QKeySequence("Ctrl+V"), [this] { EditCommand(2); });
    QAction* undo = add(edit, "Undo", QKeySequence("Ctrl+Z"), [this] { EditCommand(3); });
    QAction* redo = add(edit, "Redo", QKeySequence("Ctrl+Shift+Z"), [this] { EditCommand(4); });
    redo->setShortcuts({QKeySequence("Ctrl+Shift+Z"), QKeySequence("Ctrl+Y")});
    // The open menu shows whether there is anything to undo or redo. The items are enabled again
    // when it closes, since a disabled item's shortcut would not reach the code box.
    connect(edit, &QMenu::aboutToShow, this, [this, undo, redo] {
        const bool code = model_->Focus() == EditFocus::Code;
        undo->setEnabled(code ? SamCode->UndoAvailable() : model_->CanUndo());
        redo->setEnabled(code ? SamCode->RedoAvailable() : model_->CanRedo());
    });
    connect(edit, &QMenu::aboutToHide, this, [undo, redo] {
        undo->setEnabled(true);
        redo->setEnabled(true);
    });
    edit->addSeparator();
    add(edit, "Preferences...", QKeySequence(),
        [this] { PreferencesDialog(DefaultSettingsFile(), this).exec(); });

    edit->addSeparator();
    add(edit, "Set Volume/Pan", QKeySequence(), [this] { model_->SetSelectionVolPan(); });
    add(edit, "Duplicate Pattern", QKeySequence(), [this] { model_->DuplicatePattern(); });
    add(edit, "Clear Pattern", QKeySequence(), [this] { model_->ClearPattern(); });

    QMenu* controll = bar->addMenu("Controll");
    add(controll, "Play", QKeySequence("F5"), [this] { model_->Play(); });
    add(controll, "Play From", QKeySequence(), [this] { model_->PlayFrom(); });
    add(controll, "Play Track", QKeySequence("F6"), [this] { model_->PlayTrack(); });
    add(controll, "Play Pattern", QKeySequence("F7"), [this] { model_->PlayPattern(); });
    add(controll, "Stop", QKeySequence("F8"), [this] { model_->Stop(); });
    controll->addSeparator();
    MCGeneratorExe =
        add(controll, "Generator Exe", QKeySequence("F9"), [this] { RequestGeneratorExe(); });
    // The check mark follows the window: set here, cleared by the window's OnHide. A window
    // shown for the first time opens beside the main window, in a place of its own.
    auto toolItem = [this, controll](const char* caption, ToolWindow* window) {
        QAction* item = controll->addAction(caption);
        item->setCheckable(true);
        connect(item, &QAction::triggered, this, [this, window](bool checked) {
            if (window) {
                if (checked) {
                    PlaceBesideOnce(*this, {tools_.Reverb, tools_.Env, tools_.StereoDelay}, window);
                }
                window->setVisible(checked);
            }
        });
        return item;
    };
    MCReverb = toolItem("Reverb", tools_.Reverb);
    MCEnv = toolItem("Env", tools_.Env);
    MCStereoDelay = toolItem("Stereo Delay", tools_.StereoDelay);
    controll->addSeparator();
    MCLoop = add(controll, "Loop", QKeySequence("Ctrl+L"),
                 [this] { model_->SetLoop(MCLoop->isChecked()); });
    MCLoop->setCheckable(true);
    MCRecord = add(controll, "Record", QKeySequence("F4"),
                   [this] { model_->SetRecording(MCRecord->isChecked()); });
    MCRecord->setCheckable(true);
    QMenu* midiInput = controll->addMenu("MIDI Input");
    midiInput->setObjectName("MIDIInput");
    midi_ = new MidiMenu(midiInput, *model_, DefaultSettingsFile(), MakeRtMidiInput(), this);
    midi_->OnError = [this](const QString& message) { StatusPanel->setText(message); };
    MCFollow = controll->addAction("Follow");
    MCFollow->setCheckable(true);
    MCFollow->setChecked(true);

    for (QMenu* menu : {file, edit, controll}) {
        connect(menu, &QMenu::aboutToShow, this, [this] { model_->PutBackCounts(); });
    }

    QMenu* help = bar->addMenu("Help");
    add(help, "About", QKeySequence(), [this] { About(); });
    help->addSeparator();
    // File > Open in the example songs' folder (prepared dialogs have no folder to start in).
    add(help, "Example Songs...", QKeySequence(), [this] {
        if (ownDialogs_) {
            ownDialogs_->StartIn(ExampleSongsFolder(QApplication::applicationDirPath()));
        }
        model_->Open();
    });
}

void TKellixForm::HookToolWindows() {
    if (tools_.Reverb) {
        tools_.Reverb->OnReverbChange = [this](int32_t amplitude, int32_t step, int32_t band) {
            model_->SetReverb(amplitude, step, band);
        };
        tools_.Reverb->OnReverbSwitch = [this](bool on) { model_->SetReverbOn(on); };
        tools_.Reverb->OnHide = [this] { MCReverb->setChecked(false); };
    }
    if (tools_.Env) {
        tools_.Env->OnStore = [this](int field, int32_t value) {
            model_->SetEnvelope(field, value);
        };
        tools_.Env->OnHide = [this] { MCEnv->setChecked(false); };
    }
    if (tools_.StereoDelay) {
        tools_.StereoDelay->OnDelayChange = [this](int32_t decayL, int32_t decayR, int32_t delayL,
                                                   int32_t delayR) {
            model_->SetStereoDelay(decayL, decayR, delayL, delayR);
        };
        tools_.StereoDelay->OnHide = [this] { MCStereoDelay->setChecked(false); };
    }
}

void TKellixForm::EditCommand(int which) {
    if (model_->Focus() != EditFocus::Code) {
        if (which == 3) {
            model_->Undo();
        } else if (which == 4) {
            model_->Redo();
        } else {
            ClipboardCommand(which);
        }
        return;
    }
    // The code box's own clipboard commands and typing history.
    if (which == 0) {
        SamCode->cut();
    } else if (which == 1) {
        SamCode->copy();
    } else if (which == 2) {
        SamCode->paste();
    } else if (which == 3) {
        SamCode->undo();
    } else {
        SamCode->redo();
    }
}

void TKellixForm::ClipboardCommand(int which) {
    if (model_->Focus() == EditFocus::Track) {
        // Cut empties the track and leaves the clipboard alone.
        if (which == 0) {
            model_->ClearTrack();
        } else if (which == 1) {
            ToClipboard(model_->TrackText());
        } else {
            model_->PasteTrack(FromClipboard());
        }
        return;
    }
    const bool selected = !model_->Selected().Notes.empty();
    if (which == 0 && selected) {
        ToClipboard(model_->CutSelection());
    } else if (which == 0) {
        // Without a selection Cut empties the pattern (Undo brings it back).
        model_->ClearPattern();
    } else if (which == 1) {
        ToClipboard(model_->SelectionText());
    } else {
        model_->PasteNotes(FromClipboard(), pianoRoll_->PasteStep());
    }
}

void TKellixForm::About() {
    TAboutBox box(this);
    box.exec();
}

void TKellixForm::Exit() {
    // The close event asks about unsaved changes, once.
    close();
}

void TKellixForm::RequestGeneratorExe() {
    // Presses that pile up while a slow script runs ask for one more run, not one each: the
    // window runs the latest request once and never queues more than one.
    if (generatorPending_) {
        return;
    }
    generatorPending_ = true;
    QTimer::singleShot(0, this, [this] {
        generatorPending_ = false;
        model_->RunCode();
        emit GeneratorRan();
    });
}

void TKellixForm::RebuildRecent() {
    recentMenu_->clear();
    const std::vector<std::string>& paths = model_->RecentPaths();
    for (std::size_t i = 0; i < paths.size(); ++i) {
        QAction* item = recentMenu_->addAction(QFile::decodeName(paths[i].c_str()));
        connect(item, &QAction::triggered, this, [this, i] { model_->OpenRecent(i); });
    }
    recentMenu_->setEnabled(!paths.empty());
}

void TKellixForm::dragEnterEvent(QDragEnterEvent* event) {
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile()) {
            event->acceptProposedAction();
            return;
        }
    }
}

void TKellixForm::dropEvent(QDropEvent* event) {
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile()) {
            event->acceptProposedAction();
            model_->OpenPath(LocalPathBytes(url));
            return;
        }
    }
}

void TKellixForm::FollowPlayPosition() {
    const PlayPosition at = model_->PlayPositionNow();
    playListItems_->SetHighlight(at.Playing ? at.Entry : -1);
    if (at.Playing && MCFollow->isChecked()) {
        ScrollHPattern->setValue(
            FollowH(at.Step, PatternViewNow(), EditPattern->width() - kScrollBarWidth));
    }
    EditPattern->SetMarker(PlayLineX(at.Step, PatternViewNow()));
    if (!at.Playing && !at.Waiting) {
        playTimer_->stop();
    }
}

void TKellixForm::closeEvent(QCloseEvent* event) {
    // Once the user has answered, the close events that quitting sends again are accepted.
    if (!closeConfirmed_ && !model_->ConfirmClose()) {
        event->ignore();
        return;
    }
    // Closing the main window ends the program (the tool windows do not keep it running).
    closeConfirmed_ = true;
    event->accept();
}

void TKellixForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (sized_) {
        return;
    }
    sized_ = true;
    // The outer size includes the frame, known only once the window is shown.
    QTimer::singleShot(0, this, [this] {
        const QSize frame = frameGeometry().size() - size();
        resize(kOuterWidth - frame.width(), kOuterHeight - frame.height());
    });
}

bool TKellixForm::ListClick(QListView* list, QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        return true;
    }
    const QModelIndex at = list->indexAt(event->position().toPoint());
    list->setFocus(Qt::MouseFocusReason);
    if (list == Instruments) {
        // Below the last item no instrument is active.
        model_->SelectInstrument(at.isValid() ? at.row() : list->model()->rowCount());
    } else if (at.isValid()) {
        model_->SelectPlayListRow(at.row());
    } else {
        model_->PutBackCounts();
    }
    const bool outer = refreshing_;
    refreshing_ = true;
    SelectRow(list, list == Instruments ? model_->InstrumentRow() : model_->Selected().PlayListRow);
    refreshing_ = outer;
    return true;
}

bool TKellixForm::eventFilter(QObject* watched, QEvent* event) {
    const bool press =
        event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick;
    if (press && (watched == Instruments->viewport() || watched == PlayList->viewport())) {
        return ListClick(watched == PlayList->viewport() ? PlayList : Instruments,
                         static_cast<QMouseEvent*>(event));
    }
    if (event->type() == QEvent::MouseButtonPress) {
        model_->PutBackCounts();
    } else if (event->type() == QEvent::Paint && watched == SampleImage) {
        // Whenever the window paints, the active instrument's sample is drawn again.
        if (model_->ActiveInstrument()) {
            DrawSample(model_->ActiveSample());
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TKellixForm::PanelInstrumentResize() {
    const int w = PanelInstrument->width();
    const int h = PanelInstrument->height();
    SampleImage->setGeometry(0, 0, w, 97);
    Panel1->setGeometry(0, 97, w, 248);
    EditPattern->setGeometry(0, 345, w, std::max(h - 345, 0));
    DrawSample(model_->ActiveSample());
    QImage& picture = EditPattern->Image();
    if (picture.size() != EditPattern->size()) {
        picture = QImage(std::max(EditPattern->width(), 1), std::max(EditPattern->height(), 1),
                         QImage::Format_RGB32);
    }
    const int patternHeight = EditPattern->height();
    ScrollVPattern->setGeometry(w - kScrollBarWidth, EditPattern->y(), kScrollBarWidth,
                                std::max(patternHeight - kScrollBarWidth, 0));
    ScrollHPattern->setGeometry(0, h - kScrollBarWidth, EditPattern->width(), kScrollBarWidth);
    SetPatternScrollRanges();
    ScrollVPattern->raise();
    ScrollHPattern->raise();
    EditPatternRepaint();
}

void TKellixForm::SetPatternScrollRanges() {
    const int width = EditPattern->width();
    const int height = EditPattern->height();
    ScrollVPattern->setMaximum(PatternScrollVMax(height));
    // A short Row in a wide window would give a negative range: the view then does not scroll.
    ScrollHPattern->setMaximum(PatternScrollHMax(model_->Song().Row, cellWidth_, width));
    // The arrows move one cell, the page steps one screen of grid.
    ScrollVPattern->setSingleStep(kToneHeight);
    ScrollVPattern->setPageStep(std::max(height - kScrollBarWidth, kToneHeight));
    ScrollHPattern->setSingleStep(cellWidth_);
    ScrollHPattern->setPageStep(std::max(width - kScrollBarWidth - kKeyboardWidth, cellWidth_));
}

void TKellixForm::ZoomPattern(int cellWidth, int x) {
    cellWidth = ClampCellWidth(cellWidth);
    if (cellWidth == cellWidth_) {
        return;
    }
    const int h = ZoomedH(ScrollHPattern->value(), x, cellWidth_, cellWidth);
    cellWidth_ = cellWidth;
    const QSignalBlocker still(ScrollHPattern);
    SetPatternScrollRanges();
    ScrollHPattern->setValue(h);
    EditPatternRepaint();
}

void TKellixForm::ShowPatternNotes() {
    const TPattern* pattern = model_->ActivePattern();
    if (!pattern) {
        return;
    }
    const PatternView view = ViewOnNotes(std::span(pattern->Points.begin(), pattern->Points.end()),
                                         model_->Selected().Instrument, PatternViewNow(),
                                         EditPattern->width() - kScrollBarWidth,
                                         EditPattern->height() - kScrollBarWidth);
    ScrollHPattern->setValue(view.H);
    ScrollVPattern->setValue(view.V);
}

void TKellixForm::PanelTracksResize() {
    const int w = PanelTracks->width();
    const int h = PanelTracks->height();
    const int top = TrackEdit->y();
    TrackEdit->setGeometry(TrackEdit->x(), top, std::max(w - kScrollBarWidth, 0),
                           std::max(h - top, 0));
    ScrollVTrackEdit->setGeometry(w - kScrollBarWidth, top, ScrollVTrackEdit->width(),
                                  std::max(TrackEdit->height() - 1, 0));
    ScrollVTrackEdit->raise();
    QImage& picture = TrackEdit->Image();
    if (picture.size() != TrackEdit->size()) {
        picture = QImage(std::max(TrackEdit->width(), 1), std::max(TrackEdit->height(), 1),
                         QImage::Format_RGB32);
    }
    EditTrackRepaint();
}

void TKellixForm::EditPatternRepaint() {
    if (EditPattern->Image().isNull()) {
        return;
    }
    const TPattern* pattern = model_->ActivePattern();
    const Selection& sel = model_->Selected();
    PatternPicture picture{.View = PatternViewNow(),
                           .Row = model_->Song().Row,
                           .Instrument = sel.Instrument,
                           .Selected = sel.Notes};
    if (pattern) {
        picture.Notes = std::span(pattern->Points.begin(), pattern->Points.end());
    }
    picture.Lit = model_->HeldKeys();
    std::vector<TIdPoint> moved;
    pianoRoll_->Decorate(picture, moved);
    DrawPatternGrid(EditPattern->Image(), picture);
    EditPattern->update();
}

void TKellixForm::EditTrackRepaint() {
    if (TrackEdit->Image().isNull()) {
        return;
    }
    DrawTrackGrid(TrackEdit->Image(), ScrollVTrackEdit->value(), model_->Song().PatternCount(),
                  model_->ActiveTrack());
    TrackEdit->update();
}

PatternView TKellixForm::PatternViewNow() const {
    return {ScrollHPattern->value(), ScrollVPattern->value(), cellWidth_};
}

void TKellixForm::DrawSample(const SampleBlock* sample) {
    kellix::DrawSample(SampleImage->Image(), SampleImage->width(), sample);
    // Without a sample the picture is empty: it never shows another instrument's wave (after
    // New, for an instrument without code, after a failed run).
    if (!sample) {
        SampleImage->Image().fill(0xFFFFFFFFu);
    }
}

void TKellixForm::ShowStatus() {
    // One line: the rest of a failing code is shown with its line breaks as blanks, and no more
    // of it than a status bar can show (a megabyte of label text takes seconds to lay out).
    const std::string& status = model_->Status();
    QString text = QString::fromLatin1(status.data(), std::min<qsizetype>(status.size(), 1000));
    text.replace("\r\n", " ").replace('\n', ' ').replace('\r', ' ');
    StatusPanel->setText(text);
    StatusPanel->setToolTip(text);
}

void TKellixForm::Refresh(uint32_t parts) {
    const bool outer = refreshing_;
    refreshing_ = true;
    if (parts & kViewTitle) {
        setWindowTitle(QFile::decodeName(model_->Title().c_str()));
        if (ownDialogs_) {
            ownDialogs_->RememberFile(model_->FileName());
        }
    }
    if (parts & kViewStatus) {
        ShowStatus();
    }
    if (parts & kViewInstruments) {
        instrumentItems_->Reset();
        SelectRow(Instruments, model_->InstrumentRow());
        // Without instruments nothing typed could be kept: no code box, no F9.
        SamCode->setEnabled(model_->CodeEditable());
        MCGeneratorExe->setEnabled(model_->CodeEditable());
    }
    if (parts & kViewPlayList) {
        playListItems_->Reset();
        SelectRow(PlayList, model_->Selected().PlayListRow);
    }
    if (parts & kViewPatterns) {
        patternItems_->Reset();
        Pattern->setCurrentIndex(model_->Selected().PatternItem);
    }
    if (parts & kViewTracks) {
        trackItems_->Reset();
        Track->setCurrentIndex(model_->Selected().TrackItem);
    }
    if (parts & kViewCounts) {
        TrackIndex->setText(QString::fromStdString(model_->CountText(CountEdit::TrackIndex)));
        TrackCount->setText(QString::fromStdString(model_->CountText(CountEdit::TrackCount)));
        PatternCount->setText(QString::fromStdString(model_->CountText(CountEdit::PatternCount)));
        InstrumentCount->setText(
            QString::fromStdString(model_->CountText(CountEdit::InstrumentCount)));
        SpeedTrack->setText(QString::fromStdString(model_->CountText(CountEdit::SpeedTrack)));
        PatternRow->setText(QString::fromStdString(model_->CountText(CountEdit::PatternRow)));
    }
    if (parts & (kViewCounts | kViewStatus)) {
        // A change of Speed says in the status bar what it means; the tooltip always does.
        SpeedTrack->setToolTip(QString::fromStdString(TempoText(model_->Song().Speed)));
    }
    if ((parts & kViewSampleTone) && model_->ActiveInstrument()) {
        SampleTone->setText(QString::fromStdString(model_->CountText(CountEdit::SampleTone)));
    }
    if (parts & kViewCode) {
        SamCode->SetCode(model_->Code());
    }
    if (parts & kViewRun) {
        if (model_->LastRun().ErrorPos >= 0) {
            SamCode->MarkError(model_->LastRun().ErrorPos);
        } else {
            SamCode->ClearErrorMark();
        }
        SamCode->MarkWarnings(model_->LastRunNotes().WarningLines);
        WarningStrip->ShowNotes(model_->LastRunNotes());
    }
    if (parts & kViewEffects) {
        if (tools_.StereoDelay) {
            tools_.StereoDelay->ShowEffects(model_->Song().Effects);
        }
        if (tools_.Reverb) {
            tools_.Reverb->ShowEffects(model_->Song().Effects);
        }
    }
    if (parts & (kViewCode | kViewSample)) {
        // The names come from the stored code, which changes when it is run or left.
        instrumentItems_->TextsChanged();
    }
    if (parts & kViewNewPattern) {
        ShowPatternNotes();
    }
    if ((parts & kViewEnv) && tools_.Env) {
        tools_.Env->SetEnv(model_->EditedEnv());
    }
    if (parts & kViewPattern) {
        EditPatternRepaint();
    }
    if (parts & kViewTrack) {
        EditTrackRepaint();
    }
    if (parts & kViewSample) {
        SampleImage->update();
    }
    if (parts & kViewPlaying) {
        playTimer_->start();
    }
    if (parts & kViewRecent) {
        RebuildRecent();
    }
    if (parts & kViewLiveInput) {
        OctavePanel->setText(QString::fromStdString(model_->LiveInputText()));
        MCRecord->setChecked(model_->Recording());
    }
    refreshing_ = outer;
}

} // namespace kellix
