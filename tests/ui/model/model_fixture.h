#pragma once

// The editor model's tests: a recording view, prepared dialog answers, a silent sound device,
// and a folder of their own for the recovery file and the recent songs.

#include "ui/model/editor_model.h"

#include "script/dllgen.h"
#include "songtext/current_instrument.h"
#include "songtext/song_writer.h"
#include "ui/ui_fixture.h"

#include <gtest/gtest.h>

namespace kellix::test {

struct RecordingView final : EditorView {
    std::vector<const SampleBlock*> Drawn;
    uint32_t Parts = 0;
    void DrawSample(const SampleBlock* sample) override { Drawn.push_back(sample); }
    void Refresh(uint32_t parts) override { Parts |= parts; }
};

// 100 mono frames (200 bytes of data) and 300 stereo frames (1200 bytes).
constexpr const char* kCode100 = " Result:=CreateSample( 100 , 1 );";
constexpr const char* kCode300 = " Result:=CreateSample( 300 , 2 );";

class ModelBase : public ::testing::Test {
  protected:
    RecordingView View;
    PreparedDialogs Ask;
    FakeDevice Device;
    TempFolder Dir;
    ModelFiles Files{Dir / "state", Dir / "config/recent.txt"};

    static void SetUpTestSuite() { StartScripting(); }
    static void TearDownTestSuite() { EndScripting(); }
    void SetUp() override { SetUpOutput(&Device); }
    void TearDown() override {
        EmptySong(Song, InstrumentCode);
        TearDownOutput();
    }
    static std::string Saved() { return SongText(Song, InstrumentCode); }
    // Builds a song of the given instrument codes in memory.
    static void MakeSong(std::initializer_list<const char*> codes) {
        NewSong(Song, InstrumentCode);
        const auto count = static_cast<int32_t>(codes.size());
        ResizeInstrumentCode(InstrumentCode, count);
        ResizeInstruments(Song, count);
        CurrentInstrument = 0;
        for (const char* code : codes) {
            SetCurrentInstrumentCode(InstrumentCode, code);
            ++CurrentInstrument;
        }
    }
    // Writes the song in memory to a file of the test's folder and returns its path.
    std::string WriteSong(const std::string& name) {
        const std::string path = Dir / name;
        WriteFile(path, Saved());
        return path;
    }
};

// With one model created for each test.
class ModelTest : public ModelBase {
  protected:
    EditorModel Model{View, Ask, Files};
    void SetUp() override {
        ModelBase::SetUp();
        Model.Create();
    }
    void TearDown() override {
        Model.Destroy();
        ModelBase::TearDown();
    }
};

} // namespace kellix::test
