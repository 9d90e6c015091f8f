#pragma once

#include <QWidget>

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

class QLabel;
class QLineEdit;

namespace kellix {

// What the three effect windows share: a small window that stays on top, hidden when created,
// with a fixed client area whose controls sit at given pixel positions. A box whose text is not
// a whole number is reported in a strip under the boxes, not in a modal box, so that clearing a
// box to type a new number does not interrupt the typing; the window grows by the strip's
// height while it shows.
class ToolWindow : public QWidget {
    Q_OBJECT
  public:
    // Clears OnHide first, so that destroying the window calls nothing in the main window.
    ~ToolWindow() override;

    // Called whenever the window is hidden: from the menu, with the close box (which hides the
    // window and keeps it) or by the program.
    std::function<void()> OnHide;

    // The shown report of a failed number reading, empty while none is shown.
    QString NumberError() const;

    // Moves the window (its frame's top left) unless it was placed before: the first showing
    // puts it beside the main window, later ones where the user left it.
    void PlaceOnce(QPoint topLeft);

  protected:
    ToolWindow(const QString& caption, int left, int top, int clientWidth, int clientHeight);

    QLabel* AddLabel(const QString& text, int left, int top);
    QLineEdit* AddEdit(const QString& text, int left, int top, int width);
    // Makes the client area at least this wide, for a caption the application's font needs
    // more room for than the design gave it.
    void WidenClient(int width);
    // Moves the boxes right, all by the same distance, as far as the widest caption left of
    // them needs, and widens the window by as much; boxes whose captions fit stay put.
    void FitCaptions(const std::vector<std::pair<QLabel*, QWidget*>>& rows);

    // Reads the whole text of a box as a whole number. On failure shows
    // "'<text>' is not a valid integer value" and returns false.
    bool ReadBox(const QLineEdit* box, int32_t& value);
    // Shows a report in the strip under the boxes.
    void ShowNumberError(const QString& message);
    void ClearNumberError();

    void hideEvent(QHideEvent* event) override;

  private:
    void FitMessage();

    QLabel* message_;
    int clientWidth_;
    int clientHeight_;
    bool placed_ = false;
};

} // namespace kellix
