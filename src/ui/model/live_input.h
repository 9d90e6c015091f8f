#pragma once

#include <cstdint>
#include <vector>

namespace kellix {

// The computer keyboard plays two rows of keys from the C of its octave, which the keyboard
// beside the grid labels the same way (octave 2 starts at tone 0).
constexpr int32_t kMinOctave = 1;
constexpr int32_t kMaxOctave = 7;
constexpr int32_t kDefaultOctave = 4;
constexpr int32_t OctaveTone(int32_t octave) {
    return (octave - 2) * 12;
}

// MIDI velocities run to 127, which plays at the Volume box's value.
constexpr int32_t kMaxVelocity = 127;

// One MIDI message as a port delivers it (running status already expanded).
struct MidiMessage {
    uint8_t Status = 0;
    uint8_t Data1 = 0;
    uint8_t Data2 = 0;
};

// MIDI note 60 is C4, and so is the row of tone 24 on the keyboard beside the grid: a MIDI note
// plays the tone whose row carries its name.
constexpr int32_t MidiNoteTone(int32_t note) {
    return note - 36;
}

// What the live keys keep between commands.
struct LiveInputState {
    int32_t Octave = kDefaultOctave;
    bool Recording = false;
    // Where step entry puts the next note while nothing plays.
    int32_t StepCursor = 0;
    // The take the recorded notes belong to: one undo step each.
    int64_t Take = 0;
    // The keys held down now (a tone once per key holding it), lit on the keyboard.
    std::vector<int32_t> Held;
};

} // namespace kellix
