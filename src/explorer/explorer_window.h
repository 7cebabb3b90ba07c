#pragma once

#include <QWidget>

#include <string>

#include "canvas.h"

class QKeyEvent;

namespace platform {
class CanvasView;
class QtServices;
} // namespace platform

namespace explorer {

/// The set explorer's one window: its client area is the picture.
class ExplorerWindow : public QWidget {
    Q_OBJECT

public:
    explicit ExplorerWindow(platform::QtServices& services, QWidget* parent = nullptr);
    ~ExplorerWindow() override;

    [[nodiscard]] const common::Canvas& picture() const { return m_picture; }
    [[nodiscard]] const std::string& picDir() const { return m_picDir; }
    [[nodiscard]] int picWidth() const { return m_picWidth; }
    [[nodiscard]] int picHeight() const { return m_picHeight; }
    [[nodiscard]] int activations() const { return m_activations; }
    [[nodiscard]] QString titleLine() const;

    void FormKeyUp(QObject* sender, int key);

protected:
    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void FormCreate();
    void FormActivate();
    void FitWindowToScreen();
    void ClearPicture();

    platform::QtServices& m_services;
    common::Canvas m_picture;
    platform::CanvasView* m_view = nullptr;

    std::string m_picDir;
    std::string m_picBaseName;
    int m_picNumber = 0;
    int m_showDelayMs = 0;
    int m_picWidth = 0;
    int m_picHeight = 0;
    int m_activations = 0;
};

} // namespace explorer
