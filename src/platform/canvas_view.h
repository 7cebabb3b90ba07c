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

    const common::Canvas& m_canvas;
    QTimer m_watch;
    std::uint64_t m_shownGeneration = 0;
};

} // namespace platform
