// SPDX-License-Identifier: GPL-3.0-or-later
// The progress window with a history handed in: choosing a character everywhere at once, the chart's
// points under the pointer, new drills, the weak-key button, the export, the import and its placement.
#include "figures/weakkeys.h"
#include "history/historydb.h"
#include "progress/keyboardlayout.h"
#include "progress/keyboardview.h"
#include "progress/progresschart.h"
#include "progress/progresswindow.h"
#include "progress/weakkeysmodel.h"
#include "tests/support/scratchfolder.h"

#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTableView>
#include <QTest>

#include <gtest/gtest.h>

#include <stdexcept>

using namespace touchdrill;

namespace {

constexpr int64_t Dec7 = 1796601600000LL; // 2026-12-07 00:00 UTC

// Sets each answer's previous target, as a drill's answers have it.
void linkAnswers(history::DrillRecord& record)
{
    unsigned char previous = 0;
    for (history::Answer& answer : *record.answers)
        answer.previous = std::exchange(previous, answer.target);
}

history::DrillRecord drill(int64_t id, std::vector<history::KeyRecord> keys)
{
    history::DrillRecord record;
    record.id = id;
    record.startedUtcMs = Dec7 + id * 3600000;
    record.endedUtcMs = record.startedUtcMs + 60000;
    record.rows = "h";
    record.keys = std::move(keys);
    // Its answers as the history keeps them: each character's hits at its average, so that the
    // medians are the averages; a character with wrong keys only was left unanswered.
    // Only a drill's last target can be unanswered: the last such character is, the others have no
    // answers.
    record.answers.emplace();
    unsigned char unanswered = 0;
    for (const history::KeyRecord& key : record.keys) {
        // The wrong keys come before the character's first right key.
        std::vector<history::WrongKey> wrongKeys;
        for (const auto& [typed, count] : key.wrongKeys)
            wrongKeys.insert(wrongKeys.end(), count, { typed, 0 });
        for (uint32_t i = 0; i < key.hits; ++i)
            record.answers->push_back({ key.code, 0, key.totalMs / key.hits,
                i == 0 ? wrongKeys : std::vector<history::WrongKey> {}, true });
        if (key.hits == 0 && key.wrong > 0)
            unanswered = key.code;
    }
    if (unanswered)
        record.answers->push_back({ unanswered, 0, 0, {}, false });
    linkAnswers(record);
    return record;
}

// A history that grows as the test adds drills; the window reads what came after its last id.
struct FakeHistory {
    std::vector<history::DrillRecord> drills;
    std::vector<int64_t> asked;
    bool broken = false;

    std::vector<history::DrillRecord> after(int64_t id)
    {
        asked.push_back(id);
        if (broken)
            throw std::runtime_error("壊れています");
        std::vector<history::DrillRecord> newer;
        for (const auto& d : drills)
            if (d.id > id)
                newer.push_back(d);
        return newer;
    }
};

struct Fixture {
    FakeHistory history;
    std::vector<std::string> pools;
    QStringList errors;
    touchdrill::testing::ScratchFolder dir;
    std::unique_ptr<ProgressWindow> window;
    std::function<void(ProgressWindow::Options&)> adjust; // before the window is made

    void open()
    {
        ProgressWindow::Options options;
        options.readDrills = [this](int64_t id, std::size_t&) { return history.after(id); };
        options.readBest = [] {
            BestTimes best {};
            best['s' - FirstCode] = 280;
            return best;
        };
        options.practise = [this](const std::string& pool) {
            pools.push_back(pool);
            return QString();
        };
        options.errorBox = [this](const QString& text) { errors << text; };
        options.iniPath = dir.path("t.ini");
        if (adjust)
            adjust(options);
        window = std::make_unique<ProgressWindow>(options);
        window->showAndRaise();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
};

} // namespace

TEST(ProgressWindow, withoutHistoryTheButtonSaysWhy)
{
    Fixture f;
    f.open();
    EXPECT_EQ(f.window->windowTitle(), QStringLiteral("練習の記録"));
    EXPECT_FALSE(f.window->practiseButton->isEnabled());
    EXPECT_FALSE(f.window->practiseNote->text().isEmpty());
    EXPECT_FALSE(f.window->exportButton->isEnabled());
    EXPECT_TRUE(f.window->chart->series().points.empty());

    // A drill ends: the window reads what came after. Three answered times are too few to choose
    // from.
    f.history.drills = { drill(1, { { 'a', 3, 900, 1, { { 's', 1 } } } }) };
    f.window->drillRecorded();
    EXPECT_EQ(f.history.asked, (std::vector<int64_t> { 0, 0 }));
    EXPECT_FALSE(f.window->practiseButton->isEnabled());
    EXPECT_EQ(f.window->practiseNote->text(),
        QStringLiteral("まだ苦手なキーを選べません: 答えを 6 回以上記録した文字から選びます。"));

    // With enough answers the button comes alive and says which keys the drill holds, how often.
    f.history.drills.push_back(
        drill(2, { { 'a', 16, 4000, 0, {} }, { 's', 30, 30000, 0, {} }, { 'd', 20, 5000, 0, {} } }));
    f.window->drillRecorded();
    EXPECT_TRUE(f.window->practiseButton->isEnabled());
    EXPECT_EQ(f.window->practiseNote->text(), QStringLiteral("練習するキー: s×4 a×1 d×1"));
    QTest::mouseClick(f.window->practiseButton, Qt::LeftButton);
    EXPECT_EQ(f.pools, (std::vector<std::string> { "adssss" }));
    EXPECT_EQ(f.window->practiseNote->text(), QStringLiteral("練習するキー: s×4 a×1 d×1"));

    // An unreadable history is said in the window, not in a box at every drill.
    f.history.broken = true;
    f.window->drillRecorded();
    EXPECT_TRUE(f.window->statusLabel->text().contains(QStringLiteral("壊れています")));
    EXPECT_TRUE(f.errors.isEmpty());
    EXPECT_EQ(f.window->drillCount(), 2u);
}

// The status line: the drills shown, the stored rows left out as damaged, and why nothing is
// recorded when the history could only be opened for reading; read again, nothing is counted twice.
TEST(ProgressWindow, statusLineSaysWhatWasLeftOutAndWhyNothingIsRecorded)
{
    struct Row {
        const char* name;
        int drills;
        std::size_t damaged; // rows the history leaves out of a whole read
        QString readOnly;
        QString status;
    };
    const QString full
        = QStringLiteral("練習の記録を /h/t.sqlite に書き込めません（ディスクがいっぱいです）");
    const Row table[] = {
        { "read whole and recorded into", 2, 0, QString(), QStringLiteral("練習 2 回の記録") },
        { "rows left out", 2, 3, QString(),
            QStringLiteral("練習 2 回の記録。壊れた記録 3 件を読み飛ばしました") },
        { "read-only and empty", 0, 0, full, QStringLiteral("まだ記録がありません。読み取りのみ: ") + full },
        { "read-only with rows left out", 1, 1, full,
            QStringLiteral("練習 1 回の記録。壊れた記録 1 件を読み飛ばしました。読み取りのみ: ") + full },
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        Fixture f;
        for (int i = 1; i <= row.drills; ++i)
            f.history.drills.push_back(drill(i, { { 'a', 1, 300, 0, {} } }));
        f.adjust = [&](ProgressWindow::Options& options) {
            options.readDrills = [&](int64_t after, std::size_t& skipped) {
                if (after == 0)
                    skipped += row.damaged;
                return f.history.after(after);
            };
            options.readOnlyReason = [&] { return row.readOnly; };
        };
        f.open();
        EXPECT_EQ(f.window->statusLabel->text(), row.status);
        f.window->reload();
        EXPECT_EQ(f.window->statusLabel->text(), row.status) << "read again";
    }
}

TEST(ProgressWindow, oneCharacterChosenEverywhere)
{
    Fixture f;
    f.history.drills = {
        drill(1, { { 'a', 20, 6000, 0, {} }, { 's', 10, 5000, 2, { { 'd', 2 } } } }),
        drill(2, { { 'a', 20, 6000, 0, {} } }),
        drill(3, { { 's', 10, 8000, 0, {} }, { 'd', 20, 4000, 0, {} } }),
    };
    f.open();
    EXPECT_EQ(f.window->chart->series().points.size(), 3u);
    std::string tableOrder;
    for (int row = 0; row < f.window->model->rowCount(); ++row)
        tableOrder += static_cast<char>(f.window->model->codeAt(row));
    EXPECT_EQ(tableOrder, "sad") << "the weak keys open weakest first";

    struct Row {
        const char* name;
        std::function<void()> act;
        unsigned char chosen;
        std::size_t points;
    };
    KeyboardView* keyboard = f.window->keyboard;
    auto keyCentre = [keyboard](unsigned char code) {
        const KeyHit hit = KeyboardLayout::keysFor(code).front();
        const KeyCap& key = KeyboardLayout::keys()[static_cast<std::size_t>(hit.key)];
        return keyboard->toPixels(KeyboardLayout::half(key, hit.upper)).center().toPoint();
    };
    const Row table[] = {
        { "a click on the s key", [&] { QTest::mouseClick(keyboard, Qt::LeftButton, {}, keyCentre('s')); },
            's', 2 },
        { "a row of the table",
            [&] { f.window->table->setCurrentIndex(f.window->model->index(f.window->model->rowOf('d'), 0)); },
            'd', 1 },
        { "the character box", [&] { f.window->characterBox->setCurrentIndex('a' - FirstCode + 1); }, 'a',
            2 },
        { "a key typed on the keyboard view",
            [&] {
                keyboard->setFocus();
                QTest::keyClick(keyboard, 's');
            },
            's', 2 },
        { "a character with no drill: an empty chart",
            [&] { QTest::mouseClick(keyboard, Qt::LeftButton, {}, keyCentre('q')); }, 'q', 0 },
        { "every character again", [&] { f.window->characterBox->setCurrentIndex(0); }, 0, 3 },
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        row.act();
        EXPECT_EQ(f.window->chosenCharacter(), row.chosen);
        EXPECT_EQ(keyboard->selected(), row.chosen);
        const int tableRow
            = f.window->table->currentIndex().isValid() ? f.window->table->currentIndex().row() : -1;
        if (f.window->model->rowOf(row.chosen) >= 0) {
            EXPECT_EQ(f.window->model->codeAt(tableRow), row.chosen);
        }
        EXPECT_EQ(f.window->chart->series().points.size(), row.points);
    }
}

// The kinds of drill in their box: the window opens on the one practised most lately, a choice
// holds the chart, the table and the keyboard to it, and a new drill keeps the learner's choice.
TEST(ProgressWindow, oneKindOfDrillAtATime)
{
    Fixture f;
    const int64_t now = QDateTime::currentMSecsSinceEpoch();
    auto at = [&](int64_t id, int64_t daysAgo, const char* rows, uint32_t totalMs) {
        history::DrillRecord d = drill(id, { { 'a', 20, totalMs, 0, {} } });
        d.startedUtcMs = now - daysAgo * 24 * 3600000;
        d.rows = rows;
        return d;
    };
    f.history.drills = { at(1, 30, "h", 6000), at(2, 29, "h", 6000), at(3, 28, "h", 6000),
        at(4, 2, "uhl", 12000), at(5, 1, "uhl", 12000) };
    f.open();
    QStringList items;
    for (int i = 0; i < f.window->kindBox->count(); ++i)
        items << f.window->kindBox->itemText(i);
    EXPECT_EQ(items,
        QStringList({ QStringLiteral("すべて"), QStringLiteral("中段 (3 回)"),
            QStringLiteral("上段・中段・下段 (2 回)") }));

    struct Row {
        const char* name;
        std::function<void()> act;
        QString chosen;
        std::size_t points;
        std::optional<double> recentMs; // of 'a' in the table
    };
    const Row table[] = {
        { "opens on the kind practised lately", [] {}, QStringLiteral("上段・中段・下段 (2 回)"), 2, 600.0 },
        { "the home row", [&] { f.window->kindBox->setCurrentIndex(1); }, QStringLiteral("中段 (3 回)"), 3,
            300.0 },
        { "a new drill of another kind keeps the choice",
            [&] {
                f.history.drills.push_back(at(6, 0, "uhl", 12000));
                f.window->drillRecorded();
            },
            QStringLiteral("中段 (3 回)"), 3, 300.0 },
        { "every kind: the figures of the kind of most of its drills, on a tie the latest",
            [&] { f.window->kindBox->setCurrentIndex(0); }, QStringLiteral("すべて"), 6, 600.0 },
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        row.act();
        EXPECT_EQ(f.window->kindBox->currentText(), row.chosen);
        EXPECT_EQ(f.window->chart->series().points.size(), row.points);
        ASSERT_EQ(f.window->summaries().size(), 1u);
        EXPECT_EQ(f.window->summaries()[0].recentMs, row.recentMs);
    }
}

// At the size the window opens at, and larger, every column of the weak-keys table is in view,
// the longest texts it writes included, with no scroll bar to reach the last; what is left over
// goes to the keyboard.
TEST(ProgressWindow, weakKeysTableShowsEveryColumn)
{
#ifdef _WIN32
    GTEST_SKIP() << "Wine's stand-in fonts are wider than Windows' own; widths are checked on Linux";
#endif
    Fixture f;
    for (int64_t id = 1; id <= 10; ++id)
        f.history.drills.push_back(drill(id,
            { { 'a', 20, 6000, 0, {} }, { 's', 20, 30000, 20, { { 'x', 20 } } },
                { '\\', 20, 99000, 9, { { '_', 1999 } } }, { 'd', id == 10 ? 2u : 20u, 5000, 0, {} },
                { 'f', id < 6 ? 2u : 20u, 5000, 0, {} } }));
    f.open();
    QTableView* table = f.window->table;
    struct Row {
        const char* name;
        QSize size;
    };
    const Row rows[] = {
        { "the designed size, on a screen that takes it", { 980, 640 } },
        { "larger", { 1280, 800 } },
    };
    int keyboardWidth = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        f.window->resize(row.size);
        QApplication::processEvents();
        int width = 0;
        for (int column = 0; column < WeakKeysModel::ColumnCount; ++column)
            width += table->columnWidth(column);
        EXPECT_LE(width, table->viewport()->width()) << [&] {
            std::string widths;
            for (int column = 0; column < WeakKeysModel::ColumnCount; ++column)
                widths += std::to_string(table->columnWidth(column)) + " ";
            return widths;
        }();
        EXPECT_FALSE(table->horizontalScrollBar()->isVisible());
        EXPECT_GT(f.window->keyboard->width(), keyboardWidth);
        keyboardWidth = f.window->keyboard->width();
    }
}

TEST(ProgressWindow, chartPointUnderThePointer)
{
    Fixture f;
    f.history.drills = { drill(1, { { 'a', 4, 2000, 1, {} } }), drill(2, { { 'a', 2, 600, 0, {} } }) };
    f.open();
    const ProgressChart* chart = f.window->chart;
    const QRectF plot = chart->plotRect();
    struct Row {
        const char* name;
        QPointF at;
        int index;
    };
    const Row table[] = {
        { "left half: the first drill", { plot.left() + 1, plot.center().y() }, 0 },
        { "right half: the second", { plot.right() - 1, plot.center().y() }, 1 },
        { "just right of the first point: still the nearest",
            { chart->xOf(0) + plot.width() / 8, plot.center().y() }, 0 },
        { "left of the plot: none", { plot.left() - 2, plot.center().y() }, -1 },
        { "far below the plot: none", { plot.center().x(), plot.bottom() + 20 }, -1 },
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(chart->pointAt(row.at), row.index);
    }
    // From the keyboard, Right walks to the next point and stays on the last.
    for (const Qt::Key key : { Qt::Key_Home, Qt::Key_Right, Qt::Key_Right })
        QTest::keyClick(f.window->chart, key);
    EXPECT_EQ(chart->highlighted(), 1);
    // 500 ms against a top of 500 ms; 80 % against a bottom of 80 %.
    EXPECT_EQ(chart->averageTop(), 500.0);
    EXPECT_NEAR(chart->averagePoint(0)->y(), plot.top(), 1e-9);
    EXPECT_NEAR(chart->accuracyPoint(0)->y(), plot.bottom(), 1e-9);
    EXPECT_NEAR(chart->accuracyPoint(1)->y(), plot.top(), 1e-9);
    const QString text = chart->pointText(0);
    EXPECT_TRUE(text.contains(QStringLiteral("平均 500 ms"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("正確さ 80.0%"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("正解 4 回、ミス 1 回"))) << text.toStdString();
}

// The chart's x axis is time: drills at noon on days before "now" stand at distances in proportion
// to the days between them, a break of days is dashed, and a period leaves out the drills before it,
// from the table as from the chart.
TEST(ProgressWindow, chartOnATimeAxisOverAPeriod)
{
    Fixture f;
    const int64_t noon = QDateTime(QDate(2026, 12, 7), QTime(12, 0)).toMSecsSinceEpoch();
    const int64_t now = noon + 6 * 3600000LL;
    const int64_t day = 24 * 3600000LL;
    const int days[] = { -40, -9, -8, -6, -2, 0 };
    for (std::size_t i = 0; i < std::size(days); ++i) {
        // The month-old drill the slowest: a table of every drill counts it among the earlier.
        f.history.drills.push_back(drill(int64_t(i) + 1, { { 'a', 2, i == 0 ? 2000u : 800u, 0, {} } }));
        f.history.drills.back().startedUtcMs = noon + days[i] * day;
    }
    f.adjust = [&](ProgressWindow::Options& options) { options.nowUtcMs = [&] { return now; }; };
    f.open();
    const ProgressChart* chart = f.window->chart;
    struct Row {
        const char* name;
        int period; // index in the box
        int firstDay; // of the drills shown
        bool perDay;
        std::vector<bool> dashed; // the line into each point
        uint64_t earlierAnswers; // the table's: the drills before its recent five, of the period
        const char* status;
    };
    const Row table[] = {
        { "every drill: a break of a month and one of three days dashed, a rest day not", 3, -40, true,
            { false, true, false, false, true, false }, 2, "練習 6 回の記録" },
        { "30 days", 1, -9, true, { false, false, false, true, false }, 0,
            "練習 6 回の記録（この期間 5 回）" },
        { "7 days: each drill", 0, -6, false, { false, true, false }, 0, "練習 6 回の記録（この期間 3 回）" },
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        f.window->periodBox->setCurrentIndex(row.period);
        const figures::Series& series = chart->series();
        EXPECT_EQ(series.perDay, row.perDay);
        ASSERT_EQ(series.points.size(), row.dashed.size());
        EXPECT_EQ(series.points.front().firstStartedUtcMs, noon + row.firstDay * day);
        std::vector<bool> dashed;
        for (int i = 0; i < static_cast<int>(series.points.size()); ++i)
            dashed.push_back(chart->dashedTo(i));
        EXPECT_EQ(dashed, row.dashed);
        ASSERT_EQ(f.window->summaries().size(), 1u);
        EXPECT_EQ(f.window->summaries()[0].earlierAnswers, row.earlierAnswers);
        EXPECT_EQ(f.window->statusLabel->text(), QString::fromUtf8(row.status));
        // Today and two days before: a third of the way back from the last point to the one
        // six days before.
        const int n = static_cast<int>(series.points.size());
        EXPECT_NEAR(chart->xOf(n - 1) - chart->xOf(n - 2), (chart->xOf(n - 1) - chart->xOf(n - 3)) / 3, 0.5);
    }
    // A period reaches back to the start of its first day and on to now.
    const int64_t sixDaysBefore = QDateTime(QDate(2026, 12, 1), QTime(0, 0)).toMSecsSinceEpoch();
    EXPECT_EQ(chart->span().fromUtcMs, sixDaysBefore);
    EXPECT_EQ(chart->span().toUtcMs, now);
    EXPECT_NEAR(chart->xAt(sixDaysBefore), chart->plotRect().left(), 10);
    f.window->chooseCharacter('s');
    EXPECT_TRUE(chart->series().points.empty());
    f.window->chart->grab(); // the empty period, painted
}

// One slow drill and one careless one among steady drills: the axes fit the others, and the two
// stand at the plot's edges as arrows that say in their tooltips how far off they are.
TEST(ProgressWindow, chartCutsOffAFarOffDrill)
{
    Fixture f;
    const uint32_t ms[] = { 1000, 1100, 1200, 5000, 1250, 1300, 1400, 1500 };
    for (int64_t id = 1; id <= 8; ++id)
        f.history.drills.push_back(drill(id, { { 'a', 1, ms[id - 1], id == 6 ? 3u : 0u, {} } }));
    f.open();
    const ProgressChart* chart = f.window->chart;
    const QRectF plot = chart->plotRect();
    EXPECT_EQ(chart->averageTop(), 1500.0);
    EXPECT_EQ(chart->accuracyBottom(), 0.8);
    const QPolygonF slow = chart->averageCutMark(3);
    ASSERT_FALSE(slow.isEmpty());
    EXPECT_NEAR(slow.boundingRect().top(), plot.top(), 1e-9);
    EXPECT_TRUE(chart->averageCutMark(7).isEmpty()); // 1500 ms is on the axis
    EXPECT_NEAR(chart->accuracyCutMark(5).boundingRect().bottom(), plot.bottom(), 1e-9);
    EXPECT_TRUE(chart->pointText(3).contains(QStringLiteral("平均 5000 ms (グラフの上端より上)")));
    EXPECT_TRUE(chart->pointText(5).contains(QStringLiteral("正確さ 25.0% (グラフの下端より下)")));
    // The arrow is painted, not only worked out.
    const QImage image = f.window->chart->grab().toImage();
    const QPointF inside = (slow[0] + slow[1] + slow[2]) / 3;
    EXPECT_EQ(image.pixelColor(inside.toPoint()), QColor(40, 90, 200));
}

// A character's chart: per drill the median of its answers with the inter-quartile band, a drill
// from before answers were kept as its average, marked so, and a ring round each new best.
TEST(ProgressWindow, aCharactersChartShowsMediansWithTheirBand)
{
    Fixture f;
    // 12 answers of 'a' from `ms`: quartiles at ms + 37.5 and ms + 400, median ms + 100, or all
    // within 5 ms; and 's', the rest of the drill, which gives the day's form.
    const auto drillAt = [](int64_t id, uint32_t ms, bool close = false) {
        history::DrillRecord d = drill(id, { { 'a', 12, 0, 0, {} }, { 's', 30, 30 * 600, 0, {} } });
        d.answers->clear();
        const std::vector<uint32_t> spread { 0, 0, 0, 50, 100, 100, 100, 100, 400, 400, 400, 2000 };
        const std::vector<uint32_t> tight { 0, 0, 0, 0, 0, 0, 5, 5, 5, 5, 5, 5 };
        for (const uint32_t extra : close ? tight : spread) {
            d.answers->push_back({ 'a', 0, ms + extra, {}, true });
            d.keys[0].totalMs += ms + extra;
        }
        d.answers->insert(d.answers->end(), 30, { 's', 0, 600, {}, true });
        linkAnswers(d);
        return d;
    };
    // A new best needs a level of three sittings before it.
    f.history.drills = { drill(1, { { 'a', 10, 6000, 0, {} } }), drillAt(2, 500), drillAt(3, 500),
        drillAt(4, 500), drillAt(5, 300, true) };
    f.history.drills[0].answers.reset();
    f.open();
    ProgressChart* chart = f.window->chart;
    EXPECT_TRUE(chart->pointText(0).contains(QStringLiteral("平均"))) << "every character: averages";
    f.window->chooseCharacter('a');
    ASSERT_EQ(chart->series().points.size(), 5u);
    struct Row {
        const char* name;
        int index;
        QString text;
        bool median;
    };
    const Row table[] = {
        { "before answers were kept: its average, said so", 0, QStringLiteral("平均 600 ms (回答の記録なし)"),
            false },
        { "a median with its quartiles", 1, QStringLiteral("中央値 600 ms (四分位 538–900 ms、答え 12 回)"),
            true },
        { "a new best, credibly below the level so far", 4, QStringLiteral("★ 自己ベスト更新"), true },
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        EXPECT_TRUE(chart->pointText(row.index).contains(row.text))
            << chart->pointText(row.index).toStdString();
        EXPECT_EQ(chart->showsMedian(row.index), row.median);
        EXPECT_EQ(chart->bandOf(row.index).has_value(), row.median);
    }
    EXPECT_FALSE(chart->pointText(3).contains(QStringLiteral("自己ベスト")));
    EXPECT_EQ(*chart->timeOf(4), 302.5);
    // The band is painted between the median line and the upper quartiles, halfway between the two
    // drills that kept answers: a pale blue, not the white of the plot.
    const auto [lowY, highY] = *chart->bandOf(1);
    EXPECT_GT(lowY, highY + 10) << "the lower quartile lies lower";
    const double line = (chart->averagePoint(1)->y() + chart->averagePoint(2)->y()) / 2;
    const double top = (highY + chart->bandOf(2)->second) / 2;
    const QImage image = chart->grab().toImage();
    const QColor inBand = image.pixelColor(
        static_cast<int>((chart->xOf(1) + chart->xOf(2)) / 2), static_cast<int>((line + top) / 2));
    EXPECT_GT(inBand.blue(), inBand.red() + 15) << inBand.name().toStdString();
}

// Starts from a clock set far off or a damaged file: the days of the local clock are worked out
// without overflow, such drills side by side make one point, and its date is shown as unknown.
TEST(ProgressWindow, drillsOfUnknownDateMakeOnePoint)
{
    Fixture f;
    for (int64_t id = 1; id <= 60; ++id)
        f.history.drills.push_back(drill(id, { { 'a', 1, 400, 0, {} } }));
    for (const int64_t started : { INT64_MIN, history::LatestKnownUtcMs + 1, INT64_MAX }) {
        f.history.drills.push_back(drill(int64_t(f.history.drills.size()) + 1, { { 'a', 1, 500, 0, {} } }));
        f.history.drills.back().startedUtcMs = started;
    }
    f.open();
    const figures::Series& series = f.window->chart->series();
    ASSERT_TRUE(series.perDay);
    ASSERT_GE(series.points.size(), 2u);
    EXPECT_EQ(series.points.back().drills, 3u);
    EXPECT_EQ(series.points.back().totalMs, 1500u);
    const int last = static_cast<int>(series.points.size()) - 1;
    EXPECT_TRUE(f.window->chart->pointText(last).startsWith(QStringLiteral("日時不明 ")))
        << f.window->chart->pointText(last).toStdString();
    EXPECT_FALSE(f.window->chart->pointText(last - 1).contains(QStringLiteral("不明")));
    // Apart at the right, off the time axis.
    EXPECT_GT(
        f.window->chart->xOf(last), f.window->chart->xAt(series.points[last - 1].lastStartedUtcMs) + 20);
    f.window->chart->grab(); // the dates under the points, painted
}

TEST(ProgressWindow, exportEscapeAndPlacement)
{
    Fixture f;
    // The export reads the history file itself, as the command line's does.
    history::DrillRecord stored = drill(1, { { 'a', 2, 600, 0, {} } });
    const std::string historyPath = f.dir.path("h.sqlite");
    history::HistoryDb::open(historyPath, true)->record(stored);
    f.history.drills = { stored };
    f.adjust = [&](ProgressWindow::Options& options) { options.historyPath = historyPath; };
    f.open();
    const QString csv = QString::fromStdString(f.dir.path("out.csv"));
    f.window->exportCsvTo(csv);
    QFile file(csv);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    EXPECT_GE(lines.size(), 2);
    EXPECT_TRUE(lines.value(1).contains(",a,2,600,300,")) << lines.value(1).toStdString();
    try {
        f.window->exportCsvTo(QString::fromStdString(f.dir.path("missing/out.csv")));
        ADD_FAILURE() << "no error for a folder that does not exist";
    } catch (const std::exception& error) {
        EXPECT_TRUE(QString::fromUtf8(error.what()).endsWith(QStringLiteral(" に書き込めません")));
    }

    f.window->move(40, 30);
    f.window->resize(900, 600);
    const QRect outer = f.window->frameGeometry(); // what is kept is the size with the frame
    QTest::keyClick(f.window->table, Qt::Key_Escape);
    EXPECT_FALSE(f.window->isVisible());
    QFile ini(QString::fromStdString(f.dir.path("t.ini")));
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    const QByteArray saved = ini.readAll();
    EXPECT_EQ(saved.toStdString(),
#ifdef _WIN32
        QStringLiteral(
            "[Progress]\r\nTop=%1\r\nLeft=%2\r\nWidth=%3\r\nHeight=%4\r\n") // a new file: Windows' line ends
#else
        QStringLiteral("[Progress]\nTop=%1\nLeft=%2\nWidth=%3\nHeight=%4\n")
#endif
            .arg(outer.top())
            .arg(outer.left())
            .arg(outer.width())
            .arg(outer.height())
            .toStdString());
    EXPECT_GE(outer.width(), 900);
    EXPECT_TRUE(f.errors.isEmpty()) << f.errors.join(QLatin1Char('|')).toStdString();
}

// 「記録を取り込む」 merges the chosen history into the history file and shows the whole history
// afresh with the counts; a file refused is said in the error box, and nothing comes in.
TEST(ProgressWindow, importMergesAnotherHistoryAndSaysHowMany)
{
    Fixture f;
    const std::string historyPath = f.dir.path("h.sqlite");
    const std::string otherPath = f.dir.path("other.sqlite");
    history::DrillRecord ours = drill(1, { { 'a', 2, 600, 0, {} } });
    history::HistoryDb::open(historyPath, true)->record(ours);
    {
        auto other = history::HistoryDb::open(otherPath, true);
        history::DrillRecord same = drill(1, { { 'a', 2, 600, 0, {} } });
        history::DrillRecord earlier = drill(-5, { { 's', 4, 1600, 1, { { 'a', 1 } } } });
        other->record(same);
        other->record(earlier);
    }
    const std::string textPath = f.dir.path("notes.sqlite");
    {
        QFile text(QString::fromStdString(textPath));
        ASSERT_TRUE(text.open(QIODevice::WriteOnly));
        text.write("not a history\n");
    }
    QString chosen;
    f.adjust = [&](ProgressWindow::Options& options) {
        options.historyPath = historyPath;
        options.readDrills = [&](int64_t after, std::size_t& skipped) {
            return history::HistoryDb::openReadOnly(historyPath)->drillsSince(after, SIZE_MAX, &skipped);
        };
        options.askImportPath = [&](QWidget*) { return chosen; };
    };
    f.open();
    ASSERT_EQ(f.window->drillCount(), 1u);

    chosen = QString::fromStdString(otherPath);
    QTest::mouseClick(f.window->importButton, Qt::LeftButton);
    EXPECT_EQ(f.window->drillCount(), 2u);
    EXPECT_EQ(f.window->statusLabel->text(),
        QDir::toNativeSeparators(chosen)
            + QStringLiteral(": 1 回の練習を取り込み、すでにあった 1 回を飛ばしました"));
    EXPECT_TRUE(f.errors.isEmpty()) << f.errors.join(QLatin1Char('|')).toStdString();

    chosen = QString::fromStdString(textPath);
    QTest::mouseClick(f.window->importButton, Qt::LeftButton);
    ASSERT_EQ(f.errors.size(), 1);
    EXPECT_EQ(f.errors[0], chosen + QStringLiteral(" は練習の記録ではないか、壊れています。取り込めません"));
    chosen.clear(); // the dialog cancelled
    QTest::mouseClick(f.window->importButton, Qt::LeftButton);
    EXPECT_EQ(f.errors.size(), 1);
    EXPECT_EQ(f.window->drillCount(), 2u);
    EXPECT_EQ(history::HistoryDb::openReadOnly(historyPath)->drillCount(), 2);
}

TEST(ProgressWindow, opensWhereItWasLeftEvenAfterAMaximisedClose)
{
    for (const Qt::WindowState state : { Qt::WindowNoState, Qt::WindowMaximized, Qt::WindowFullScreen }) {
        SCOPED_TRACE(static_cast<int>(state));
        Fixture f;
        f.open();
        f.window->move(60, 50);
        f.window->resize(700, 500);
        const QRect outer = f.window->frameGeometry();
        if (state != Qt::WindowNoState) {
            f.window->setWindowState(state);
            QApplication::processEvents();
            ASSERT_NE(f.window->frameGeometry(), outer) << "the state took effect";
        }
        f.window->close();
        f.open();
        EXPECT_EQ(f.window->frameGeometry(), outer);
        EXPECT_TRUE(f.errors.isEmpty()) << f.errors.join(QLatin1Char('|')).toStdString();
    }
}

// A stored size the window cannot show (none at all, or more than the screen) opens it at the least
// size its layout takes, or fitted to the work area with all of it on screen.
TEST(ProgressWindow, storedSizesRaisedToTheLayoutsLeastAndFittedToTheScreen)
{
    struct Row {
        const char* name;
        const char* sizes;
        bool fillsTheWorkArea;
    };
    const Row rows[] = {
        { "zero and negative", "Width=0\nHeight=-1\n", false },
        { "larger than the screen", "Width=100000\nHeight=100000\n", true },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Fixture f;
        QFile ini(QString::fromStdString(f.dir.path("t.ini")));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write(QByteArray("[Progress]\nTop=10\nLeft=20\n") + row.sizes);
        ini.close();
        f.open();
        if (row.fillsTheWorkArea) {
            EXPECT_EQ(f.window->frameGeometry(), f.window->screen()->availableGeometry());
        } else {
            EXPECT_EQ(f.window->frameGeometry().topLeft(), QPoint(20, 10));
            EXPECT_EQ(f.window->size(), f.window->minimumSizeHint());
        }
    }
}

// Opened over a real history's digest, the window shows what it shows over the whole history read
// drill by drill, and reads a character's drills only once, when it is chosen.
TEST(ProgressWindow, opensFromTheDigestAndReadsACharacterWhenChosen)
{
    Fixture f;
    auto db = history::HistoryDb::open(f.dir.path("h.sqlite"), true);
    auto record = [&](int64_t i) {
        std::vector<history::KeyRecord> keys = { { 'a', 2, uint32_t(300 + 10 * i), uint32_t(i % 3), {} },
            { 'd', 1, uint32_t(900 - 20 * i), 0, {} } };
        if (i % 3 == 0)
            keys.push_back({ 's', 1, 500, 1, { { 'x', 1 } } });
        if (keys[0].wrong)
            keys[0].wrongKeys['s'] = keys[0].wrong;
        history::DrillRecord d = drill(i, keys);
        db->record(d);
    };
    for (int64_t i = 1; i <= 14; ++i)
        record(i);

    std::vector<unsigned char> asked;
    bool broken = false;
    f.adjust = [&](ProgressWindow::Options& options) {
        options.readDrills
            = [&](int64_t after, std::size_t& skipped) { return db->drillsSince(after, SIZE_MAX, &skipped); };
        options.readDigest = [&] { return db->digest(); };
        options.readKeyDrills = [&](unsigned char code, int64_t upTo, std::size_t& skipped) {
            asked.push_back(code);
            if (broken)
                throw std::runtime_error("読めません");
            return db->keyDrills(code, upTo, &skipped);
        };
    };
    f.open();
    Fixture whole;
    whole.history.drills = db->drills();
    whole.open();

    auto sameAsWhole = [&] {
        EXPECT_EQ(f.window->drillCount(), whole.window->drillCount());
        EXPECT_EQ(f.window->weakPool(), whole.window->weakPool());
        ASSERT_EQ(f.window->summaries().size(), whole.window->summaries().size());
        for (std::size_t i = 0; i < f.window->summaries().size(); ++i) {
            EXPECT_EQ(f.window->summaries()[i].recentMs, whole.window->summaries()[i].recentMs) << i;
            EXPECT_EQ(f.window->summaries()[i].trendMs, whole.window->summaries()[i].trendMs) << i;
            EXPECT_EQ(f.window->summaries()[i].topWrongCount, whole.window->summaries()[i].topWrongCount)
                << i;
        }
        EXPECT_EQ(f.window->chart->series().points.size(), whole.window->chart->series().points.size());
    };
    sameAsWhole();
    EXPECT_TRUE(asked.empty()) << "every character's drills read at the opening";

    struct Row {
        const char* name;
        unsigned char chosen;
        std::vector<unsigned char> asked; // all asked for so far
        std::size_t points;
    };
    const Row table[] = {
        { "a character in more drills than the digest brings is read", 'a', { 'a' }, 14 },
        { "one in few drills is known whole already", 's', { 'a' }, 4 },
        { "read once: chosen again, it is not asked for again", 'a', { 'a' }, 14 },
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        f.window->chooseCharacter(row.chosen);
        whole.window->chooseCharacter(row.chosen);
        EXPECT_EQ(asked, row.asked);
        EXPECT_EQ(f.window->chart->series().points.size(), row.points);
        sameAsWhole();
    }

    // A drill recorded later joins the chosen character's chart without reading it again.
    record(15);
    f.window->drillRecorded();
    whole.history.drills = db->drills();
    whole.window->drillRecorded();
    EXPECT_EQ(asked, (std::vector<unsigned char> { 'a' }));
    EXPECT_EQ(f.window->chart->series().points.size(), 15u);
    sameAsWhole();

    // A character whose drills cannot be read says so and shows no chart rather than its latest
    // drills alone.
    broken = true;
    f.window->chooseCharacter('d');
    EXPECT_TRUE(f.window->chart->series().points.empty());
    EXPECT_TRUE(f.window->statusLabel->text().contains(QStringLiteral("読めません")));
    EXPECT_TRUE(f.errors.isEmpty());
}
