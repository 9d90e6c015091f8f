#include "image_view.h"

#include <QMouseEvent>
#include <QPainter>

namespace kellix {

ImageView::ImageView(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::ClickFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void ImageView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(0, 0, image_);
    // Where the picture is smaller than the widget, the window's background shows.
    const QRect shown(0, 0, image_.width(), image_.height());
    for (const QRect& r : QRegion(rect()).subtracted(shown)) {
        painter.fillRect(r, palette().window());
    }
    if (marker_ >= 0) {
        painter.fillRect(marker_, 0, 1, height(), QColor(0x40, 0xB0, 0xFF));
    }
}

void ImageView::SetMarker(int x) {
    if (x == marker_) {
        return;
    }
    // Only the columns of the old and the new line change: the follow timer moves it often.
    for (int column : {marker_, x}) {
        if (column >= 0) {
            update(column, 0, 1, height());
        }
    }
    marker_ = x;
}

void ImageView::mousePressEvent(QMouseEvent* event) {
    if (OnMouseDown) {
        const QPoint p = event->position().toPoint();
        OnMouseDown(event->button(), p.x(), p.y());
    }
}

void ImageView::mouseMoveEvent(QMouseEvent* event) {
    if (OnMouseMove) {
        const QPoint p = event->position().toPoint();
        OnMouseMove(event->buttons(), p.x(), p.y());
    }
}

void ImageView::mouseReleaseEvent(QMouseEvent* event) {
    if (OnMouseUp) {
        const QPoint p = event->position().toPoint();
        OnMouseUp(event->button(), p.x(), p.y());
    }
}

} // namespace kellix
