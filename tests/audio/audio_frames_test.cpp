// The sound device's buffer setting: the environment before the saved value before 512, limited
// to 64..16384, text that is not a number ignored.
#include "audio/audio_frames.h"

#include <gtest/gtest.h>

#include <optional>

namespace kellix {
namespace {

TEST(AudioFrames, EnvironmentThenSavedThenDefault) {
    struct Case {
        const char* Env;
        std::optional<int32_t> Saved;
        int32_t Frames;
    };
    for (const Case& c :
         {Case{nullptr, std::nullopt, 512}, Case{nullptr, 2048, 2048}, Case{"1024", 2048, 1024},
          Case{" 256", std::nullopt, 256}, Case{"abc", 2048, 2048}, Case{"", std::nullopt, 512},
          Case{"300x", std::nullopt, 512}, Case{"10", std::nullopt, 64}, Case{"-5", 4096, 64},
          Case{"100000", std::nullopt, 16384}, Case{"99999999999", 1000, 1000},
          Case{nullptr, 1, 64}, Case{nullptr, 1 << 20, 16384}}) {
        EXPECT_EQ(AudioFramesSetting(c.Env, c.Saved), c.Frames)
            << (c.Env ? c.Env : "(none)") << " " << c.Saved.value_or(-1);
    }
}

} // namespace
} // namespace kellix
