#pragma once

#include "ui/model/live_input.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kellix {

// A MIDI system: its input ports by name, of which one at a time is open and hands its
// messages to a sink, on the system's own thread.
class MidiInput {
  public:
    using Sink = std::function<void(const MidiMessage&)>;
    virtual ~MidiInput() = default;
    // Whether the machine has a MIDI system at all; without one nothing else is asked.
    virtual bool Exists() = 0;
    // The input ports there are now.
    virtual std::vector<std::string> Ports() = 0;
    // Opens the named port in place of the one open; false with the reason when it cannot.
    virtual bool Open(const std::string& port, Sink sink, std::string* error) = 0;
    // Once it returns, the sink is not called any more.
    virtual void Close() = 0;
};

// RtMidi's ALSA sequencer ports, when seqDevice exists, and beside them JACK's ports while a
// JACK server runs (JACK is never started for this).
std::unique_ptr<MidiInput> MakeRtMidiInput(std::string seqDevice = "/dev/snd/seq");

// The index of the remembered port in the list: the same name, else the same name without the
// ALSA client:port numbers at its end (they change as devices come and go); -1 for none.
int FindPort(const std::vector<std::string>& ports, const std::string& remembered);

} // namespace kellix
