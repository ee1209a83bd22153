// SPDX-License-Identifier: GPL-3.0-or-later
// The floor of the start-up and memory figures: a bare Qt Widgets window holding the same controls
// as touchdrill's window, laid out, captioned and coloured the same way, and nothing else: no drill,
// no files, no timer, no key routing, no custom painting.
#include "drill/drillkinds.h"

#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QWidget>

namespace {

QFont windowFont(int pixelHeight)
{
    QFont font;
    font.setFamilies({ QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("IPAPGothic"),
        QStringLiteral("Noto Sans CJK JP"), QStringLiteral("IPAGothic") });
    font.setPixelSize(pixelHeight);
    return font;
}

void setBackground(QWidget* widget, const QColor& colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);

    QWidget window;
    window.setWindowTitle(QStringLiteral("タッチタイプ練習"));
    window.setFont(windowFont(13));
    setBackground(&window, QColor(192, 220, 192));
    window.resize(369, 422);

    auto* panel = new QFrame(&window);
    panel->setGeometry(0, 0, 257, 382);
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Raised);
    setBackground(panel, QColor(0, 255, 255));

    auto* target = new QLabel(panel);
    target->move(8, 128);
    target->setFont(windowFont(200));
    target->adjustSize();
    setBackground(target, Qt::white);

    auto* wrong = new QLabel(panel);
    wrong->move(200, 256);
    wrong->setFont(windowFont(64));
    wrong->adjustSize();
    {
        QPalette palette = wrong->palette();
        palette.setColor(QPalette::WindowText, QColor(255, 0, 0));
        wrong->setPalette(palette);
    }
    setBackground(wrong, window.palette().color(QPalette::Button));

    auto* group = new QGroupBox(QStringLiteral("選択"), panel);
    group->setGeometry(144, 6, 102, 150);
    const int tops[] = { 17, 38, 60, 82, 104, 127 };
    for (int i = 0; i < 6; ++i)
        (new QCheckBox(QString::fromUtf8(touchdrill::RowCaptions[static_cast<std::size_t>(i)]), group))
            ->setGeometry(6, tops[i], i == 5 ? 85 : 70, 17);

    auto* button = new QPushButton(QStringLiteral("準備(&R)"), panel);
    button->setGeometry(16, 16, 89, 25);

    auto* list = new QListWidget(&window);
    list->setGeometry(257, 0, 112, 382);

    auto* gauge = new QProgressBar(&window);
    gauge->setGeometry(0, 382, 369, 40);
    gauge->setRange(0, 100);
    gauge->setValue(0);
    gauge->setTextVisible(false);

    window.show();
    return QApplication::exec();
}
