// Shared main of every test binary: number parsing and formatting are defined by the "C" locale.
#include <clocale>
#include <gtest/gtest.h>
#include <locale>

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "C");
    std::locale::global(std::locale::classic());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
