// SPDX-License-Identifier: GPL-3.0-or-later
// The gauge repaints only the columns a new position changes; what reaches the screen must still be
// exactly the gauge painted whole.
#include "app/blockprogressbar.h"

#include <QApplication>
#include <QImage>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

#include <vector>

using namespace touchdrill;

namespace {

QImage onScreen(QWidget& window, const QWidget& gauge)
{
    QApplication::processEvents(); // the pending repaint of the changed columns
    return window.screen()
        ->grabWindow(window.winId(), gauge.x(), gauge.y(), gauge.width(), gauge.height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

QImage paintedWhole(BlockProgressBar& gauge)
{
    return gauge.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

TEST(BlockProgressBar, eachStepOnScreenEqualsTheGaugePaintedWhole)
{
    QWidget window;
    window.resize(369, 60);
    BlockProgressBar gauge(&window);
    gauge.setGeometry(0, 10, 369, 40);
    gauge.setRange(0, 100);
    gauge.setValue(0);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    std::vector<int> positions;
    for (int v = 1; v <= 100; ++v)
        positions.push_back(v);
    positions.insert(positions.end(), { 0, 37, 38, 12, 100, 99, 0 }); // new targets empty the gauge
    for (const int v : positions) {
        gauge.setValue(v);
        ASSERT_EQ(gauge.value(), v);
        ASSERT_EQ(onScreen(window, gauge), paintedWhole(gauge)) << "at position " << v;
    }
}

TEST(BlockProgressBar, positionIsHeldWithinTheRange)
{
    BlockProgressBar gauge;
    gauge.setRange(0, 100);
    gauge.setValue(150);
    EXPECT_EQ(gauge.value(), 100);
    gauge.setValue(-5);
    EXPECT_EQ(gauge.value(), 0);
}

} // namespace
