#pragma once

#include <QImage>
#include <QWidget>

#include <functional>

namespace kellix {

// Shows a 32-bit picture that drawing routines write, pixel for pixel from the top left corner,
// and reports the mouse over it in image pixels. It takes the keyboard focus when clicked, so
// that the Edit menu's keys reach the window rather than the code box.
class ImageView : public QWidget {
    Q_OBJECT
  public:
    explicit ImageView(QWidget* parent = nullptr);

    // The picture; draw into it, then call update().
    QImage& Image() { return image_; }
    const QImage& Image() const { return image_; }

    std::function<void(Qt::MouseButton button, int x, int y)> OnMouseDown;
    std::function<void(Qt::MouseButtons buttons, int x, int y)> OnMouseMove;
    std::function<void(Qt::MouseButton button, int x, int y)> OnMouseUp;

    // A thin vertical line shown over the picture at column x, -1 for none. The picture itself
    // stays as drawn.
    void SetMarker(int x);
    int Marker() const { return marker_; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    QImage image_;
    int marker_ = -1;
};

} // namespace kellix
