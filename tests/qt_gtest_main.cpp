// SPDX-License-Identifier: GPL-3.0-or-later
// GoogleTest entry point for tests that paint or build widgets: they need a QApplication.
#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
#ifdef _WIN32
    // The window tests' settings (tests/CMakeLists.txt), set here as well: Wine passes no variable
    // whose name starts with QT_ to a Windows program.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
    qputenv("QT_FONT_DPI", "96");
#endif
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
