// Controll > "Loop": the play position of a repeated play, and the model's command on the live
// output.
#include "model_fixture.h"

#include "audio/sequencer.h"
#include "ui/model/play_position.h"

using namespace kellix;
using namespace kellix::test;

namespace {

// The song from entry 1 (tracks 1 and 2, 65536 frames each) repeats every 131072 frames until
// its end; track 1 holds pattern 5.
TEST(PlayPosition, RepeatsPassAfterPassUntilTheEnd) {
    TTrack song = NewSong();
    ResizeTracksIndex(song, 3);
    AppendPatternIndex(song.Tracks.EditAt(1), 5);
    const int64_t t = 1000;
    PlayRecord r = RecordSongPlay(song, 1, t);
    RecordRepeats(r, 131072, kFarFrames);
    const PlayPosition p = PositionAt(r, t + 131072 * 7 + 4096 * 3, 5);
    EXPECT_TRUE(p.Playing && p.Entry == 1 && p.Step == 3.0);
    EXPECT_EQ(PositionAt(r, t + 131072 * 7 + 65536, 5).Entry, 2);
    RecordRepeats(r, 131072, t + 131072 * 2);
    EXPECT_EQ(PositionAt(r, t + 131072 + 10, 5).Entry, 1);
    EXPECT_FALSE(PositionAt(r, t + 131072 * 2, 5).Playing);
}

// Pattern 0 repeats every entry (65536 frames) from clock 0; turned off during the third pass,
// the loop ends with it.
TEST_F(ModelTest, LoopRepeatsUntilTurnedOff) {
    std::vector<uint8_t> chunk(2048);
    auto heard = [&](int64_t frame) {
        while (Live.PlayedBytes() / 4 < frame + kLeadFrames) {
            Device.PullServed(chunk.data(), 2048);
        }
        return Model.PlayPositionNow();
    };
    Model.SetLoop(true);
    EXPECT_TRUE(Model.Loop());
    Model.PlayPattern();
    const PlayPosition p = heard(65536 * 2 + 4096 * 3);
    EXPECT_TRUE(p.Playing);
    EXPECT_NEAR(p.Step, 3.0, 0.2);
    Model.SetLoop(false);
    EXPECT_TRUE(heard(65536 * 3 - 600).Playing);
    EXPECT_FALSE(heard(65536 * 3 + 600).Playing);
}

} // namespace
