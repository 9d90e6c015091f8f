#include "test_files.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Notes at assorted pitches with rising and falling envelopes, sounding across the quarter
// second boundaries: a render and live playback mix the same blocks and agree bit for bit.
// The first note starts at frame 0.
constexpr const char* kSong = R"( Const
  Instruments: array [0..1] of TInstrument=(
   ( SampleTone: 5; Name: nil; Sample: nil; Env: ( Attack: 0; Cont: 9000; Ende: 9000 )),
   ( SampleTone: 0; Name: nil; Sample: nil; Env: ( Attack: 700; Cont: 6000; Ende: 12000 )));

  Point0: array [0..2] of TIdPoint=(
   ( Time: 0; Tone: 19; Instrument: 0; Vol: 256; Pan: 128),
   ( Time: 3; Tone: 31; Instrument: 1; Vol: 200; Pan: 40),
   ( Time: 5; Tone: 26; Instrument: 0; Vol: 180; Pan: 220));

  Patterns: array [0..0] of TPattern=(
   ( PointsCount: 3; Points: @Point0 ));

  PatternIndex0: array [0..0] of longint=(0);

  Tracks: array [0..0] of TTrackPattern=(
   ( PatternCount: 1; PatternIndex: @PatternIndex0 ));

  TracksIndex: array [0..1] of Longint=(0,0);

  Track:TTrack=(
   TrackIndexCount: 2;
   TrackCount: 1;
   PatternCount: 1;
   InstrumentCount: 2;
   Speed: 64;
   Row: 8;
   TracksIndex: @TracksIndex;
   Tracks: @Tracks;
   Patterns: @Patterns;
   Instrument: @Instruments;
  );

Function InitSample0:pointer;
begin
 Result := CreateSample( 30000 , 2 );
 GSample( Result , FG_SAW , 220 , 8000 );
end;

Function InitSample1:pointer;
begin
 Result := CreateSample( 30000 , 1 );
 GSample( Result , FG_SIN , 440 , 10000 );
end;

)";

int Shell(const std::string& command) {
    int raw = std::system(command.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

// With the disk driver the played stream is a quarter second of silence (the ring's first
// quarter) and then exactly the data of the WAV file a render writes. SDL writes whole buffers
// of silence of its own while the device is open but not yet started; those come first.
TEST(RenderPlayTest, DiskStreamMatchesTheRender) {
    const kellix::test::TempFolder folder;
    const fs::path dir = folder.Path;
    kellix::test::WriteFile(dir / "song.txt", kSong);
    const std::string render =
        std::string("'") + KELLIX_RENDER + "' --quiet " + "--stereo-delay 8000,6000,5000,9000 ";
    ASSERT_EQ(Shell(render + "'" + (dir / "song.txt").string() + "' '" +
                    (dir / "song.wav").string() + "'"),
              0);
    ASSERT_EQ(Shell("SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE='" + (dir / "stream.raw").string() +
                    "' " + render + "--play '" + (dir / "song.txt").string() + "' 2>/dev/null"),
              0);

    const std::string wav = kellix::test::ReadFile(dir / "song.wav");
    const std::string stream = kellix::test::ReadFile(dir / "stream.raw");
    ASSERT_EQ(wav.size(), 44u + 4u * 64 * 32 * 8 * 2);
    const std::string data = wav.substr(44);
    ASSERT_NE(data[0] | data[1] | data[2] | data[3], 0) << "the song must start at once";

    const std::size_t quarter = 44100;
    const std::size_t sdlBuffer = 4096;
    std::size_t lead = 0;
    while (lead < stream.size() && stream[lead] == 0) {
        ++lead;
    }
    lead -= lead % 4;
    ASSERT_GE(lead, quarter);
    EXPECT_EQ((lead - quarter) % sdlBuffer, 0u) << "silence before the start: " << lead;
    ASSERT_GE(stream.size(), lead + data.size());
    auto mismatch = std::mismatch(data.begin(), data.end(), stream.begin() + lead);
    EXPECT_EQ(mismatch.first, data.end())
        << "first difference at data byte " << (mismatch.first - data.begin());
}

TEST(RenderPlayTest, PlayTakesNoOutputFile) {
    EXPECT_EQ(Shell(std::string("'") + KELLIX_RENDER + "' --play a.txt b.wav 2>/dev/null"), 2);
}

} // namespace
