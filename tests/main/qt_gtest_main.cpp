#include <clocale>
#include <cstdlib>

#include <QApplication>
#include <QLocale>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // The sizes the tests expect are those of an unscaled 96 dpi screen. A test that needs a
    // screen of more device pixels runs the program again with FRACTALS_TEST_SCALE_FACTOR.
    if (const char* factor = std::getenv("FRACTALS_TEST_SCALE_FACTOR")) {
        ::setenv("QT_SCALE_FACTOR", factor, 1);
    } else {
        ::unsetenv("QT_SCALE_FACTOR");
    }
    ::unsetenv("QT_FONT_DPI");
    ::unsetenv("QT_SCREEN_SCALE_FACTORS");
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    // A German locale writes "0,5": the conversions under test must not care.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) {
        std::setlocale(LC_ALL, "C.UTF-8");
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
