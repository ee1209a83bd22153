// SPDX-License-Identifier: GPL-3.0-or-later
// Arbitrary item text and item position through the chart painter, on an offscreen image.
#include "results/chartpainter.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstdint>

namespace {

QGuiApplication& application()
{
    static int argc = 1;
    static char name[] = "fuzz_painter";
    static char* argv[] = { name, nullptr };
    static QGuiApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QGuiApplication(argc, argv);
    }();
    return *app;
}

} // namespace

// Fontconfig keeps pattern caches for the process's life; they are not leaks of the painter.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    application();
    // The first bytes place the item, so items partly or wholly off the image are painted too.
    int left = 0, top = 0;
    if (size >= 2) {
        left = static_cast<int8_t>(data[0]) * 4;
        top = static_cast<int8_t>(data[1]) / 4;
        data += 2;
        size -= 2;
    }
    static QImage image(320, 48, QImage::Format_RGB32);
    image.fill(Qt::magenta);
    QPainter painter(&image);
    QFont font;
    font.setPixelSize(13);
    painter.setFont(font);
    const QString text
        = QString::fromLatin1(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    touchdrill::paintResultLine(painter, QRect(left, top, 300, 16), text);
    return 0;
}
