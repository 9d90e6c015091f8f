#pragma once

#include "song/track.h"
#include "songtext/text_file.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace kellix {

// Appends the opening of an array constant: two spaces and the name, ": array [0..", the upper
// bound n in unsigned form, "] of ", the element type and "=(". No line break follows. A null
// name writes neither the spaces nor a name, for callers that have already written a composed
// one ("  Point3", "  PatternIndex0").
void ArrayHeader(std::string& out, const char* name, const char* type, int32_t n);

// One pattern's notes as the song text holds them: "  PointN: array [0..n-1] of TIdPoint=(", one
// "( Time: 1; Tone: 2; Instrument: 0; Vol: 256; Pan: 128)" element a line, ");" and a blank
// line. Nothing for no notes. The clipboard carries notes in this form too.
void PutPointSection(std::string& out, int32_t pattern, std::span<const TIdPoint> points);
// One track's pattern numbers: "  PatternIndexN: array [0..n-1] of longint=(3,0,7);" and a blank
// line. Nothing for none.
void PutPatternIndexSection(std::string& out, int32_t track, std::span<const int32_t> patterns);

// The song text of a song: every table as an array constant, the root record, the effects
// record when the effects are not a new song's (effects_record.h) and one InitSample function
// per instrument, CR LF line breaks. Counts, indices, Time,
// Instrument, Vol, Pan, the envelope, Speed and Row are written unsigned (a negative value as
// itself plus 2^32), SampleTone and Tone signed. Sample blocks and names are written as nil.
// Lines have no length limit. Instruments without code are written with empty bodies.
std::string SongText(const TTrack& song);

// Whether a song text of size bytes may be written as a file: the reader refuses files larger
// than limit (kMaxTextFileBytes), so a larger text would be a song that can never be opened
// again. When it may not, false with a message naming path and the sizes.
bool SongTextFits(std::size_t size, const std::string& path, std::string* error,
                  std::size_t limit = kMaxTextFileBytes);

// Writes a song text to path as WriteFileAtomically does (a failed save leaves the previous
// file intact), after SongTextFits: a text too large for the reader is refused and nothing is
// written. Every writer of song text goes through here: Save, the renderer's resave and the
// recovery file. On failure returns false with a message naming the file and the reason.
bool WriteSongText(const std::string& path, const std::string& text, std::string* error,
                   std::size_t limit = kMaxTextFileBytes);

// WriteSongText of SongText(song).
bool SaveSongText(const TTrack& song, const std::string& path, std::string* error,
                  std::size_t limit = kMaxTextFileBytes);

} // namespace kellix
