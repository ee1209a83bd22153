// SPDX-License-Identifier: GPL-3.0-or-later
// The keyboard view: which character a click or a key chooses, and how the keys are coloured.
#include "progress/keyboardlayout.h"
#include "progress/keyboardview.h"
#include "progress/progresstext.h"

#include <QImage>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <set>

using namespace touchdrill;

namespace {

figures::KeySummary summary(unsigned char code, std::optional<double> recentMs, double accuracy)
{
    figures::KeySummary s;
    s.code = code;
    s.drills = 5;
    // Enough answers to be coloured; all of them wrong without a time.
    s.recentHits = recentMs ? figures::MinAnswers : 0;
    s.recentWrong = recentMs ? 0 : figures::MinAnswers;
    s.recentMs = recentMs;
    s.accuracy = accuracy;
    // Its times from answers kept, at that median.
    s.answersKept = true;
    s.times.answers = s.recentHits;
    if (recentMs)
        s.times.median = figures::Estimate { *recentMs, std::nullopt };
    return s;
}

// The centre of a character's key half, in the view's pixels.
QPoint centreOf(const KeyboardView& view, unsigned char code, int which = 0)
{
    const KeyHit hit = KeyboardLayout::keysFor(code).at(static_cast<std::size_t>(which));
    const KeyCap& key = KeyboardLayout::keys()[static_cast<std::size_t>(hit.key)];
    return view.toPixels(KeyboardLayout::half(key, hit.upper)).center().toPoint();
}

} // namespace

TEST(KeyboardLayout, everyPracticeCharacterHasItsKey)
{
    std::set<unsigned char> typed;
    for (const KeyCap& key : KeyboardLayout::keys()) {
        if (key.base)
            typed.insert(key.base);
        if (key.shifted)
            typed.insert(key.shifted);
        EXPECT_LE(key.rect.right(), KeyboardLayout::Width + 1e-9);
    }
    EXPECT_EQ(typed.size(), 94u);
    EXPECT_EQ(*typed.begin(), '!');
    EXPECT_EQ(*typed.rbegin(), '~');
    EXPECT_EQ(KeyboardLayout::keysFor('\\').size(), 2u); // the yen key and the ro key
    const KeyHit yen = KeyboardLayout::keysFor('\\').front();
    EXPECT_EQ(KeyboardLayout::keys()[static_cast<std::size_t>(yen.key)].baseLegend.toStdString(), "¥");
}

TEST(KeyboardLayout, hitTesting)
{
    struct Row {
        const char* name;
        QPointF units;
        unsigned char code; // 0: nothing
    };
    const Row table[] = {
        { "lower half of 1 is 1", { 1.5, 0.8 }, '1' },
        { "upper half of 1 is !", { 1.5, 0.2 }, '!' },
        { "the 0 key has no Shift character: its upper half is 0", { 10.5, 0.2 }, '0' },
        { "yen key types the backslash", { 13.5, 0.7 }, '\\' },
        { "yen key with Shift is the bar", { 13.5, 0.3 }, '|' },
        { "BS is no practice key", { 14.5, 0.5 }, 0 },
        { "Tab is 1.5 wide", { 1.4, 1.7 }, 0 },
        { "q starts after Tab", { 1.6, 1.7 }, 'q' },
        { "@ with Shift is the backquote", { 12.0, 1.2 }, '`' },
        { "[ is the last upper-row key", { 13.4, 1.7 }, '[' },
        { "Enter's upper part", { 14.0, 1.5 }, 0 },
        { "Enter's lower part", { 14.5, 2.5 }, 0 },
        { "a starts after 英数 (1.75)", { 1.8, 2.7 }, 'a' },
        { "A above it", { 1.8, 2.2 }, 'A' },
        { "] ends the home row at 13.75", { 13.7, 2.7 }, ']' },
        { "} with Shift", { 13.7, 2.2 }, '}' },
        { "z starts after Shift (2.25)", { 2.3, 3.7 }, 'z' },
        { "ro key types the backslash", { 12.75, 3.7 }, '\\' },
        { "ro key with Shift is the underscore", { 12.75, 3.2 }, '_' },
        { "right Shift", { 14.0, 3.5 }, 0 },
        { "a shared edge belongs to the key to its right", { 2.0, 0.7 }, '2' },
        { "left of the keyboard", { -0.1, 0.5 }, 0 },
        { "below the keyboard", { 5.0, 4.0 }, 0 },
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        const std::optional<KeyHit> hit = KeyboardLayout::hitTest(row.units);
        EXPECT_EQ(hit ? hit->code : 0, row.code);
    }
}

TEST(KeyboardLayout, arrowMoves)
{
    using D = KeyboardLayout::Direction;
    struct Row {
        const char* name;
        unsigned char from;
        D direction;
        unsigned char to;
    };
    const Row table[] = {
        { "right along the row", 'f', D::Right, 'g' },
        { "left along the row keeps the upper half", 'G', D::Left, 'F' },
        { "up within the key", 'f', D::Up, 'F' },
        { "up from the upper half to the row above", 'F', D::Up, 'r' },
        { "down from the lower half to the row below", 'f', D::Down, 'V' },
        { "down within the key", 'V', D::Down, 'v' },
        { "stops at the left edge", 'a', D::Left, 'a' },
        { "stops at the right edge", ']', D::Right, ']' },
        { "stops at the top", '!', D::Up, '!' },
        { "stops at the bottom", 'z', D::Down, 'z' },
        { "onto a key without Shift character: its whole", '9', D::Right, '0' },
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        const KeyHit from = KeyboardLayout::keysFor(row.from).front();
        EXPECT_EQ(KeyboardLayout::neighbour(from, row.direction).code, row.to);
    }
}

TEST(KeyboardView, clicksAndKeysChooseCharacters)
{
    KeyboardView view;
    view.resize(620, 220);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    QSignalSpy chosen(&view, &KeyboardView::characterChosen);

    struct Row {
        const char* name;
        std::function<void()> act;
        unsigned char selected;
        bool emitted;
    };
    const Row table[] = {
        { "click the lower half of f",
            [&] { QTest::mouseClick(&view, Qt::LeftButton, {}, centreOf(view, 'f')); }, 'f', true },
        { "click the same again: nothing new",
            [&] { QTest::mouseClick(&view, Qt::LeftButton, {}, centreOf(view, 'f')); }, 'f', false },
        { "click the upper half: the capital",
            [&] { QTest::mouseClick(&view, Qt::LeftButton, {}, centreOf(view, 'F')); }, 'F', true },
        { "click the ro key: the backslash",
            [&] { QTest::mouseClick(&view, Qt::LeftButton, {}, centreOf(view, '\\', 1)); }, '\\', true },
        { "click Tab: nothing",
            [&] {
                const auto& keys = KeyboardLayout::keys();
                const KeyCap& tab = *std::find_if(keys.begin(), keys.end(),
                    [](const KeyCap& k) { return k.name == QStringLiteral("Tab"); });
                QTest::mouseClick(&view, Qt::LeftButton, {}, view.toPixels(tab.rect).center().toPoint());
            },
            '\\', false },
        { "type a character", [&] { QTest::keyClick(&view, 'k'); }, 'k', true },
        { "type a Shift character", [&] { QTest::keyClicks(&view, QStringLiteral("~")); }, '~', true },
        { "the yen sign is the backslash", [&] { QTest::keyClicks(&view, QStringLiteral("¥")); }, '\\',
            true },
        { "arrows move from there", [&] { QTest::keyClick(&view, Qt::Key_Left); }, '^', true },
        { "up onto the Shift half", [&] { QTest::keyClick(&view, Qt::Key_Up); }, '~', true },
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        chosen.clear();
        row.act();
        EXPECT_EQ(view.selected(), row.selected);
        ASSERT_EQ(chosen.size(), row.emitted ? 1 : 0);
        if (row.emitted) {
            EXPECT_EQ(chosen.at(0).at(0).value<unsigned char>(), row.selected);
        }
    }
}

TEST(KeyboardView, keysColouredByTheirFigures)
{
    KeyboardView view;
    view.resize(620, 220);
    // a fast and accurate, s slow, A inaccurate, f only wrong of late; d has no data.
    view.setSummaries({ summary('A', 300, 0.8), summary('a', 200, 1.0), summary('s', 900, 0.95),
        summary('f', std::nullopt, 0.0) });
    const QImage image = view.grab().toImage();
    auto at = [&](unsigned char code) { return image.pixelColor(centreOf(view, code) + QPoint(0, 2)).rgb(); };

    struct Row {
        const char* name;
        unsigned char code;
        QColor expected;
    };
    const Row byAverage[] = {
        // On the fixed logarithmic scale from 250 ms to 4,000 ms.
        { "faster than 250 ms is the pale end", 'a', KeyboardView::heatColour(0.0) },
        { "900 ms by its ratio to 250 ms", 's',
            KeyboardView::heatColour(std::log(900.0 / 250) / std::log(16.0)) },
        { "the capital on the same key has its own colour", 'A',
            KeyboardView::heatColour(std::log(300.0 / 250) / std::log(16.0)) },
        { "no data: plain", 'd', KeyboardView::plainColour() },
        { "no hit of late, only wrong keys: as slow as it gets", 'f', KeyboardView::heatColour(1.0) },
    };
    for (const Row& row : byAverage) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(at(row.code), row.expected.rgb());
    }

    view.setColouring(KeyboardView::Colouring::Accuracy);
    const QImage accuracy = view.grab().toImage();
    auto accuracyAt
        = [&](unsigned char code) { return accuracy.pixelColor(centreOf(view, code) + QPoint(0, 2)).rgb(); };
    const Row byAccuracy[] = {
        { "all right is the pale end", 'a', KeyboardView::heatColour(0.0) },
        { "95 % is a quarter", 's', KeyboardView::heatColour(0.25) },
        { "80 % is the dark end", 'A', KeyboardView::heatColour(1.0) },
        { "no data: plain", 'd', KeyboardView::plainColour() },
    };
    for (const Row& row : byAccuracy) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(accuracyAt(row.code), row.expected.rgb());
    }
    EXPECT_NE(KeyboardView::heatColour(0.0), KeyboardView::heatColour(1.0));

    // The legend's bar runs through the same colours as the keys, good end on the left.
    const QRectF bar = view.legendBar();
    for (const double at : { 0.25, 0.5, 0.75 }) {
        SCOPED_TRACE(at);
        const QColor painted
            = accuracy.pixelColor(QPointF(bar.left() + bar.width() * at, bar.center().y()).toPoint());
        const QColor expected = KeyboardView::heatColour(at);
        EXPECT_NEAR(painted.red(), expected.red(), 6);
        EXPECT_NEAR(painted.green(), expected.green(), 6);
        EXPECT_NEAR(painted.blue(), expected.blue(), 6);
    }

    // Legends in white on the dark end, in black on the pale one: f is as slow as it gets, a as
    // fast. Its key's lower half holds its legend and kana.
    view.setColouring(KeyboardView::Colouring::Average);
    const QImage legends = view.grab().toImage();
    auto lightPixels = [&](unsigned char code) {
        const KeyHit hit = KeyboardLayout::keysFor(code).front();
        const QRect half
            = view.toPixels(
                      KeyboardLayout::half(KeyboardLayout::keys()[static_cast<std::size_t>(hit.key)], false))
                  .toAlignedRect();
        int light = 0;
        for (int y = half.top() + 2; y < half.bottom() - 2; ++y)
            for (int x = half.left() + 2; x < half.right() - 2; ++x)
                light += qGray(legends.pixel(x, y)) > 240;
        return light;
    };
    EXPECT_GT(lightPixels('f'), 3);
    EXPECT_EQ(lightPixels('a'), 0);
}

// A key's tip: each time figure with its interval and the trend with what it compared; too few
// answers, or none kept, said in their place.
TEST(KeyboardView, tipSaysEachFigureWithItsInterval)
{
    figures::KeySummary full = summary('a', 612, 0.975);
    full.kind = "h";
    full.bestMs = 380;
    full.times.answers = 64;
    full.times.median = figures::Estimate { 612, figures::Interval { 580, 650 } };
    full.times.p90 = figures::Estimate { 950, figures::Interval { 880, 1020 } };
    full.times.spread = figures::Estimate { 0.42, figures::Interval { 0.3, 0.61 } };
    full.trend = { figures::Trend::Faster, 0.003, 0.02, 70, 64, 6, 7, 0.88, true };
    figures::KeySummary few = summary('a', 612, 1.0);
    few.kind = "h";
    few.recentHits = few.times.answers = 4;
    figures::KeySummary old = summary('a', 612, 0.9);
    old.kind = "uhl";
    old.answersKept = false;
    old.times = {};
    const std::pair<const figures::KeySummary*, QString> table[] = {
        { &full,
            QStringLiteral("a: 中央値 612 (580–650) ms、90%点 950 (880–1020) ms、ばらつき 0.42 (0.30–0.61) "
                           "(括弧内は 95%区間)\n傾向: 速くなった — 直近のひと続きの練習 7 回 (答え 64 回) とその前の 6 回 "
                           "(答え 70 回) を比較（ひと続きごとの順位和検定、p = 0.003、表のキー全体で補正して "
                           "p = 0.020、中央値 −12%）\n正確さ 97.5%、自己ベスト (成績ファイル) 380 ms\n"
                           "中段の練習から") },
        { &few,
            QStringLiteral("a: データ不足\n記録した答えが 4 回だけです (6 回から数字を出します)\n"
                           "正確さ データ不足、自己ベスト (成績ファイル) —\n中段の練習から") },
        { &old,
            QStringLiteral("a: 回答の記録なし\n") + noAnswersTip()
                + QStringLiteral("\n正確さ 90.0%、自己ベスト (成績ファイル) —\n上段・中段・下段の練習から") },
    };
    for (const auto& [key, expected] : table)
        EXPECT_EQ(summaryText(*key), expected);
}
