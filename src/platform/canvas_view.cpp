#include "canvas_view.h"

#include <cmath>

#include <QImage>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QRegion>

namespace platform {

namespace {

// Fast enough that a growing picture looks continuous, slow enough to cost nothing when idle.
constexpr int kWatchIntervalMs = 15;

QPoint canvasPoint(const QMouseEvent* event) {
    // Floor, not round: with a fractional device ratio a point in the right half of a pixel
    // still belongs to that pixel.
    const QPointF p = event->position();
    return {static_cast<int>(std::floor(p.x())), static_cast<int>(std::floor(p.y()))};
}

} // namespace

CanvasView::CanvasView(const common::Canvas& canvas, QWidget* parent) : QWidget(parent), m_canvas(canvas) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    m_shownGeneration = m_canvas.generation();
    m_watch.setInterval(kWatchIntervalMs);
    connect(&m_watch, &QTimer::timeout, this, &CanvasView::checkCanvas);
    m_watch.start();
}

void CanvasView::showDeviceCanvas(const common::Canvas* device, double ratio) {
    m_device = device;
    m_deviceRatio = device != nullptr ? ratio : 1.0;
    m_shownGeneration = shown().generation();
    update();
}

void CanvasView::refreshNow() {
    m_shownGeneration = shown().generation();
    repaint();
}

void CanvasView::checkCanvas() {
    // Noted here, not in paintEvent: grab() and render() paint too, without reaching the screen.
    const std::uint64_t generation = shown().generation();
    if (generation != m_shownGeneration) {
        m_shownGeneration = generation;
        update();
    }
}

void CanvasView::paintEvent(QPaintEvent* event) {
    if (m_device != nullptr) {
        paintDevice(event->rect());
        return;
    }
    QPainter painter(this);
    const common::RgbImage& image = m_canvas.image();
    QRect pictureRect;
    if (!image.empty()) {
        // A view on the canvas's own rows (unpadded, hence the explicit row length): no copy.
        const QImage picture(image.pixels.data(), image.width, image.height,
                             static_cast<qsizetype>(image.rowBytes()), QImage::Format_RGB888);
        pictureRect = picture.rect();
        const QRect part = event->rect() & pictureRect;
        if (!part.isEmpty()) {
            painter.drawImage(part.topLeft(), picture, part);
        }
    }
    const QRegion outside = QRegion(event->rect()) - QRegion(pictureRect);
    for (const QRect& r : outside) {
        painter.fillRect(r, Qt::black);
    }
}

void CanvasView::paintDevice(const QRect& area) {
    QPainter painter(this);
    const common::RgbImage& image = m_device->image();
    const double r = m_deviceRatio;
    // Black first where the picture does not cover the area whole; the picture then goes over it.
    const QRect covered(0, 0, static_cast<int>(std::floor(image.width / r)),
                        static_cast<int>(std::floor(image.height / r)));
    for (const QRect& outside : QRegion(area) - QRegion(covered)) {
        painter.fillRect(outside, Qt::black);
    }
    if (image.empty()) {
        return;
    }
    const QImage picture(image.pixels.data(), image.width, image.height,
                         static_cast<qsizetype>(image.rowBytes()), QImage::Format_RGB888);
    // The device pixels under the area, drawn into exactly their logical extent: one picture
    // pixel to one pixel of the screen.
    const QRect source = QRect(QPoint(static_cast<int>(std::floor(area.left() * r)),
                                      static_cast<int>(std::floor(area.top() * r))),
                               QPoint(static_cast<int>(std::ceil((area.right() + 1) * r)) - 1,
                                      static_cast<int>(std::ceil((area.bottom() + 1) * r)) - 1)) &
                         picture.rect();
    if (!source.isEmpty()) {
        const QRectF target(source.left() / r, source.top() / r, source.width() / r, source.height() / r);
        painter.drawImage(target, picture, source);
    }
}

void CanvasView::mousePressEvent(QMouseEvent* event) {
    event->accept();
    emit mousePressed(event->button(), event->buttons(), event->modifiers(), canvasPoint(event));
}

void CanvasView::mouseMoveEvent(QMouseEvent* event) {
    event->accept();
    emit mouseMoved(event->buttons(), event->modifiers(), canvasPoint(event));
}

void CanvasView::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
    emit mouseReleased(event->button(), event->buttons(), event->modifiers(), canvasPoint(event));
}

} // namespace platform
