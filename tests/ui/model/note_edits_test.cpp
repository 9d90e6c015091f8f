// The piano roll's edits without a window: moves, removals and pastes of notes worked by hand,
// the clipboard's note text, instrument names and tempo texts, and the model's commands with
// their undo steps and the selection kept in step (the window's tests drive the rest).
#include "model_fixture.h"

#include "ui/model/clipboard_text.h"
#include "ui/model/note_edits.h"
#include "ui/model/song_labels.h"

#include <tuple>

using namespace kellix;
using namespace kellix::test;

namespace {

using Notes = std::vector<TIdPoint>;
using Indices = std::vector<int32_t>;

TIdPoint N(int32_t time, int32_t tone, int32_t instrument = 0) {
    return {time, tone, instrument, 256, 128};
}

TEST(NoteEdits, MovesReplaceTheInstrumentsNotesWhereTheyLand) {
    // The notes, the selection, the move in time and tone, whether it fits, and the notes and
    // the selection after it.
    std::tuple<Notes, Indices, int32_t, int32_t, bool, Notes, Indices> cases[] = {
        {{N(0, 5), N(1, 5), N(2, 5)}, {0, 2}, 1, 0, true, {N(1, 5), N(3, 5)}, {0, 1}},
        {{N(0, 5), N(1, 5, 1), N(4, 9)}, {0}, 1, 0, true, {N(1, 5), N(1, 5, 1), N(4, 9)}, {0}},
        {{N(0, 5), N(3, 83)}, {0, 1}, 0, 1, false, {}, {}},
        {{N(0, -12)}, {0}, 0, -1, false, {}, {}},
        {{N(2, 0), N(0, 0)}, {0}, -3, 0, false, {}, {}},
        {{N(2, 0), N(0, 0)}, {0}, -2, 12, true, {N(0, 12), N(0, 0)}, {0}}};
    for (auto& [notes, selected, dTime, dTone, fits, after, selectedAfter] : cases) {
        EXPECT_EQ(MoveFits(notes, selected, dTime, dTone), fits);
        if (fits) {
            EXPECT_EQ(MoveNotes(notes, selected, dTime, dTone, 0), selectedAfter);
            EXPECT_EQ(notes, after);
        }
    }
    Notes notes = {N(0, 1), N(1, 1), N(2, 1)};
    RemoveNotes(notes, Indices{0, 2});
    EXPECT_EQ(notes, Notes{N(1, 1)});
    // Added notes become the instrument's; the later of two in a cell wins and replaces the
    // instrument's note there, not another instrument's.
    notes = {N(4, 7), N(4, 7, 2)};
    EXPECT_EQ(AddNotes(notes, Notes{N(4, 7, 5), {4, 7, 0, 9, 9}, N(5, 7)}, 0), (Indices{1, 2}));
    EXPECT_EQ(notes, (Notes{N(4, 7, 2), {4, 7, 0, 9, 9}, N(5, 7)}));
}

TEST(ClipboardText, NotesTravelAsTheSongsPointSection) {
    const Notes copied = {{5, -3, 2, 256, 128}, {7, 40, 2, 10, 0}};
    const std::string text = NotesClipText(copied);
    EXPECT_EQ(text, "  Point0: array [0..1] of TIdPoint=(\r\n"
                    "   ( Time: 0; Tone: -3; Instrument: 2; Vol: 256; Pan: 128),\r\n"
                    "   ( Time: 2; Tone: 40; Instrument: 2; Vol: 10; Pan: 0));\r\n\r\n");
    const std::pair<std::string, Notes> cases[] = {
        {text, {{0, -3, 2, 256, 128}, {2, 40, 2, 10, 0}}},
        {"( time: 3; Tone: 24; Instrument: 0; Vol: 200; Pan: 64),\n"
         "( Time: 5; Tone: 26; Instrument: 0; Vol: 256; Pan: 128)",
         {{3, 24, 0, 200, 64}, {5, 26, 0, 256, 128}}},
        {"Point4: array [0..0] of TIdPoint=(( Time: 1; Tone: 2; Instrument: 0; Vol: 3; Pan: 4));"
         "Point1: array [0..0] of TIdPoint=(( Time: 9; Tone: 8; Instrument: 7; Vol: 6; Pan: 5));",
         {{9, 8, 7, 6, 5}, {1, 2, 0, 3, 4}}},
        {"abc", {}},
        {"Timeless", {}},
        {"Point0: array [0..9999999] of TIdPoint=(", {}}};
    for (const auto& [clip, notes] : cases) {
        EXPECT_EQ(NotesFromClipText(clip), notes) << clip;
    }
    EXPECT_EQ(PatternListClipText(Indices{3, 0, 7}),
              "  PatternIndex0: array [0..2] of longint=(3,0,7);\r\n\r\n");
    EXPECT_EQ(PatternListFromClipText("PatternIndex2: array [0..1] of longint=(9,1);"),
              (Indices{9, 1}));
    EXPECT_FALSE(PatternListFromClipText("1, 2"));
}

TEST(SongLabels, NamesFromTheFirstCommentAndTempoFromTheSpeed) {
    const std::pair<const char*, const char*> names[] = {
        {" Result:=CreateSample( 100 , 1 ); //  bass  \r\n// second", "bass"},
        {" a:=1;\r\n//lead\r\n", "lead"},
        {" Result:=CreateSample( 100 , 1 );", ""},
        {"//\r\n// late", ""},
        // Cut at 39 bytes: 40 would split the last character.
        {"// 012345678901234567890123456789012345678\xc3\xa9",
         "012345678901234567890123456789012345678"},
    };
    for (auto [code, name] : names) {
        EXPECT_EQ(InstrumentName(code), name) << code;
    }
    // Speed 0 has no tempo (the window's test reads the tempo of Speed 100).
    EXPECT_EQ(TempoText(0), "Speed 0: a step of no length, no tempo");
}

// What the window's tests do not reach: a removed note, Set Volume/Pan, another instrument.
TEST_F(ModelTest, TheSelectionFollowsTheSongAndTheInstrument) {
    for (int32_t t : {0, 1, 2, 3}) {
        Model.PlaceNote(t, 10 + t);
    }
    Model.SelectNotes({3, 1, 9, 1});
    EXPECT_EQ(Model.Selected().Notes, (Indices{1, 3}));
    Model.RemoveNote(0, 10);
    EXPECT_EQ(Model.Selected().Notes, (Indices{0, 2})) << "indices follow a removed note";
    Model.SetNoteTexts("999", "-4");
    Model.SetSelectionVolPan();
    EXPECT_EQ(NotesOf(), (Notes{{1, 11, 0, 258, 0}, N(2, 12), {3, 13, 0, 258, 0}}));
    EXPECT_FALSE(Model.PasteNotes("( Time: 0; Tone: 84; Instrument: 0; Vol: 1; Pan: 1)", 0));
    EXPECT_EQ(Model.Status(), "Nothing pasted: a note would leave the grid (before step 0, or "
                              "outside tones C1 to B8)");
    Model.SelectInstrument(1);
    EXPECT_TRUE(Model.Selected().Notes.empty());
}

} // namespace
