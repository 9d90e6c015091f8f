#pragma once

// The song, in the words its file uses:
// - TTrack: the song itself: its step length (Speed) and steps per play-list entry (Row), the
//   play list (TracksIndex), the tracks, the patterns and the instruments.
// - TIdPoint: one note: when (Time, in steps from the pattern's start), how high (Tone, in
//   semitones), which instrument, how loud (Vol) and where (Pan).
// - TPattern: the notes (Points) that belong together, in no required order.
// - TTrackPattern: one track: the patterns (PatternIndex) that start together when it plays.
// - TracksIndex: the play list: track numbers played one after another, Row steps each.
// - TInstrument: one instrument: its tuning (SampleTone), its envelope (Env: rise over Attack
//   frames, hold for Cont frames, fall over Ende frames) and its code, the script whose run
//   makes its sample. The samples themselves are not part of the song (see SampleSet).
// - TEffects: the master effects the song is heard with (song_effects.h).
// A song is a value: copies share their arrays until one of them changes (SharedArray), and
// two songs compare equal when everything the song file would hold is equal.

#include "song/shared_array.h"
#include "song/song_effects.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace kellix {

struct TIdPoint {
    int32_t Time;
    int32_t Tone;
    int32_t Instrument;
    int32_t Vol; // the voice's peak is Vol x 127
    int32_t Pan; // 0..255, 128 the centre
    bool operator==(const TIdPoint&) const = default;
};

struct TPattern {
    SharedArray<TIdPoint> Points;
    int32_t PointsCount() const { return Points.size(); }
    bool operator==(const TPattern&) const = default;
};

struct TTrackPattern {
    SharedArray<int32_t> PatternIndex;
    int32_t PatternCount() const { return PatternIndex.size(); }
    bool operator==(const TTrackPattern&) const = default;
};

// Envelope durations in output frames: rise over Attack, hold for Cont, fall over Ende.
struct TEnvelope {
    int32_t Attack;
    int32_t Cont;
    int32_t Ende;
    bool operator==(const TEnvelope&) const = default;
};

// The envelope the mixer gives a voice that has none: the peak at once, held for 268435455
// frames (about 100 minutes), no fall.
inline constexpr TEnvelope kHeldEnvelope{0, 268435455, 0};

// The code of an instrument: the body of its InitSample function, or none for an instrument
// that has no code yet (the editor then offers the default code; the song file writes it as an
// empty body, so as a value it equals an empty code). The text never changes in place, so
// copies of a song share it.
class CodeText {
  public:
    CodeText() = default;
    explicit CodeText(std::string_view text) : text_(std::make_shared<const std::string>(text)) {}
    bool Exists() const { return text_ != nullptr; }
    // The text, empty for none.
    const std::string& Text() const { return text_ ? *text_ : Empty(); }
    const void* Identity() const { return text_.get(); }
    std::size_t Bytes() const { return text_ ? text_->size() : 0; }
    friend bool operator==(const CodeText& a, const CodeText& b) {
        return a.text_ == b.text_ || a.Text() == b.Text();
    }

  private:
    static const std::string& Empty();
    std::shared_ptr<const std::string> text_;
};

struct TInstrument {
    int32_t SampleTone = 0; // tuning in sixteenths of a semitone
    TEnvelope Env{};
    CodeText Code;
    bool operator==(const TInstrument&) const = default;
};

struct TTrack {
    int32_t Speed = 0; // one step lasts Speed x 32 frames
    int32_t Row = 0;   // steps in one play-list entry
    SharedArray<int32_t> TracksIndex;
    SharedArray<TTrackPattern> Tracks;
    SharedArray<TPattern> Patterns;
    SharedArray<TInstrument> Instrument;
    TEffects Effects;

    int32_t TrackIndexCount() const { return TracksIndex.size(); }
    int32_t TrackCount() const { return Tracks.size(); }
    int32_t PatternCount() const { return Patterns.size(); }
    int32_t InstrumentCount() const { return Instrument.size(); }
    bool operator==(const TTrack&) const = default;
};

// A new song's step length and steps per play-list entry.
constexpr int32_t kDefaultSpeed = 128;
constexpr int32_t kDefaultRow = 16;

// The song's tables are resized keeping the first min(n, count) elements; new ones are empty
// (an instrument without code, tuning or envelope). A count below 1 empties the table.
void ResizeInstruments(TTrack& song, int32_t n);
void ResizePatterns(TTrack& song, int32_t n);
void ResizeTracks(TTrack& song, int32_t n);
// New play-list entries at index i are i mod TrackCount (a TrackCount below 1 counts as 1).
void ResizeTracksIndex(TTrack& song, int32_t n);
// Pattern and track indices outside their tables are ignored.
void ResizePoints(TTrack& song, int32_t pattern, int32_t n);
void ResizePatternIndex(TTrack& song, int32_t track, int32_t n);

// Index of the last matching event, or -1.
int32_t FindPoint(const TPattern& pattern, int32_t time, int32_t tone, int32_t instrument);
// Appends a note and returns its index.
int32_t AppendPoint(TPattern& pattern, const TIdPoint& point);
// Removes one event keeping the order of the others; an index outside the array does nothing.
void DeletePoint(TPattern& pattern, int32_t index);
int32_t FindPatternIndex(const TTrackPattern& track, int32_t pattern);
int32_t AppendPatternIndex(TTrackPattern& track, int32_t pattern);
void DeletePatternIndex(TTrackPattern& track, int32_t index);

// The code of instrument index; none outside the instruments.
const CodeText& InstrumentCodeAt(const TTrack& song, int32_t index);
// Replaces the code of instrument index (nothing outside the instruments).
void SetInstrumentCode(TTrack& song, int32_t index, std::string_view text);

// The default song: ten empty instruments (without code), patterns and tracks, the play list
// 0..9, Row 16, Speed 128.
TTrack NewSong();

} // namespace kellix
