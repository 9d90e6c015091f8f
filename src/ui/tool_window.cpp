#include "tool_window.h"

#include "support/numtext.h"

#include <QHideEvent>
#include <QLabel>
#include <QLineEdit>

#include <algorithm>

namespace kellix {

namespace {

constexpr int kEditHeight = 21;
// The least room between a caption and its box.
constexpr int kCaptionGap = 4;
constexpr int kMessageMargin = 4;
// A report quoting a long text is cut after this many lines (the whole of it is in the tip).
constexpr int kMessageMaxLines = 5;

} // namespace

ToolWindow::ToolWindow(const QString& caption, int left, int top, int clientWidth, int clientHeight)
    : QWidget(nullptr, Qt::Tool | Qt::WindowStaysOnTopHint), clientWidth_(clientWidth),
      clientHeight_(clientHeight) {
    // The controls sit at fixed pixel positions made for a small font; the family is whatever
    // the application gives.
    QFont small = font();
    small.setPointSize(8);
    setFont(small);
    setWindowTitle(caption);
    // Closing a tool window hides it; only the main window ends the program.
    setAttribute(Qt::WA_QuitOnClose, false);
    move(left, top);
    setFixedSize(clientWidth, clientHeight);

    message_ = new QLabel(this);
    message_->setWordWrap(true);
    message_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    message_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    message_->hide();
}

ToolWindow::~ToolWindow() {
    OnHide = nullptr;
}

QString ToolWindow::NumberError() const {
    return message_->isHidden() ? QString() : message_->text();
}

QLabel* ToolWindow::AddLabel(const QString& text, int left, int top) {
    auto* label = new QLabel(text, this);
    label->move(left, top);
    label->adjustSize();
    return label;
}

QLineEdit* ToolWindow::AddEdit(const QString& text, int left, int top, int width) {
    auto* box = new QLineEdit(text, this);
    box->setGeometry(left, top, width, kEditHeight);
    return box;
}

void ToolWindow::PlaceOnce(QPoint topLeft) {
    if (!placed_) {
        placed_ = true;
        move(topLeft);
    }
}

void ToolWindow::FitCaptions(const std::vector<std::pair<QLabel*, QWidget*>>& rows) {
    int shift = 0;
    for (const auto& [label, box] : rows) {
        shift = std::max(shift, label->x() + label->sizeHint().width() + kCaptionGap - box->x());
    }
    if (shift <= 0) {
        return;
    }
    for (const auto& row : rows) {
        row.second->move(row.second->x() + shift, row.second->y());
    }
    WidenClient(clientWidth_ + shift);
}

void ToolWindow::WidenClient(int width) {
    if (width <= clientWidth_) {
        return;
    }
    clientWidth_ = width;
    setFixedSize(clientWidth_, clientHeight_);
}

bool ToolWindow::ReadBox(const QLineEdit* box, int32_t& value) {
    if (StrictTextToInt(box->text().toStdString(), value)) {
        return true;
    }
    ShowNumberError(QStringLiteral("'%1' is not a valid integer value").arg(box->text()));
    return false;
}

void ToolWindow::ShowNumberError(const QString& message) {
    message_->setText(message);
    message_->setToolTip(message);
    message_->show();
    FitMessage();
}

void ToolWindow::ClearNumberError() {
    if (message_->isHidden()) {
        return;
    }
    message_->hide();
    message_->clear();
    message_->setToolTip(QString());
    setFixedSize(clientWidth_, clientHeight_);
}

void ToolWindow::FitMessage() {
    const int width = clientWidth_ - 2 * kMessageMargin;
    const int height = std::min(message_->heightForWidth(width),
                                kMessageMaxLines * message_->fontMetrics().lineSpacing());
    message_->setGeometry(kMessageMargin, clientHeight_, width, height);
    setFixedSize(clientWidth_, clientHeight_ + height + kMessageMargin);
}

void ToolWindow::hideEvent(QHideEvent* event) {
    // A hide by the window system (the desktop switched away) leaves the window shown as far as
    // the program is concerned.
    if (!event->spontaneous() && OnHide) {
        OnHide();
    }
    QWidget::hideEvent(event);
}

} // namespace kellix
