#pragma once

#include "midi_input.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class QActionGroup;
class QMenu;

namespace kellix {

class EditorModel;

// Controll > "MIDI Input": lists "None" and the MIDI system's ports each time it opens ("No MIDI
// system", disabled, where there is none), opens the port chosen and remembers it in the
// settings file, and at start opens the port remembered there when the system has it. The
// messages arrive on the MIDI system's thread and are handed to the window's thread, where the
// model plays them.
class MidiMenu : public QObject {
    Q_OBJECT
  public:
    MidiMenu(QMenu* menu, EditorModel& model, std::string settingsFile,
             std::unique_ptr<MidiInput> input, QObject* parent = nullptr);
    ~MidiMenu() override;

    // Another MIDI system in place of the one in use; the remembered port is opened on it.
    void UseInput(std::unique_ptr<MidiInput> input);
    // A port that could not be opened, with the reason.
    std::function<void(const QString& message)> OnError;

  private:
    struct Inbox {
        std::mutex Lock;
        std::vector<MidiMessage> Messages;
        MidiMenu* Receiver = nullptr; // null once the menu is gone
        bool Posted = false;
    };
    static void Deliver(const std::shared_ptr<Inbox>& inbox, const MidiMessage& message);

    void Rebuild();
    void Choose(const std::string& port);
    void OpenNamed(const std::string& port);
    void OpenRemembered();
    void Drain();

    QMenu* menu_;
    QActionGroup* group_; // the items of the ports: one checked at a time
    EditorModel& model_;
    std::string settingsFile_;
    std::unique_ptr<MidiInput> input_;
    std::shared_ptr<Inbox> inbox_ = std::make_shared<Inbox>();
    std::string open_;
};

} // namespace kellix
