#pragma once

#include <cstdint>

#include <QPoint>
#include <QTimer>
#include <QWidget>

#include "canvas.h"

namespace platform {

/// Shows a canvas 1:1 from the widget's top-left corner, black beyond it. The canvas stays the
/// picture: the view only reads it, so a covered window gets its picture back, and a drawing
/// that pumps messages shows while it grows because the view watches the canvas's generation.
class CanvasView : public QWidget {
    Q_OBJECT

public:
    explicit CanvasView(const common::Canvas& canvas, QWidget* parent = nullptr);

    /// Shows `device` in place of the canvas: the same picture with `ratio` device pixels to
    /// each pixel of the canvas, put onto the screen's device pixels one to one. Mouse positions
    /// stay those of the canvas. nullptr shows the canvas again.
    void showDeviceCanvas(const common::Canvas* device, double ratio);

    /// Paints the canvas now instead of at the next check.
    void refreshNow();

signals:
    void mousePressed(Qt::MouseButton button, Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers,
                      QPoint pos);
    void mouseMoved(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers, QPoint pos);
    void mouseReleased(Qt::MouseButton button, Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers,
                       QPoint pos);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void checkCanvas();
    void paintDevice(const QRect& area);
    [[nodiscard]] const common::Canvas& shown() const { return m_device != nullptr ? *m_device : m_canvas; }

    const common::Canvas& m_canvas;
    const common::Canvas* m_device = nullptr;
    double m_deviceRatio = 1.0;
    QTimer m_watch;
    std::uint64_t m_shownGeneration = 0;
};

} // namespace platform
