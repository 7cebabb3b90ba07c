#pragma once

#include <QWidget>

#include <string>

#include "canvas.h"

namespace platform {
class CanvasView;
class QtServices;
} // namespace platform

namespace lsystem {

/// The L-system generator's one window: a parameter panel on the left, the drawing area right.
class GeneratorWindow : public QWidget {
    Q_OBJECT

public:
    explicit GeneratorWindow(platform::QtServices& services, QWidget* parent = nullptr);
    ~GeneratorWindow() override;

    [[nodiscard]] const std::string& workDir() const { return m_workDir; }
    [[nodiscard]] const common::Canvas& image() const { return m_image; }
    [[nodiscard]] int activations() const { return m_activations; }

protected:
    bool event(QEvent* e) override;

private:
    void FormCreate();
    void FormActivate();
    void ScaleWindowToScreen();

    platform::QtServices& m_services;
    common::Canvas m_image;
    QWidget* m_panel1 = nullptr;
    platform::CanvasView* m_image1 = nullptr;
    std::string m_workDir;
    int m_activations = 0;
};

} // namespace lsystem
