#include "ui/model/clipboard_text.h"

#include "songtext/song_reader.h"
#include "songtext/song_writer.h"
#include "support/numtext.h"

#include <algorithm>

namespace kellix {

namespace {

bool IsWordChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// How many times the word stands in the text as a whole word, in any letter case.
int64_t WordCount(std::string_view text, std::string_view word) {
    int64_t count = 0;
    for (std::size_t i = 0; i + word.size() <= text.size(); ++i) {
        if ((i == 0 || !IsWordChar(text[i - 1])) &&
            (i + word.size() == text.size() || !IsWordChar(text[i + word.size()])) &&
            std::equal(word.begin(), word.end(), text.begin() + static_cast<std::ptrdiff_t>(i),
                       [](char a, char b) { return (a & ~0x20) == (b & ~0x20); })) {
            ++count;
        }
    }
    return count;
}

std::vector<TIdPoint> NotesOfSections(std::string_view text) {
    TTrack song;
    ReadSongText(song, text);
    std::vector<TIdPoint> notes;
    for (const TPattern& pattern : song.Patterns) {
        notes.insert(notes.end(), pattern.Points.begin(), pattern.Points.end());
    }
    return notes;
}

} // namespace

std::string NotesClipText(std::span<const TIdPoint> notes) {
    if (notes.empty()) {
        return {};
    }
    const int32_t first =
        std::min_element(notes.begin(), notes.end(), [](const TIdPoint& a, const TIdPoint& b) {
            return a.Time < b.Time;
        })->Time;
    std::vector<TIdPoint> relative(notes.begin(), notes.end());
    for (TIdPoint& note : relative) {
        // Notes read from a file may lie further apart than a Time can say.
        note.Time = static_cast<int32_t>(std::min<int64_t>(int64_t{note.Time} - first, INT32_MAX));
    }
    std::string text;
    PutPointSection(text, 0, relative);
    return text;
}

std::vector<TIdPoint> NotesFromClipText(std::string_view text) {
    // A text is read up to its first zero byte, as a song file is.
    text = text.substr(0, text.find('\0'));
    std::vector<TIdPoint> notes = NotesOfSections(text);
    if (!notes.empty()) {
        return notes;
    }
    // Bare elements: one for each "Time" label; a text of more elements than a pattern holds is
    // left to the reader's limits.
    const int64_t elements = WordCount(text, "Time");
    if (elements == 0) {
        return notes;
    }
    std::string section = "Point0: array [0..";
    char digits[16];
    section.append(digits, WriteUnsigned(digits, static_cast<int32_t>(
                                                     std::min<int64_t>(elements, INT32_MAX) - 1)));
    section += "] of TIdPoint=(";
    section += text;
    section += ");";
    return NotesOfSections(section);
}

std::string PatternListClipText(std::span<const int32_t> patterns) {
    std::string text;
    PutPatternIndexSection(text, 0, patterns);
    return text;
}

std::optional<std::vector<int32_t>> PatternListFromClipText(std::string_view text) {
    TTrack song;
    ReadSongText(song, text);
    for (const TTrackPattern& track : song.Tracks) {
        if (!track.PatternIndex.empty()) {
            return std::vector<int32_t>(track.PatternIndex.begin(), track.PatternIndex.end());
        }
    }
    return std::nullopt;
}

} // namespace kellix
