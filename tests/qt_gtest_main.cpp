// SPDX-License-Identifier: GPL-3.0-or-later
// GoogleTest entry point for tests that paint or build widgets: they need a QApplication.
#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
