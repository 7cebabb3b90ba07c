#include <clocale>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // A German locale writes "0,5": the conversions under test must not care.
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) {
        std::setlocale(LC_ALL, "C.UTF-8");
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
