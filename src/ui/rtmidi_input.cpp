// The MIDI system through RtMidi.
#include "midi_input.h"

#include <RtMidi.h>

#include <cctype>
#include <cstdlib>
#include <unistd.h>

namespace kellix {

namespace {

constexpr const char* kClientName = "Kellix";
constexpr const char* kJackPrefix = "JACK: ";

// A JACK server of this user leaves its socket here while it runs.
bool JackRuns() {
    const char* server = std::getenv("JACK_DEFAULT_SERVER");
    const std::string path = "/dev/shm/jack_" +
                             std::string(server && *server ? server : "default") + "_" +
                             std::to_string(getuid()) + "_0";
    return access(path.c_str(), F_OK) == 0;
}

// RtMidi reports through this instead of printing or throwing; the text goes to userData, a
// std::string, when there is one.
void KeepError(RtMidiError::Type, const std::string& text, void* userData) {
    if (userData) {
        *static_cast<std::string*>(userData) = text;
    }
}

std::unique_ptr<RtMidiIn> MakeIn(RtMidi::Api api, std::string* error = nullptr) {
    try {
        auto in = std::make_unique<RtMidiIn>(api, kClientName);
        in->setErrorCallback(&KeepError, error);
        return in;
    } catch (const RtMidiError& e) {
        if (error) {
            *error = e.getMessage();
        }
        return nullptr;
    }
}

struct Port {
    RtMidi::Api Api;
    unsigned Index;
    std::string Name;
};

class RtMidiInput final : public MidiInput {
  public:
    explicit RtMidiInput(std::string seqDevice) : seqDevice_(std::move(seqDevice)) {}
    ~RtMidiInput() override { Close(); }

    bool Exists() override { return access(seqDevice_.c_str(), F_OK) == 0; }

    std::vector<std::string> Ports() override {
        std::vector<std::string> names;
        for (const Port& p : List()) {
            names.push_back(p.Name);
        }
        return names;
    }

    bool Open(const std::string& port, Sink sink, std::string* error) override {
        Close();
        std::string reason = "\"" + port + "\" is not there";
        for (const Port& p : List()) {
            if (p.Name != port) {
                continue;
            }
            sink_ = std::move(sink);
            open_ = MakeIn(p.Api, &reason);
            if (open_) {
                open_->setCallback(&Received, this);
                open_->ignoreTypes(true, true, true);
                open_->openPort(p.Index, "Kellix Input");
                if (open_->isPortOpen()) {
                    // Later errors arrive on RtMidi's thread: they are not kept.
                    open_->setErrorCallback(&KeepError, nullptr);
                    return true;
                }
                open_.reset();
            }
            break;
        }
        if (error) {
            *error = reason;
        }
        return false;
    }

    void Close() override {
        // Closing joins RtMidi's input thread, so the sink is not in use afterwards.
        open_.reset();
        sink_ = nullptr;
    }

  private:
    static void Received(double, std::vector<unsigned char>* bytes, void* self) {
        if (!bytes || bytes->empty()) {
            return;
        }
        const MidiMessage message{(*bytes)[0], bytes->size() > 1 ? (*bytes)[1] : uint8_t{0},
                                  bytes->size() > 2 ? (*bytes)[2] : uint8_t{0}};
        static_cast<RtMidiInput*>(self)->sink_(message);
    }

    std::vector<Port> List() {
        std::vector<Port> ports;
        if (!Exists()) {
            return ports;
        }
        for (const RtMidi::Api api : {RtMidi::LINUX_ALSA, RtMidi::UNIX_JACK}) {
            if (api == RtMidi::UNIX_JACK && !JackRuns()) {
                continue;
            }
            const std::unique_ptr<RtMidiIn> in = MakeIn(api);
            if (!in) {
                continue;
            }
            const unsigned count = in->getPortCount();
            for (unsigned i = 0; i < count; ++i) {
                const std::string name = in->getPortName(i);
                if (!name.empty()) {
                    ports.push_back({api, i, api == RtMidi::UNIX_JACK ? kJackPrefix + name : name});
                }
            }
        }
        return ports;
    }

    std::string seqDevice_;
    std::unique_ptr<RtMidiIn> open_;
    Sink sink_;
};

// "Keys:Keys MIDI 1 24:0" -> "Keys:Keys MIDI 1".
std::string WithoutAlsaNumbers(const std::string& name) {
    const auto digits = [&name](std::size_t end) {
        std::size_t start = end;
        while (start > 0 && std::isdigit(static_cast<unsigned char>(name[start - 1]))) {
            --start;
        }
        return start;
    };
    const std::size_t port = digits(name.size());
    if (port == name.size() || port == 0 || name[port - 1] != ':') {
        return name;
    }
    const std::size_t client = digits(port - 1);
    if (client == port - 1 || client == 0 || name[client - 1] != ' ') {
        return name;
    }
    return name.substr(0, client - 1);
}

} // namespace

std::unique_ptr<MidiInput> MakeRtMidiInput(std::string seqDevice) {
    return std::make_unique<RtMidiInput>(std::move(seqDevice));
}

int FindPort(const std::vector<std::string>& ports, const std::string& remembered) {
    if (remembered.empty()) {
        return -1;
    }
    for (std::size_t i = 0; i < ports.size(); ++i) {
        if (ports[i] == remembered) {
            return static_cast<int>(i);
        }
    }
    const std::string base = WithoutAlsaNumbers(remembered);
    for (std::size_t i = 0; i < ports.size(); ++i) {
        if (WithoutAlsaNumbers(ports[i]) == base) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

} // namespace kellix
