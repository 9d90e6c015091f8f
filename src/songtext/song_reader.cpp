#include "songtext/song_reader.h"

#include "songtext/effects_record.h"
#include "songtext/text_file.h"
#include "support/numtext.h"
#include "support/text.h"
#include "support/tokenizer.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>

namespace kellix {

namespace {

// The apostrophe is an ordinary delimiter (there is no quoting); the tab is not one.
constexpr const char* kDelimiters = " ,.:;()[]'=<>\r\n";

enum class Section {
    None,
    Instruments,
    Point,
    Patterns,
    PatternIndex,
    TracksIndex,
    Tracks,
    Track,
    Effects,
    Function
};

bool IsWordChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

bool Same(const char* word, const char* expected) {
    return std::strcmp(word, expected) == 0;
}

// An upper-cased word against a label as the writer spells it.
bool SameLabel(const char* word, const char* label) {
    for (; *word && *label; ++word, ++label) {
        if (*word != UpperAscii(*label)) {
            return false;
        }
    }
    return *word == *label;
}

bool StartsWith(const char* word, const char* prefix) {
    return std::strncmp(word, prefix, std::strlen(prefix)) == 0;
}

// What the search for a body's end meets first from a position on.
enum class Mark { End, Comment, LineBreak, TextEnd };

// Moves pos to the first mark at or after it: an "end" in any letter case that stands as a
// whole word, a "//", a line break or the end of the text. Looks at pos, what follows it and
// the byte before, which the word splitter may only have turned from a delimiter into a zero.
Mark NextMark(const char* text, std::size_t& pos) {
    for (;; ++pos) {
        const char c = text[pos];
        if (!c) {
            return Mark::TextEnd;
        }
        if (c == '\r' || c == '\n') {
            return Mark::LineBreak;
        }
        if (c == '/' && text[pos + 1] == '/') {
            return Mark::Comment;
        }
        if (UpperAscii(c) == 'E' && UpperAscii(text[pos + 1]) == 'N' &&
            UpperAscii(text[pos + 2]) == 'D' && (pos == 0 || !IsWordChar(text[pos - 1])) &&
            !IsWordChar(text[pos + 3])) {
            return Mark::End;
        }
    }
}

// Where function bodies end: at the first whole-word "end" after the body's start that has no
// "//" before it on its line after that start, so that "blend", "endless" or "// the end" in
// the code do not cut it, while a "//" before "begin" hides nothing. Bodies are looked for at
// ever later starts; the search costs time in proportion to the text once in all.
struct BodyEnds {
    const char* text;
    // A search ran to the end of the text: every "end" after it stands behind a "//" on its
    // line. From any later start only one on that start's own line, before any "//", can
    // still end a body: the first mark from the start tells, and is kept for the next start.
    bool noneFurther = false;
    std::size_t markAt = 0;
    Mark mark = Mark::TextEnd;
};

// The offset of the end of the body that starts at start, or none.
std::optional<std::size_t> FindBodyEnd(BodyEnds& ends, std::size_t start) {
    if (ends.noneFurther) {
        if (start > ends.markAt) {
            ends.markAt = start;
            ends.mark = NextMark(ends.text, ends.markAt);
        }
        return ends.mark == Mark::End ? std::optional(ends.markAt) : std::nullopt;
    }
    for (std::size_t pos = start;; ++pos) {
        Mark mark = NextMark(ends.text, pos);
        if (mark == Mark::End) {
            return pos;
        }
        if (mark == Mark::Comment) {
            pos += std::strcspn(ends.text + pos, "\r\n");
            mark = ends.text[pos] ? Mark::LineBreak : Mark::TextEnd;
        }
        if (mark == Mark::TextEnd) {
            ends.noneFurther = true;
            ends.markAt = start;
            ends.mark = NextMark(ends.text, ends.markAt);
            return std::nullopt;
        }
    }
}

// "INITSAMPLE" followed by the unsigned form of an existing instrument's index.
bool InitSampleIndex(const char* word, int32_t instrumentCount, int32_t& index) {
    if (!StartsWith(word, "INITSAMPLE")) {
        return false;
    }
    const char* digits = word + 10;
    std::size_t length = std::strlen(digits);
    if (length == 0 || length > 10 || (digits[0] == '0' && length > 1)) {
        return false;
    }
    int64_t value = 0;
    for (const char* p = digits; *p; ++p) {
        if (*p < '0' || *p > '9') {
            return false;
        }
        value = value * 10 + (*p - '0');
    }
    if (value >= instrumentCount) {
        return false;
    }
    index = static_cast<int32_t>(value);
    return true;
}

struct SongReader {
    TTrack& song;
    char* text;
    SongReadReport& report;
    WordSplitter words;
    BodyEnds bodyEnds;
    std::size_t length = 0; // of the text, up to its first zero byte
    int64_t budget = 0;
    int32_t moreDropped = 0; // tables left out beyond the lines of the report
    // The pattern and track tables as the text has sized them so far. Growing them by section
    // index reserves room ahead (see Reserve), so the blocks may be longer while reading.
    int32_t patterns = 0;
    int32_t tracks = 0;
    Section section = Section::None;
    int32_t step = 0; // 0 is idle
    int32_t j = 0;
    int32_t k = 0;
};

char* NextWord(SongReader& r) {
    char* word = NextToken(r.words, nullptr, kDelimiters);
    if (word) {
        TextUpper(word);
    }
    return word;
}

// Takes "ARRAY", "0", the upper bound, "OF" and the element type. A text that ends after the
// bound or after "OF" still yields the bound.
bool ReadArrayHeader(SongReader& r, const char* type, int32_t& n) {
    char* word = NextWord(r);
    if (!word || !Same(word, "ARRAY")) {
        return false;
    }
    word = NextWord(r);
    if (!word || !Same(word, "0")) {
        return false;
    }
    word = NextWord(r);
    if (!word) {
        return false;
    }
    n = TextToInt(word);
    word = NextWord(r);
    if (word) {
        if (!Same(word, "OF")) {
            return false;
        }
        word = NextWord(r);
        if (word && !Same(word, type)) {
            return false;
        }
    }
    return n >= 0;
}

// Charges new table elements to the budget of the read; false when it would run out.
bool Spend(SongReader& r, int64_t elements) {
    if (elements > r.budget) {
        return false;
    }
    r.budget -= elements;
    return true;
}

// Notes a table left out for the reader's limits: its name as the text calls it and why.
void Drop(SongReader& r, const std::string& table, const std::string& why) {
    if (r.report.Dropped.size() < kMaxDroppedLines) {
        r.report.Dropped.push_back(table + ": " + why + "; not read");
    } else {
        ++r.moreDropped;
    }
}

// "1 event", "2 events": the number of elements of a header's upper bound n.
std::string Elements(int32_t n, const char* one, const char* many) {
    return std::to_string(int64_t{n} + 1) + " " + (n == 0 ? one : many);
}

std::string OverTableLimit(int32_t n, const char* one, const char* many) {
    return Elements(n, one, many) + ", more than the " + std::to_string(kMaxSongTables) +
           " a song may hold";
}

std::string OverListLimit(int32_t n, const char* one, const char* many, const char* holder) {
    return Elements(n, one, many) + ", more than the " + std::to_string(kMaxSongListEntries) + " " +
           holder + " may hold";
}

std::string OverBudget(const SongReader& r, const std::string& what) {
    return what + ", more than a text of " + std::to_string(r.length) + " bytes can describe";
}

// The index in "PointJ" or "PatternIndexJ" names no table the song may have.
std::string BadIndex(int32_t j, const char* table) {
    return j < 0 ? std::string("a negative ") + table + " number"
                 : std::string(table) + " " + std::to_string(j) + ", past the " +
                       std::to_string(kMaxSongTables) + " " + table + "s a song may hold";
}

// Elements added when a table of count elements grows to index + 1.
int64_t Growth(int32_t count, int32_t index) {
    return std::max<int64_t>(int64_t{index} + 1 - std::max(count, 0), 0);
}

// Makes a table that the text grows by section index at least count elements long. The block
// grows geometrically, so that sections naming ever higher indices take linear time instead
// of copying the whole table each time; the extra elements stay zero until the text reaches
// them, and the end of the read cuts them off.
void Reserve(TTrack& song, int32_t& length, int32_t count, int32_t blockCount,
             void (*resize)(TTrack&, int32_t)) {
    if (count > blockCount) {
        resize(song, std::min(kMaxSongTables, std::max(count, 2 * blockCount)));
    }
    length = std::max(length, count);
}

// Moves to next when the word is the expected label; otherwise the step stays and the step
// rule ends the section.
void Expect(SongReader& r, const char* word, const char* label, int32_t next) {
    if (Same(word, label)) {
        r.step = next;
    }
}

// After a good header the steps address element j, which exists: the section goes idle once
// the last element has been read, and no other section can resize the table before that.
void InstrumentsWord(SongReader& r, const char* word) {
    TInstrument* instrument = r.step > 1 ? &r.song.Instrument.EditAt(r.j) : nullptr;
    switch (r.step) {
    case 1: {
        int32_t n = 0;
        if (!ReadArrayHeader(r, "TINSTRUMENT", n)) {
            return; // step 1 stays: one retry after the next word
        }
        std::string why;
        if (n >= kMaxSongTables) {
            why = OverTableLimit(n, "instrument", "instruments");
        } else if (!Spend(r, int64_t{n} + 1)) {
            why = OverBudget(r, Elements(n, "instrument", "instruments"));
        }
        if (!why.empty()) {
            Drop(r, "Instruments", why);
            r.step = 0;
            return;
        }
        // Kept instruments keep their codes.
        ResizeInstruments(r.song, n + 1);
        r.j = 0;
        r.step = 2;
        return;
    }
    case 2:
        return Expect(r, word, "SAMPLETONE", 3);
    case 3:
        instrument->SampleTone = TextToInt(word);
        r.step = 4;
        return;
    case 4:
        return Expect(r, word, "NAME", 5);
    case 5:
        // The name is reserved and stays null: the reader never sets it.
        r.step = 6;
        return;
    case 6:
        return Expect(r, word, "SAMPLE", 7);
    case 7:
        // Samples are regenerated from the code after reading; instruments were emptied first.
        r.step = 8;
        return;
    case 8:
        return Expect(r, word, "ENV", 9);
    case 9:
        return Expect(r, word, "ATTACK", 10);
    case 10:
        instrument->Env.Attack = TextToInt(word);
        r.step = 11;
        return;
    case 11:
        return Expect(r, word, "CONT", 12);
    case 12:
        instrument->Env.Cont = TextToInt(word);
        r.step = 13;
        return;
    case 13:
        return Expect(r, word, "ENDE", 14);
    case 14:
        instrument->Env.Ende = TextToInt(word);
        ++r.j;
        r.step = r.j < r.song.InstrumentCount() ? 2 : 0;
        return;
    }
}

// Event k of pattern j exists after a good header, as for the instruments.
void PointWord(SongReader& r, const char* word) {
    TIdPoint* point = r.step > 1 ? &r.song.Patterns.EditAt(r.j).Points.EditAt(r.k) : nullptr;
    switch (r.step) {
    case 1: {
        int32_t n = 0;
        if (!ReadArrayHeader(r, "TIDPOINT", n)) {
            return; // one retry, as for Instruments
        }
        std::string why;
        if (r.j < 0 || r.j >= kMaxSongTables) {
            why = BadIndex(r.j, "pattern");
        } else if (n >= kMaxSongListEntries) {
            why = OverListLimit(n, "event", "events", "a pattern");
        } else if (!Spend(r, Growth(r.patterns, r.j) + n + 1)) {
            why = OverBudget(r, "pattern " + std::to_string(r.j) + " with " +
                                    Elements(n, "event", "events"));
        }
        if (!why.empty()) {
            Drop(r, "Point" + std::to_string(r.j), why);
            r.step = 0;
            return;
        }
        Reserve(r.song, r.patterns, r.j + 1, r.song.PatternCount(), ResizePatterns);
        ResizePoints(r.song, r.j, n + 1);
        r.k = 0;
        r.step = 2;
        return;
    }
    case 2:
        return Expect(r, word, "TIME", 3);
    case 3:
        point->Time = TextToInt(word);
        r.step = 4;
        return;
    case 4:
        return Expect(r, word, "TONE", 5);
    case 5:
        point->Tone = TextToInt(word);
        r.step = 6;
        return;
    case 6:
        return Expect(r, word, "INSTRUMENT", 7);
    case 7:
        point->Instrument = TextToInt(word);
        r.step = 8;
        return;
    case 8:
        return Expect(r, word, "VOL", 9);
    case 9:
        point->Vol = TextToInt(word);
        r.step = 10;
        return;
    case 10:
        return Expect(r, word, "PAN", 11);
    case 11:
        point->Pan = TextToInt(word);
        ++r.k;
        r.step = r.k < r.song.Patterns[r.j].PointsCount() ? 2 : 0;
        return;
    }
}

// Patterns and Tracks: only the header is read; each element's contents come from its own
// Point or PatternIndex section.
void TableWord(SongReader& r, const char* table, const char* type, const char* one,
               const char* many, int32_t& length, void (*resize)(TTrack&, int32_t)) {
    int32_t n = 0;
    if (!ReadArrayHeader(r, type, n)) {
        return; // one retry, as for Instruments
    }
    if (n >= kMaxSongTables) {
        Drop(r, table, OverTableLimit(n, one, many));
    } else if (!Spend(r, int64_t{n} + 1)) {
        Drop(r, table, OverBudget(r, Elements(n, one, many)));
    } else {
        resize(r.song, n + 1);
        length = n + 1;
    }
    r.step = 0;
}

// Returns true for a value of the run, which keeps the step without ending the section.
bool PatternIndexWord(SongReader& r, const char* word) {
    if (r.step == 1) {
        int32_t n = 0;
        r.step = 0; // the lists have no retry: a failed header ends the section at once
        if (!ReadArrayHeader(r, "LONGINT", n)) {
            return false;
        }
        std::string why;
        if (r.j < 0 || r.j >= kMaxSongTables) {
            why = BadIndex(r.j, "track");
        } else if (n >= kMaxSongListEntries) {
            why = OverListLimit(n, "pattern number", "pattern numbers", "a track");
        } else if (!Spend(r, Growth(r.tracks, r.j) + n + 1)) {
            why = OverBudget(r, "track " + std::to_string(r.j) + " with " +
                                    Elements(n, "pattern number", "pattern numbers"));
        }
        if (!why.empty()) {
            Drop(r, "PatternIndex" + std::to_string(r.j), why);
            return false;
        }
        Reserve(r.song, r.tracks, r.j + 1, r.song.TrackCount(), ResizeTracks);
        ResizePatternIndex(r.song, r.j, n + 1);
        r.k = 0;
        r.step = 2;
        return false;
    }
    TTrackPattern& track = r.song.Tracks.EditAt(r.j);
    track.PatternIndex.EditAt(r.k) = TextToInt(word);
    ++r.k;
    if (r.k >= track.PatternCount()) {
        r.step = 0;
    }
    return true;
}

bool TracksIndexWord(SongReader& r, const char* word) {
    if (r.step == 1) {
        int32_t n = 0;
        r.step = 0;
        if (!ReadArrayHeader(r, "LONGINT", n)) {
            return false;
        }
        if (n >= kMaxSongListEntries) {
            Drop(r, "TracksIndex",
                 OverListLimit(n, "play-list entry", "play-list entries", "the play list"));
            return false;
        }
        if (!Spend(r, int64_t{n} + 1)) {
            Drop(r, "TracksIndex",
                 OverBudget(r, Elements(n, "play-list entry", "play-list entries")));
            return false;
        }
        int32_t old = r.song.TrackIndexCount();
        ResizeTracksIndex(r.song, n + 1);
        // New entries count through the tracks the text has made, not the room reserved.
        for (int32_t i = old; i <= n; ++i) {
            r.song.TracksIndex.EditAt(i) = i % std::max(r.tracks, 1);
        }
        r.j = 0;
        r.step = 2;
        return false;
    }
    r.song.TracksIndex.EditAt(r.j) = TextToInt(word);
    ++r.j;
    if (r.j >= r.song.TrackIndexCount()) {
        r.step = 0;
    }
    return true;
}

// The root record: the counts are skipped (they come from the array headers), Speed and Row
// are taken.
void TrackWord(SongReader& r, const char* word) {
    switch (r.step) {
    case 1:
        return Expect(r, word, "TTRACK", 2);
    case 2:
        return Expect(r, word, "TRACKINDEXCOUNT", 3);
    case 4:
        return Expect(r, word, "TRACKCOUNT", 5);
    case 6:
        return Expect(r, word, "PATTERNCOUNT", 7);
    case 8:
        return Expect(r, word, "INSTRUMENTCOUNT", 9);
    case 10:
        return Expect(r, word, "SPEED", 11);
    case 11:
        r.song.Speed = TextToInt(word);
        r.report.SpeedSet = true;
        r.step = 12;
        return;
    case 12:
        return Expect(r, word, "ROW", 13);
    case 13:
        r.song.Row = TextToInt(word);
        r.report.RowSet = true;
        r.step = 0;
        return;
    default: // the value of a count
        ++r.step;
        return;
    }
}

// The effects record: its type, then each field's label and value in the order of the text.
// Values are taken as the mixer would use them; the section ends after the last one.
void EffectsWord(SongReader& r, const char* word) {
    if (r.step == 1) {
        if (SameLabel(word, kEffectsRecordType)) {
            r.step = 2;
        }
        return;
    }
    const std::size_t field = static_cast<std::size_t>(r.step - 2) / 2;
    if (r.step % 2 == 0) {
        if (SameLabel(word, kEffectsFields[field].Label)) {
            ++r.step;
        }
        return;
    }
    r.song.Effects.*kEffectsFields[field].Member = TextToInt(word);
    r.song.Effects = LimitEffects(r.song.Effects);
    r.step = field + 1 < kEffectsFields.size() ? r.step + 1 : 0;
}

// The body runs from the first non-delimiter after "begin" to the first whole-word "end"
// outside a comment, without its trailing blanks; it is stored with one leading space. Words
// go on from the end of the body. Without an "end" nothing is stored and words go on after
// "begin".
void TakeBody(SongReader& r) {
    char* start = r.words.Resume;
    if (!start) {
        return;
    }
    const std::optional<std::size_t> found =
        FindBodyEnd(r.bodyEnds, static_cast<std::size_t>(start - r.text));
    if (!found) {
        return;
    }
    char* stop = r.text + *found;
    while (stop > start && static_cast<unsigned char>(stop[-1]) <= 32) {
        --stop;
    }
    std::string body = " ";
    body.append(start, stop);
    SetInstrumentCode(r.song, r.j, body);
    r.report.LastCode = r.j;
    r.words.Resume = stop;
}

void FunctionWord(SongReader& r, const char* word) {
    if (r.step == 1) {
        if (InitSampleIndex(word, r.song.InstrumentCount(), r.j)) {
            r.step = 2;
        }
    } else if (r.step == 2) {
        r.step = 3; // the result type
    } else if (Same(word, "BEGIN")) {
        TakeBody(r);
        r.step = 0;
    }
}

// At idle: starts the section the word names, at step 1.
bool StartSection(SongReader& r, const char* word) {
    Section section = Section::None;
    if (Same(word, "INSTRUMENTS")) {
        section = Section::Instruments;
    } else if (StartsWith(word, "POINT")) {
        section = Section::Point;
        r.j = TextToInt(word + 5);
    } else if (Same(word, "PATTERNS")) {
        section = Section::Patterns;
    } else if (StartsWith(word, "PATTERNINDEX")) {
        section = Section::PatternIndex;
        r.j = TextToInt(word + 12);
    } else if (Same(word, "TRACKSINDEX")) {
        section = Section::TracksIndex;
    } else if (Same(word, "TRACKS")) {
        section = Section::Tracks;
    } else if (Same(word, "TRACK")) {
        section = Section::Track;
    } else if (SameLabel(word, kEffectsRecordName)) {
        section = Section::Effects;
    } else if (Same(word, "FUNCTION")) {
        section = Section::Function;
    } else {
        return false;
    }
    r.section = section;
    r.step = 1;
    return true;
}

// Feeds one upper-cased word to the state machine; true when the word was a value of a
// pattern list or of the play list.
bool ReadWord(SongReader& r, const char* word) {
    if (r.step == 0) {
        if (!StartSection(r, word)) {
            return false;
        }
        // The records and the functions compare the word after their name with step 1; every
        // other section checks its header straight after the name.
        if (r.section == Section::Track || r.section == Section::Effects ||
            r.section == Section::Function) {
            return false;
        }
    }
    switch (r.section) {
    case Section::Instruments:
        InstrumentsWord(r, word);
        return false;
    case Section::Point:
        PointWord(r, word);
        return false;
    case Section::Patterns:
        TableWord(r, "Patterns", "TPATTERN", "pattern", "patterns", r.patterns, ResizePatterns);
        return false;
    case Section::Tracks:
        TableWord(r, "Tracks", "TTRACKPATTERN", "track", "tracks", r.tracks, ResizeTracks);
        return false;
    case Section::PatternIndex:
        return PatternIndexWord(r, word);
    case Section::TracksIndex:
        return TracksIndexWord(r, word);
    case Section::Track:
        TrackWord(r, word);
        return false;
    case Section::Effects:
        EffectsWord(r, word);
        return false;
    case Section::Function:
        FunctionWord(r, word);
        return false;
    case Section::None:
        break;
    }
    return false;
}

} // namespace

SongReadReport ReadSongTextInPlace(TTrack& song, char* text) {
    SongReadReport found;
    ResizeInstruments(song, 0);
    if (!text) {
        return found;
    }
    SongReader r{song, text, found, WordSplitter(), BodyEnds{text}};
    r.length = std::strlen(text);
    r.budget = kReadElementBudget + static_cast<int64_t>(r.length);
    r.patterns = song.PatternCount();
    r.tracks = song.TrackCount();
    for (char* word = NextToken(r.words, text, kDelimiters); word;
         word = NextToken(r.words, nullptr, kDelimiters)) {
        TextUpper(word);
        int32_t before = r.step;
        bool value = ReadWord(r, word);
        // A word that leaves the step unchanged ends the section.
        if (r.step == before && !value) {
            r.step = 0;
        }
    }
    // Cut off the room reserved beyond what the text made.
    if (song.PatternCount() != r.patterns) {
        ResizePatterns(song, r.patterns);
    }
    if (song.TrackCount() != r.tracks) {
        ResizeTracks(song, r.tracks);
    }
    if (r.moreDropped > 0) {
        found.Dropped.push_back("and " + std::to_string(r.moreDropped) + " more table" +
                                (r.moreDropped == 1 ? "" : "s") + " not read");
    }
    return found;
}

SongReadReport ReadSongText(TTrack& song, std::string_view text) {
    std::string copy(text);
    SongReadReport report = ReadSongTextInPlace(song, copy.data());
    if (const std::size_t zero = text.find('\0'); zero != std::string_view::npos) {
        report.ZeroByte = zero;
    }
    return report;
}

bool LoadSongText(TTrack& song, const std::string& path, std::string* error,
                  SongReadReport* report) {
    std::string text;
    if (!ReadTextFile(path, text, error)) {
        return false;
    }
    SongReadReport found = ReadSongText(song, text);
    if (report) {
        *report = std::move(found);
    }
    return true;
}

} // namespace kellix
