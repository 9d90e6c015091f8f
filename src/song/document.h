#pragma once

#include "song/sample.h"
#include "song/track.h"
#include "support/file_stamp.h"

#include <optional>
#include <string>

namespace kellix {

// The song being worked on: the song itself, the samples its instruments' code made (one per
// instrument, kept in step by FitSamples), and the file it came from. The editor owns one;
// the file commands, the players and the renderer are given it.
struct Document {
    TTrack Song;
    SampleSet Samples;
    // The song's file: empty for a song never saved.
    std::string FileName;
    // The file as it was when opened or last saved, to tell whether someone changed it since.
    FileStamp Stamp;
    // The file holds text after a zero byte that was not read.
    bool UnreadTail = false;
    // The song as last opened or saved; none for work never saved (recovered after a crash).
    std::optional<TTrack> Saved;

    // The song differs from the one last opened or saved.
    bool Changed() const { return !Saved || !(Song == *Saved); }
    void MarkSaved() { Saved = Song; }
};

// One sample slot per instrument: the samples of dropped instruments are released, new
// instruments have none.
inline void FitSamples(Document& doc) {
    doc.Samples.Resize(doc.Song.InstrumentCount());
}

} // namespace kellix
