#pragma once

#include "support/file_stamp.h"

#include <optional>
#include <string>

namespace kellix {

// The song file that recovered work belongs to: its name (empty for a song never saved), its
// stamp when it was last opened or saved, and whether it holds text after a zero byte that was
// not read (a save then asks before it replaces that text).
struct RecoveredFile {
    std::string Name;
    FileStamp Stamp;
    bool UnreadTail = false;
};

// Where a run keeps its unsaved work, so that a run that ends without a clean exit (a crash, a
// kill, a power cut) can be restored at the next start. Each run has its own recovery file and
// holds a lock on a file of its own while it lives: a recovery file whose lock nobody holds was
// left by a run that has ended. Several runs at once leave each other's files alone.
class RecoveryStore {
  public:
    // The folder is created when the first recovery file is written.
    explicit RecoveryStore(std::string folder);
    ~RecoveryStore();
    RecoveryStore(const RecoveryStore&) = delete;
    RecoveryStore& operator=(const RecoveryStore&) = delete;

    // $XDG_STATE_HOME/kellix, or ~/.local/state/kellix.
    static std::string DefaultFolder();

    // Replaces this run's recovery file by the text, atomically. The song file the work
    // belongs to is kept in a file beside it, so that the recovery file stays a song file.
    bool Write(const std::string& text, const RecoveredFile& file, std::string* error);
    // Removes this run's recovery file (after a save, or at a clean exit).
    void Discard();
    bool HasFile() const { return written_; }
    const std::string& Path() const { return path_; }

    // The newest recovery file left by a run that has ended, if any, and not being offered by
    // another run right now.
    std::optional<std::string> FindLeftOver() const;
    // Takes the left-over file's run lock while it is offered and restored, so that no other
    // run offers it meanwhile. False when another run holds it.
    bool ClaimLeftOver(const std::string& path);
    void ReleaseLeftOver();
    // Removes a left-over file, the note of its song file and the lock file of its run.
    static void RemoveLeftOver(const std::string& path);
    // The song file a recovery file was written for; an empty name when it had none or the
    // note cannot be read.
    static RecoveredFile FileOf(const std::string& path);

  private:
    bool Claim(std::string* error);

    std::string folder_;
    std::string path_;
    std::string lockPath_;
    int lockFd_ = -1;
    int claimFd_ = -1;
    bool written_ = false;
};

} // namespace kellix
