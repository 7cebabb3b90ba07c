#include <QApplication>

#include "explorer_window.h"
#include "qt_services.h"
#include "translations.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    platform::installGermanTranslations(app);
    platform::QtServices services;
    explorer::ExplorerWindow window(services);
    services.setMainWindow(&window);
    window.show();
    // Without a window manager nothing activates the window, and the start state is set on
    // activation.
    window.activateWindow();
    return QApplication::exec();
}
