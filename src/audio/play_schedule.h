#pragma once

#include "song/sample.h"
#include "song/track.h"

#include <compare>
#include <cstdint>
#include <queue>
#include <vector>

namespace kellix {

// What a play command plays: the song from a play-list entry, a track or a pattern.
struct PlayRequest {
    enum class What { Song, Track, Pattern };
    What Kind = What::Song;
    int32_t Index = 0; // the first play-list entry, the track or the pattern
};

// Frames of one pass of what the request plays: the play list from its entry to its end, or
// one play-list entry for a track or a pattern. 0 for a request that names nothing.
int64_t PassFrames(const TTrack& song, const PlayRequest& request);

// Where a note's voice stands in the mixer's list: by command, then by the order in which the
// sequencer adds a command's voices (play-list entries walked, pattern in its track, note in its
// pattern). The mixer sums voices in list order with saturation, so the order is heard.
struct NoteOrder {
    uint64_t Command = 0;
    uint64_t Entry = 0; // entries walked before this one, passes of a repeated play included
    uint32_t Slot = 0;  // the pattern's place in its track
    uint32_t Event = 0; // the note's place in its pattern
    auto operator<=>(const NoteOrder&) const = default;
};

// A note on its way to the live mixer: a voice's figures, its start and its place in the order.
struct LiveNote {
    NoteOrder Order;
    int64_t Start;    // frame of the live clock at which its sample starts
    int64_t Joins;    // the first frame it may sound at: a note that would start before its command
                      // was given sounds from the command's start, part of its sample already past
    int64_t EndBytes; // the mixer drops the voice once this many bytes have passed since Start
    const SampleBlock* Sample;
    int32_t Step;
    int32_t Peak;
    int32_t Pan;
    TEnvelope Env;
};

// A play command walked in time: the notes the sequencer would add to a mixer all at once, given
// out in the order of their start frames up to a frontier that moves on with the mixer, so that
// only what sounds soon exists as voices whatever the song's length. Each note keeps its place in
// the sequencer's order. A repeated play goes on pass after pass, each starting where the last
// one ends, for as long as the repeat stays on when a pass is due.
class PlaySchedule {
  public:
    // Reads the request from the song (a copy sharing its arrays) and borrows the instruments'
    // sample blocks (Uses names them). The patterns' notes are put in time order once here.
    PlaySchedule(const TTrack& song, const SampleSet& samples, const PlayRequest& request,
                 int32_t rate);
    // Starts the walk over: the first pass at frame start, the notes ordered as command.
    void Begin(int64_t start, uint64_t command);
    // Appends every note not given yet that starts before frontier.
    void NotesBefore(int64_t frontier, bool repeat, std::vector<LiveNote>& out);
    // Nothing is left to give.
    bool Finished() const { return walkEnded_ && cursors_.empty(); }
    // The frame at which its last pass ends, or kFarFrames while it may still go on (repeat on
    // and the next pass not yet due).
    int64_t EndFrame(bool repeat) const;
    bool Uses(const SampleBlock* block) const;
    uint64_t Command() const { return command_; }

  private:
    // One pattern of one walked entry: the next of its notes in time order.
    struct Cursor {
        int64_t Next; // start frame of the next note
        int64_t Base; // frame at which the pattern starts
        uint64_t Entry;
        int32_t Slot;
        int32_t Pattern;
        int32_t At; // place of the next note in the pattern's time order
        bool operator>(const Cursor& other) const { return Next > other.Next; }
    };
    const int32_t* EntryPatterns(int32_t entry, int32_t& count) const;
    int32_t NoteAt(int32_t pattern, int32_t at) const;
    int64_t EntryBase(int64_t pass, int32_t entry) const;
    void Walk(int64_t frontier, bool repeat);
    void Enter(int64_t base);

    TTrack song_;
    std::vector<const SampleBlock*> samples_;
    PlayRequest request_;
    int32_t rate_;
    int32_t entries_ = 0;   // play-list entries in one pass
    int32_t onePattern_[1]; // the slot list of a pattern play
    int64_t stepFrames_ = 0;
    int64_t entryFrames_ = 0;
    int64_t passFrames_ = 0;
    // The earliest a note starts after its pattern's start (negative for notes before it).
    int64_t earliest_ = 0;
    // Per pattern: its notes' places in time order; empty when the pattern is in time order.
    std::vector<std::vector<int32_t>> timeOrder_;

    int64_t start_ = 0;
    uint64_t command_ = 0;
    int64_t pass_ = 0;
    int32_t nextEntry_ = 0; // the next entry of the pass to walk
    uint64_t walked_ = 0;   // entries walked so far
    bool walkEnded_ = true;
    std::priority_queue<Cursor, std::vector<Cursor>, std::greater<Cursor>> cursors_;
};

} // namespace kellix
