#include "midi_menu.h"

#include "ui/model/editor_model.h"
#include "ui/model/settings.h"

#include <QActionGroup>
#include <QMenu>

namespace kellix {

namespace {

// Messages waiting for the window's thread beyond this are dropped: a stuck window does not
// gather memory from a MIDI flood.
constexpr std::size_t kMaxWaiting = 4096;

} // namespace

MidiMenu::MidiMenu(QMenu* menu, EditorModel& model, std::string settingsFile,
                   std::unique_ptr<MidiInput> input, QObject* parent)
    : QObject(parent), menu_(menu), model_(model), settingsFile_(std::move(settingsFile)) {
    inbox_->Receiver = this;
    group_ = new QActionGroup(this);
    connect(menu_, &QMenu::aboutToShow, this, [this] { Rebuild(); });
    UseInput(std::move(input));
}

MidiMenu::~MidiMenu() {
    {
        std::lock_guard<std::mutex> lock(inbox_->Lock);
        inbox_->Receiver = nullptr;
    }
    if (input_) {
        input_->Close();
    }
}

void MidiMenu::UseInput(std::unique_ptr<MidiInput> input) {
    if (input_) {
        input_->Close();
    }
    input_ = std::move(input);
    open_.clear();
    model_.ReleaseKeys();
    OpenRemembered();
}

void MidiMenu::OpenRemembered() {
    // Without a MIDI system nothing is asked of it: no delay at start.
    if (!input_ || !input_->Exists()) {
        return;
    }
    const std::string remembered = LoadSettings(settingsFile_).MidiPort;
    if (remembered.empty()) {
        return;
    }
    const std::vector<std::string> ports = input_->Ports();
    const int at = FindPort(ports, remembered);
    if (at >= 0) {
        OpenNamed(ports[static_cast<std::size_t>(at)]);
    }
}

void MidiMenu::Rebuild() {
    menu_->clear();
    if (!input_ || !input_->Exists()) {
        menu_->addAction("No MIDI system")->setEnabled(false);
        return;
    }
    auto item = [this](const QString& caption, const std::string& port) {
        QAction* action = menu_->addAction(caption);
        action->setCheckable(true);
        action->setChecked(port == open_);
        group_->addAction(action);
        connect(action, &QAction::triggered, this, [this, port] { Choose(port); });
    };
    item("None", std::string());
    for (const std::string& port : input_->Ports()) {
        item(QString::fromStdString(port), port);
    }
}

void MidiMenu::Choose(const std::string& port) {
    if (port == open_) {
        return;
    }
    input_->Close();
    open_.clear();
    model_.ReleaseKeys();
    if (!port.empty()) {
        OpenNamed(port);
    }
    // The choice is remembered even when the port cannot be opened now: it may be there at the
    // next start.
    Settings settings = LoadSettings(settingsFile_);
    settings.MidiPort = port;
    SaveSettings(settingsFile_, settings);
}

void MidiMenu::OpenNamed(const std::string& port) {
    std::string error;
    const std::shared_ptr<Inbox> inbox = inbox_;
    if (input_->Open(
            port, [inbox](const MidiMessage& message) { Deliver(inbox, message); }, &error)) {
        open_ = port;
    } else if (OnError) {
        OnError(QString::fromStdString("MIDI Input: " + error));
    }
}

void MidiMenu::Deliver(const std::shared_ptr<Inbox>& inbox, const MidiMessage& message) {
    std::lock_guard<std::mutex> lock(inbox->Lock);
    if (!inbox->Receiver || inbox->Messages.size() >= kMaxWaiting) {
        return;
    }
    inbox->Messages.push_back(message);
    if (!inbox->Posted) {
        inbox->Posted = true;
        MidiMenu* menu = inbox->Receiver;
        QMetaObject::invokeMethod(
            menu, [menu] { menu->Drain(); }, Qt::QueuedConnection);
    }
}

void MidiMenu::Drain() {
    std::vector<MidiMessage> messages;
    {
        std::lock_guard<std::mutex> lock(inbox_->Lock);
        messages.swap(inbox_->Messages);
        inbox_->Posted = false;
    }
    for (const MidiMessage& message : messages) {
        model_.MidiIn(message);
    }
}

} // namespace kellix
