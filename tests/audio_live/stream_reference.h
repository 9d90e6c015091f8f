#pragma once

// What the live stream must be, made the slow way: one mixer with every voice in its list from
// the start, in the order of the commands, mixing 11025-frame quarters one after another from
// clock 0 after the quarter of silence that leads the stream in. A stop ends the voices of the
// commands before it at its frame: the block is cut there and those voices are dropped.

#include "audio/live_output.h"
#include "audio/mixer.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <vector>

namespace kellix::test {

class StreamReference {
  public:
    SoundBuffer* Mixer = CreateSoundBuffer(2, 44100, 16);

    StreamReference() = default;
    ~StreamReference() { FreeSoundBuffer(Mixer); }
    StreamReference(const StreamReference&) = delete;
    StreamReference& operator=(const StreamReference&) = delete;

    // Call once the voices of a command were added to Mixer, and for every command before the
    // stream is asked for.
    void EndCommand() {
        for (Voice* v = lastSeen_ ? lastSeen_->Next : Mixer->First; v; v = v->Next) {
            voices_.push_back({v, commands_});
            lastSeen_ = v;
        }
        ++commands_;
    }
    // At frame, the voices of every command so far fall silent.
    void StopAt(int64_t frame) {
        stops_[frame] = commands_;
        stop_ = stops_.begin();
        EndCommand();
    }

    // The first bytes of the stream, mixing as far as that takes.
    std::vector<uint8_t> Upto(std::size_t bytes) {
        while (stream_.size() < bytes) {
            const int64_t clock = Mixer->Total;
            for (; stop_ != stops_.end() && stop_->first <= clock; ++stop_) {
                // A voice without a sample adds nothing and is dropped by the next block.
                for (const Owned& o : voices_) {
                    if (o.Command < stop_->second) {
                        o.V->Sample = nullptr;
                    }
                }
            }
            int64_t end = (clock / kQuarterFrames + 1) * kQuarterFrames;
            if (stop_ != stops_.end()) {
                end = std::min(end, stop_->first);
            }
            const int32_t at = Mixer->WritePos;
            const auto n = static_cast<int32_t>(end - clock);
            MixBlock(Mixer, ring_.data(), n);
            stream_.insert(stream_.end(), ring_.begin() + at, ring_.begin() + at + n * 4);
        }
        return {stream_.begin(), stream_.begin() + static_cast<std::ptrdiff_t>(bytes)};
    }

  private:
    struct Owned {
        Voice* V;
        int32_t Command;
    };
    std::vector<uint8_t> ring_ = std::vector<uint8_t>(kRingBytes);
    std::vector<uint8_t> stream_ = std::vector<uint8_t>(kQuarterBytes, 0);
    std::vector<Owned> voices_;
    Voice* lastSeen_ = nullptr;
    int32_t commands_ = 0;
    std::map<int64_t, int32_t> stops_;
    std::map<int64_t, int32_t>::iterator stop_ = stops_.end(); // the first not yet applied
};

} // namespace kellix::test
