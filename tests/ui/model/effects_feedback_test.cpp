// The song's effects rendered by the window as kellix-render renders the saved song, what a run
// of code tells, and what the File commands say when they worked.
#include "model_fixture.h"

#include <cstdlib>

using namespace kellix;
using namespace kellix::test;

namespace {

// An error names its line and shows that line only; a run without one says "Ok".
TEST_F(ModelTest, AnErrorNamesItsLine) {
    Model.SetCodeText(" Result:=CreateSample( 100 , 1 );\r\n Bogus( Result );\r\n Result:=0;");
    Model.RunCode();
    EXPECT_EQ(Model.Status(), "Error: Undeclared indentifier Bogus( Result ); (line 2)");
}

// After the effects changed, the window's render, with the tail chosen, and kellix-render's
// render of the saved song are the same bytes; the status bar says what was written.
TEST_F(ModelTest, TheWindowRendersAsKellixRenderDoesAndSaysSo) {
    MakeSong({" Result:=CreateSample( 20000 , 1 );\r\n GSample( Result , FG_SIN , 440 , 20000 );"});
    for (int32_t t = 0; t < 16; t += 3) {
        AppendPoint(Built.Patterns.EditAt(0), {t, 20 + t, 0, 200, 30 + 10 * t});
    }
    ResizeTracksIndex(Built, 2);
    Ask.OpenAnswers = {WriteSong("song.txt")};
    ASSERT_TRUE(Model.Open());
    Model.SetStereoDelay(20000, 12000, 3000, 7000);
    Model.SetReverb(3000, 5000, 200);
    Model.SetReverbOn(true);
    ASSERT_TRUE(Model.Save());
    EXPECT_EQ(Model.Status(), "Saved song.txt");
    Ask.SaveAnswers = {Dir / "window.wav", Dir / "window.wav"};
    Ask.TailAnswers = {1.5, std::nullopt};
    ASSERT_TRUE(Model.SaveResultAs());
    // Two entries of 16 steps of 128 x 32 frames, and 66150 frames of tail.
    EXPECT_EQ(Model.Status(), "Wrote window.wav (4.47 s)");
    EXPECT_FALSE(Model.SaveResultAs()) << "cancelled at the tail";
    EXPECT_EQ(Ask.TailsOffered, (std::vector<double>{0.0, 1.5}));
    const std::string command = std::string(KELLIX_RENDER) + " --quiet --tail 1.5 '" +
                                Dir / "song.txt" + "' '" + Dir / "render.wav" + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(ReadFile(Dir / "window.wav"), ReadFile(Dir / "render.wav"));
}

} // namespace
