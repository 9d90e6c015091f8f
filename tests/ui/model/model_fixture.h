#pragma once

// The editor model's tests: a recording view, prepared dialog answers, a live output on a
// silent device, the generator library's scripting, and a folder of their own for the recovery
// file and the recent songs.

#include "ui/model/editor_model.h"

#include "script/dllgen.h"
#include "songtext/song_writer.h"
#include "ui/ui_fixture.h"

#include <gtest/gtest.h>

#include <memory>

namespace kellix::test {

struct RecordingView final : EditorView {
    uint32_t Parts = 0;
    void DrawSample(const SampleBlock*) override {}
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
    LiveOutput Live{Device};
    TempFolder Dir;
    ModelFiles Files{Dir / "state", Dir / "config/recent.txt"};
    // A song built in memory, to be written to a file and opened.
    TTrack Built;
    static inline std::unique_ptr<Scripting> Scripts;

    static void SetUpTestSuite() { Scripts = StartScripting(); }
    static void TearDownTestSuite() { Scripts.reset(); }
    // The default song with the given instrument codes.
    void MakeSong(std::initializer_list<const char*> codes) {
        Built = NewSong();
        ResizeInstruments(Built, static_cast<int32_t>(codes.size()));
        int32_t i = 0;
        for (const char* code : codes) {
            SetInstrumentCode(Built, i++, code);
        }
    }
    // Writes the built song to a file of the test's folder and returns its path.
    std::string WriteSong(const std::string& name) {
        const std::string path = Dir / name;
        WriteFile(path, SongText(Built));
        return path;
    }
};

// With one model created for each test.
class ModelTest : public ModelBase {
  protected:
    EditorModel Model{View, Ask, Live, *Scripts, Files};
    const TTrack& Song = Model.Song();

    void SetUp() override { Model.Create(); }
    void TearDown() override { Model.Destroy(); }
    std::string Saved() const { return SongText(Model.Song()); }
    const SampleBlock* SampleOf(int32_t instrument) const {
        return Model.Doc().Samples.At(instrument);
    }
    std::vector<TIdPoint> NotesOf(int32_t pattern = 0) const {
        const SharedArray<TIdPoint>& p = Model.Song().Patterns[pattern].Points;
        return {p.begin(), p.end()};
    }
    const std::string& CodeOf(int32_t instrument) const {
        return InstrumentCodeAt(Model.Song(), instrument).Text();
    }
};

} // namespace kellix::test
