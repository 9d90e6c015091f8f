// The File menu: songs, instrument code files and the rendered WAV file.
#include "ui/model/editor_model.h"

#include "audio/live_output.h"
#include "audio/sequencer.h"
#include "songtext/song_presence.h"
#include "songtext/song_reader.h"
#include "songtext/song_writer.h"
#include "songtext/text_file.h"
#include "support/atomic_file.h"
#include "support/file_stamp.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

namespace kellix {

namespace {

constexpr const char* kSongFilter = "Text files (*.txt)|*.TXT";
constexpr const char* kSongExt = "*.txt";
constexpr const char* kCodeFilter = "Code (*.TXT)|*.txt";
constexpr const char* kWavFilter = "Audio files (*.wav)|*.wav";
constexpr const char* kWavExt = "*.wav";

// "instrument" and the number, padded with zeros to four digits.
std::string InstrumentFileName(int32_t index) {
    std::string number = std::to_string(int64_t{index} + 1);
    while (number.size() < 4) {
        number.insert(number.begin(), '0');
    }
    return "instrument" + number;
}

bool EndsWithWav(const std::string& name) {
    std::string ext = std::filesystem::path(name).extension().string();
    for (char& c : ext) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return ext == ".wav";
}

// The name of the file without its folder, for the status bar.
std::string NameOnly(const std::string& path) {
    return std::filesystem::path(path).filename().string();
}

std::string AbsolutePath(const std::string& path) {
    std::error_code ec;
    std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    return ec ? path : absolute.lexically_normal().string();
}

} // namespace

// A dialog remembers the file it last gave, as its suggestion for the next time.
std::optional<std::string> EditorModel::AskOpen() {
    std::optional<std::string> path = dialogs_.OpenFile(openDialog_);
    if (path) {
        openDialog_.FileName = *path;
    }
    return path;
}

std::optional<std::string> EditorModel::AskSave() {
    std::optional<std::string> path = dialogs_.SaveFile(saveDialog_);
    if (path) {
        saveDialog_.FileName = *path;
    }
    return path;
}

bool EditorModel::AskToSave() {
    if (!Changed()) {
        return true;
    }
    switch (dialogs_.AskSaveChanges()) {
    case SaveAnswer::Save:
        return Save();
    case SaveAnswer::Discard:
        return true;
    case SaveAnswer::Cancel:
        break;
    }
    return false;
}

bool EditorModel::ConfirmClose() {
    return AskToSave();
}

bool EditorModel::New() {
    if (!AskToSave()) {
        return false;
    }
    doc_.FileName.clear();
    doc_.UnreadTail = false;
    ShowNewSong();
    // Undo cannot reach the previous song.
    history_.Clear();
    recovery_.Discard();
    return true;
}

bool EditorModel::Open() {
    if (!AskToSave()) {
        return false;
    }
    openDialog_.Filter = kSongFilter;
    openDialog_.DefaultExt = kSongExt;
    std::optional<std::string> path = AskOpen();
    return path && LoadSong(*path);
}

bool EditorModel::OpenPath(const std::string& path) {
    return AskToSave() && LoadSong(path);
}

bool EditorModel::LoadSong(const std::string& path) {
    // The file is read whole and checked before anything changes: a file that cannot be read or
    // holds no song leaves the song, its name and the title as they were.
    std::string text;
    std::string error;
    bool readable = ReadTextFile(path, text, &error);
    if (readable && !HoldsSong(text)) {
        error = "\"" + path + "\" holds no song";
        readable = false;
    }
    if (!readable) {
        dialogs_.ShowError(error);
        // A song that cannot be read now (permissions, a folder not mounted) stays in the list
        // while its file exists.
        if (PathIsMissing(path)) {
            recent_.Remove(AbsolutePath(path));
            view_.Refresh(kViewRecent);
        }
        return false;
    }
    doc_.FileName = AbsolutePath(path);
    doc_.Stamp = StampOf(doc_.FileName);
    const SongReadReport report = ReadIntoSong(text);
    doc_.MarkSaved();
    recovery_.Discard();
    recent_.Add(doc_.FileName);
    view_.Refresh(kViewTitle | kViewPattern | kViewTrack | kViewRecent);
    // What the reader could not take is said, and the file is not written over unasked.
    std::string notRead;
    if (report.ZeroByte) {
        notRead = "\"" + path + "\" holds a zero byte at " + std::to_string(*report.ZeroByte) +
                  "; what follows was not read";
    }
    for (const std::string& line : report.Dropped) {
        notRead += (notRead.empty() ? "\"" + path + "\": " : "\n") + line;
    }
    doc_.UnreadTail = report.ZeroByte.has_value();
    if (!notRead.empty()) {
        dialogs_.ShowError(notRead);
    }
    return true;
}

SongReadReport EditorModel::ReadIntoSong(const std::string& text) {
    // The song read starts from a new song's speed and row, not from the previous song's.
    TTrack song;
    song.Speed = kDefaultSpeed;
    song.Row = kDefaultRow;
    const SongReadReport report = ReadSongText(song, text);
    doc_.Song = std::move(song);
    // Every sample is made again from the code read.
    doc_.Samples = SampleSet();
    InstrumentFill();
    PatternFill();
    TracksIndexFill();
    TracksFill();
    PutBackCounts();
    FollowEffects();
    history_.Clear();
    return report;
}

bool EditorModel::OpenRecent(std::size_t index) {
    if (index >= recent_.Paths().size()) {
        return false;
    }
    const std::string path = recent_.Paths()[index];
    return OpenPath(path);
}

bool EditorModel::Save() {
    if (doc_.FileName.empty()) {
        return SaveAs();
    }
    StoreCodeBox();
    return SaveTo(doc_.FileName);
}

bool EditorModel::SaveAs() {
    saveDialog_.Filter = kSongFilter;
    saveDialog_.DefaultExt = kSongExt;
    // The song's own name is suggested, never a file another command chose (a rendered WAV).
    saveDialog_.FileName = doc_.FileName.empty() ? "untitled.txt" : doc_.FileName;
    std::optional<std::string> path = AskSave();
    if (!path) {
        return false;
    }
    // The code the user sees goes into the file.
    StoreCodeBox();
    if (!SaveTo(*path)) {
        return false;
    }
    doc_.FileName = AbsolutePath(*path);
    view_.Refresh(kViewTitle);
    return true;
}

bool EditorModel::MayOverwriteSongFile() {
    if (doc_.UnreadTail &&
        !dialogs_.Confirm("\"" + doc_.FileName +
                          "\" holds text after a zero byte that was not read; saving replaces "
                          "it. Save anyway?")) {
        return false;
    }
    const FileStamp now = StampOf(doc_.FileName);
    return !now.Exists || now == doc_.Stamp ||
           dialogs_.Confirm("\"" + doc_.FileName +
                            "\" was changed on disk since it was opened or saved. Overwrite it?");
}

bool EditorModel::SaveTo(const std::string& path) {
    const bool ownFile = !doc_.FileName.empty() && SameFile(path, doc_.FileName);
    if (ownFile && !MayOverwriteSongFile()) {
        return false;
    }
    std::string error;
    if (!SaveSongText(doc_.Song, path, &error)) {
        dialogs_.ShowError(error);
        return false;
    }
    doc_.Stamp = StampOf(path);
    doc_.UnreadTail = false;
    doc_.MarkSaved();
    history_.EndMerge();
    cleanCode_ = code_;
    recovery_.Discard();
    recent_.Add(AbsolutePath(path));
    status_ = "Saved " + NameOnly(path);
    view_.Refresh(kViewRecent | kViewStatus);
    return true;
}

// ---- Recovery.

std::string EditorModel::RecoveryText() const {
    // The code box's text goes in for the current instrument without being stored: a write
    // every thirty seconds must not become a change of its own.
    TTrack withBox = doc_.Song;
    SetInstrumentCode(withBox, sel_.Instrument, code_);
    return SongText(withBox);
}

void EditorModel::WriteRecovery() {
    if (!Changed()) {
        recovery_.Discard();
        return;
    }
    if (!recoveryDirty_ && recovery_.HasFile()) {
        return;
    }
    std::string error;
    const bool ok =
        recovery_.Write(RecoveryText(), {doc_.FileName, doc_.Stamp, doc_.UnreadTail}, &error);
    recoveryDirty_ = !ok;
    // Said once when the work can no longer be kept, and once when it can again.
    if (ok == recoveryFailing_) {
        recoveryFailing_ = !ok;
        status_ = ok ? "Unsaved work is kept for recovery again"
                     : "Unsaved work cannot be kept for recovery: " + error;
        view_.Refresh(kViewStatus);
    }
}

std::optional<std::string> EditorModel::RecoveryFile() const {
    return recovery_.HasFile() ? std::optional<std::string>(recovery_.Path()) : std::nullopt;
}

bool EditorModel::OfferRecovery() {
    const std::optional<std::string> left = recovery_.FindLeftOver();
    // Another window offering the same file holds it: only one of them asks.
    if (!left || !recovery_.ClaimLeftOver(*left)) {
        return false;
    }
    const bool restored = RestoreLeftOver(*left);
    recovery_.ReleaseLeftOver();
    return restored;
}

bool EditorModel::RestoreLeftOver(const std::string& left) {
    if (!dialogs_.AskRestoreRecovery()) {
        RecoveryStore::RemoveLeftOver(left);
        return false;
    }
    std::string text;
    std::string error;
    if (!ReadTextFile(left, text, &error)) {
        dialogs_.ShowError("The unsaved song was not restored. " + error);
        return false;
    }
    if (!HoldsSong(text)) {
        dialogs_.ShowError("The unsaved song was not restored: \"" + left + "\" holds no song");
        RecoveryStore::RemoveLeftOver(left);
        return false;
    }
    // The work keeps its file: Save writes there (asking, as ever, when the file was changed
    // since), and the song counts as changed until then.
    const RecoveredFile file = RecoveryStore::FileOf(left);
    doc_.FileName = file.Name;
    doc_.Stamp = file.Stamp;
    doc_.UnreadTail = file.UnreadTail;
    ReadIntoSong(text);
    doc_.Saved.reset();
    // This run keeps the work from now on, before the left-over file goes.
    recoveryDirty_ = true;
    WriteRecovery();
    RecoveryStore::RemoveLeftOver(left);
    view_.Refresh(kViewTitle | kViewPattern | kViewTrack);
    return true;
}

bool EditorModel::OpenInstrument() {
    openDialog_.Filter = kCodeFilter;
    openDialog_.FileName = "*.txt";
    std::optional<std::string> path = AskOpen();
    if (!path) {
        return false;
    }
    std::string text;
    std::string error;
    if (!ReadTextFile(*path, text, &error)) {
        dialogs_.ShowError(error);
        return false;
    }
    // The code box holds text up to the first zero byte.
    text.resize(std::strlen(text.c_str()));
    // The song stays as it was: the step gives back the code box and the sample it showed.
    history_.Record(ChangeKind::OpenInstrument, -1, doc_.Song,
                    std::make_shared<const CodeBoxChange>(
                        CodeBoxChange{sel_.Instrument, sel_.Active(), code_, text}));
    code_ = std::move(text);
    view_.Refresh(kViewCode);
    RunFor(code_);
    return true;
}

bool EditorModel::SaveInstrumentAs() {
    saveDialog_.Filter = kCodeFilter;
    if (sel_.Instrument == -1) {
        return false;
    }
    saveDialog_.FileName = InstrumentFileName(sel_.Instrument);
    saveDialog_.DefaultExt = "txt";
    std::optional<std::string> path = AskSave();
    if (!path) {
        return false;
    }
    std::string error;
    if (!WriteFileAtomically(*path, code_.data(), code_.size(), &error)) {
        dialogs_.ShowError(error);
        return false;
    }
    return true;
}

bool EditorModel::SaveResultAs() {
    saveDialog_.Filter = kWavFilter;
    saveDialog_.DefaultExt = kWavExt;
    // The save dialog remembers the last name it was given, most often the song's own: a quick
    // Enter would write the sound over the song. Suggest the song's name with ".wav" instead.
    if (!EndsWithWav(saveDialog_.FileName)) {
        saveDialog_.FileName =
            doc_.FileName.empty()
                ? std::string()
                : std::filesystem::path(doc_.FileName).replace_extension(".wav").string();
    }
    std::optional<std::string> path = AskSave();
    if (!path) {
        return false;
    }
    if (!doc_.FileName.empty() && SameFile(*path, doc_.FileName)) {
        dialogs_.ShowError("\"" + *path +
                           "\" is the song being edited: the result was not written");
        return false;
    }
    // The tail lets the releases, the echoes and the reverb ring out after the song's end.
    const std::optional<double> tail = dialogs_.AskTail(tailSeconds_);
    if (!tail) {
        return false;
    }
    tailSeconds_ = std::clamp(*tail, 0.0, kMaxTailSeconds);
    const int64_t tailFrames = std::llround(tailSeconds_ * 44100);
    std::string error;
    bool cancelled = false;
    dialogs_.BeginProgress("Save result as..");
    const bool ok = live_.Export(
        doc_.Song, doc_.Samples, Effects(), *path, &error,
        [&](int64_t done, int64_t total) {
            cancelled = cancelled || !dialogs_.Progress(done, total);
            return !cancelled;
        },
        tailFrames);
    dialogs_.EndProgress();
    if (!ok && !cancelled) {
        dialogs_.ShowError(error);
    }
    if (ok) {
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.2f",
                      static_cast<double>(SongFrames(doc_.Song) + tailFrames) / 44100);
        status_ = "Wrote " + NameOnly(*path) + " (" + seconds + " s)";
        view_.Refresh(kViewStatus);
    }
    return ok;
}

} // namespace kellix
