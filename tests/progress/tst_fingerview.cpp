// SPDX-License-Identifier: GPL-3.0-or-later
// The progress window's fingers fed with answers: read only when shown, the tables' cells, the
// slow finger's sentence and outline, the [Fingers] overrides, and the pools its two drills prepare.
#include "figures/fingerfigures.h"
#include "progress/fingerview.h"
#include "progress/keyboardview.h"
#include "progress/progresswindow.h"
#include "tests/support/scratchfolder.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>

#include <gtest/gtest.h>

using namespace touchdrill;
using figures::Finger;

namespace {

constexpr int64_t Dec7 = 1796601600000LL; // 2026-12-07 00:00 UTC
const std::string Cycle = "asdfjkl;p"; // a home-row finger each, then p: the right little's twice

// `cycles` times round Cycle: every key at `ms`, the right little finger's at `pMs`, p's answers
// each after one wrong key.
history::DrillAnswers answersOf(int64_t id, int cycles, uint32_t ms, uint32_t pMs)
{
    history::DrillAnswers drill { id, {} };
    unsigned char previous = 0;
    for (int cycle = 0; cycle < cycles; ++cycle)
        for (const char c : Cycle) {
            history::Answer answer;
            answer.target = static_cast<unsigned char>(c);
            answer.previous = previous;
            answer.ms = c == 'p' || c == ';' ? pMs : ms;
            if (c == 'p')
                answer.wrongKeys.push_back({ 'o', 100 });
            drill.answers.push_back(answer);
            previous = answer.target;
        }
    return drill;
}

history::DrillRecord recordOf(int64_t id, const std::string& rows)
{
    history::DrillRecord record;
    record.id = id;
    record.startedUtcMs = Dec7 + id * 3600000;
    record.endedUtcMs = record.startedUtcMs + 60000;
    record.rows = rows;
    for (const char c : Cycle)
        record.keys.push_back({ static_cast<unsigned char>(c), 40, c == 'p' ? 40u * 600 : 40u * 300, 0, {} });
    return record;
}

struct Fixture {
    uint32_t pMs = 300;
    std::string ini;
    std::vector<history::DrillRecord> drills { recordOf(1, "h"), recordOf(2, "h") };
    std::vector<std::pair<std::string, std::size_t>> asked; // readAnswers' calls
    std::vector<std::pair<std::string, std::string>> practised; // pool, rows
    touchdrill::testing::ScratchFolder dir;
    std::unique_ptr<ProgressWindow> window;

    FingerView* fingers() const { return window->fingers; }

    void open()
    {
        if (!ini.empty()) {
            QFile file(QString::fromStdString(dir.path("t.ini")));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(ini.data(), static_cast<qint64>(ini.size()));
        }
        ProgressWindow::Options options;
        options.readDrills = [this](int64_t after, std::size_t&) {
            std::vector<history::DrillRecord> newer;
            for (const auto& d : drills)
                if (d.id > after)
                    newer.push_back(d);
            return newer;
        };
        options.readAnswers = [this](const std::string& rows, std::size_t most) {
            asked.emplace_back(rows, most);
            // Two drills of 40 rounds: 40 answers of each key a drill.
            return std::vector<history::DrillAnswers> { answersOf(1, 40, 300, pMs),
                answersOf(2, 40, 300, pMs) };
        };
        options.practiseAs = [this](const std::string& pool, const std::string& rows) {
            practised.emplace_back(pool, rows);
            return QString();
        };
        options.iniPath = dir.path("t.ini");
        window = std::make_unique<ProgressWindow>(options);
        window->showAndRaise();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    QString cell(QTableWidget* table, int row, int column) const
    {
        const QTableWidgetItem* item = table->item(row, column);
        return item ? item->text() : QString();
    }
};

} // namespace

TEST(FingerView, figuresOfTheKindShownReadWhenFirstShown)
{
    struct Row {
        const char* name;
        uint32_t pMs;
        QString sentence;
        std::optional<Finger> outlined;
    };
    const Row table[] = {
        { "the right little finger slower", 500, QStringLiteral("右手の小指が遅い（中央値 +200 ms）"),
            Finger::RightLittle },
        { "every finger alike", 300, QString(), std::nullopt },
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        Fixture f;
        f.pMs = row.pMs;
        f.open();
        EXPECT_TRUE(f.asked.empty()) << "the window opens without the answers";

        f.window->tabs->setCurrentWidget(f.fingers()->fingerPage);
        ASSERT_EQ(f.asked.size(), 1u);
        EXPECT_EQ(f.asked[0], (std::pair<std::string, std::size_t>("h", figures::FingerWindow)));
        QTableWidget* fingerTable = f.fingers()->fingerTable;
        EXPECT_EQ(f.fingers()->sentenceLabel->isVisible(), !row.sentence.isEmpty());
        if (!row.sentence.isEmpty()) {
            EXPECT_EQ(f.fingers()->sentenceLabel->text(), row.sentence);
        }
        const int little = static_cast<int>(Finger::RightLittle);
        // Drills of one sitting: the median without an interval, which needs six sittings.
        EXPECT_EQ(f.cell(fingerTable, little, FingerView::Median), QStringLiteral("%1 ms").arg(row.pMs));
        // p and ; each 80 times; p's 80 hits against 80 wrong keys.
        EXPECT_EQ(f.cell(fingerTable, little, FingerView::Answers), QStringLiteral("160"));
        EXPECT_TRUE(f.cell(fingerTable, little, FingerView::Accuracy).startsWith(QStringLiteral("66.7% (")));
        EXPECT_EQ(f.cell(fingerTable, FingerView::HandRow + 1, FingerView::Answers), QStringLiteral("400"));
        EXPECT_EQ(f.cell(fingerTable, FingerView::AllRow, FingerView::Answers), QStringLiteral("720"));
        EXPECT_EQ(f.cell(fingerTable, static_cast<int>(Finger::LeftRing), FingerView::Accuracy),
            QStringLiteral("100.0% (95.4–100.0)"));

        // Per drill of 360 answers, after the first: a→s→d→f and j→k→l→; 6 × 40, ;→p 40, f→j 40 and
        // p→a 39; no Shift.
        QTableWidget* transitions = f.fingers()->transitionTable;
        EXPECT_EQ(f.cell(transitions, 0, 2), QStringLiteral("80"));
        EXPECT_EQ(f.cell(transitions, 2, 2), QStringLiteral("480"));
        EXPECT_EQ(f.cell(transitions, 4, 2), QStringLiteral("158"));
        EXPECT_EQ(f.cell(transitions, 5, 2), QStringLiteral("—"));
        QTableWidget* pairs = f.fingers()->pairTable;
        ASSERT_EQ(pairs->rowCount(), 9);
        if (row.pMs > 300) {
            EXPECT_TRUE(f.cell(pairs, 0, 1).startsWith(QStringLiteral("500 ms (")));
            EXPECT_TRUE(f.cell(pairs, 2, 1).startsWith(QStringLiteral("300 ms (")));
        }

        // The keyboard by finger, the slow finger outlined; the figures read once.
        f.window->fingerColouring->setChecked(true);
        EXPECT_EQ(f.window->keyboard->outlinedFinger(), row.outlined);
        EXPECT_EQ(f.window->keyboard->colourOf('p'), f.window->keyboard->colourOf(';'));
        EXPECT_NE(f.window->keyboard->colourOf('p'), f.window->keyboard->colourOf('o'));
        f.window->tabs->setCurrentWidget(f.fingers()->transitionPage);
        EXPECT_EQ(f.asked.size(), 1u);

        // Every column in view at the window's designed size (on Linux: Wine's stand-in fonts are
        // wider than Windows' own).
#ifndef _WIN32
        f.window->resize(980, 640);
        for (QTableWidget* shown : { fingerTable, transitions, pairs }) {
            f.window->tabs->setCurrentWidget(shown->parentWidget());
            QApplication::processEvents();
            int width = 0;
            for (int column = 0; column < shown->columnCount(); ++column)
                width += shown->columnWidth(column);
            EXPECT_LE(width, shown->viewport()->width());
            EXPECT_FALSE(shown->horizontalScrollBar()->isVisible());
        }
#endif
    }
}

TEST(FingerView, newDrillsJoinAndOtherKindsAreNeverMixed)
{
    Fixture f;
    f.open();
    f.window->tabs->setCurrentWidget(f.fingers()->fingerPage);
    QTableWidget* fingerTable = f.fingers()->fingerTable;
    ASSERT_EQ(f.cell(fingerTable, FingerView::AllRow, FingerView::Answers), QStringLiteral("720"));

    // A drill of the kind shown joins without a read; one of another kind is left out.
    for (const auto& [rows, all] : { std::pair { "h", "1080" }, std::pair { "uhl", "1080" } }) {
        history::DrillRecord drill = recordOf(static_cast<int64_t>(f.drills.size()) + 1, rows);
        drill.answers = answersOf(drill.id, 40, 300, 300).answers;
        f.drills.push_back(drill);
        f.window->drillRecorded(drill, {});
        EXPECT_EQ(f.cell(fingerTable, FingerView::AllRow, FingerView::Answers), QString::fromUtf8(all))
            << rows;
    }
    EXPECT_EQ(f.asked.size(), 1u);

    // The hands' rows and every answer's choose no finger, and the finger drill waits for one.
    for (const int row : { FingerView::HandRow, FingerView::HandRow + 1, FingerView::AllRow }) {
        fingerTable->setCurrentCell(row, 0);
        EXPECT_FALSE(f.fingers()->chosenFinger()) << row;
        EXPECT_FALSE(f.fingers()->fingerButton->isEnabled()) << row;
    }

    // Every kind at once: no figures, and why.
    f.window->kindBox->setCurrentIndex(0);
    EXPECT_EQ(f.fingers()->sentenceLabel->text(), QStringLiteral("練習の種類を選ぶと表示します。"));
    EXPECT_EQ(f.cell(fingerTable, FingerView::AllRow, FingerView::Answers), QStringLiteral("—"));
    EXPECT_EQ(f.asked.size(), 1u);

    // A kind chosen again while only the keyboard's finger colouring shows: read for its outline.
    f.window->fingerColouring->setChecked(true);
    f.window->tabs->setCurrentIndex(0);
    f.window->kindBox->setCurrentIndex(1);
    EXPECT_EQ(f.asked.size(), 2u);
    EXPECT_TRUE(f.fingers()->figures().has_value());
}

TEST(FingerView, drillsPrepareTheChosenFingersPoolAndThePairs)
{
    struct Row {
        const char* name;
        std::string ini;
        unsigned char typed; // on the keyboard view
        Finger finger;
        QString status; // in the status line; empty for none
    };
    const Row table[] = {
        { "the standard map", "", 'p', Finger::RightLittle, QString() },
        { "p moved to the left index finger, a bad line ignored", "[Fingers]\np=left-index\n6=thumb\n", 'p',
            Finger::LeftIndex, QStringLiteral("6=thumb") },
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        Fixture f;
        f.pMs = 500;
        f.ini = row.ini;
        f.open();
        EXPECT_EQ(f.window->statusLabel->text().contains(QStringLiteral("[Fingers]")), !row.status.isEmpty());
        if (!row.status.isEmpty()) {
            EXPECT_TRUE(f.window->statusLabel->text().contains(row.status));
        }

        f.window->fingerColouring->setChecked(true);
        QTest::keyClick(f.window->keyboard, static_cast<char>(row.typed));
        ASSERT_EQ(f.fingers()->chosenFinger(), row.finger);
        ASSERT_TRUE(f.fingers()->fingerButton->isEnabled());
        QTest::mouseClick(f.fingers()->fingerButton, Qt::LeftButton);
        ASSERT_EQ(f.practised.size(), 1u);
        const auto& [pool, rows] = f.practised.back();
        EXPECT_EQ(rows, figures::fingerRows(row.finger));
        EXPECT_NE(pool.find(static_cast<char>(row.typed)), std::string::npos);
        // Only that finger's characters: with p moved, the right little finger keeps ; alone.
        for (const char c : pool)
            EXPECT_EQ(f.fingers()->map().finger(static_cast<unsigned char>(c)), row.finger) << c;
        EXPECT_EQ(pool.find(';') != std::string::npos, row.finger == Finger::RightLittle);
    }

    // The pairs' drill: the weak keys, recorded as its own kind.
    Fixture f;
    f.pMs = 500;
    f.open();
    f.window->tabs->setCurrentWidget(f.fingers()->transitionPage);
    ASSERT_TRUE(f.fingers()->pairsButton->isEnabled());
    // No key slowed by the one before: the drill is the weak keys', and the note says so.
    EXPECT_TRUE(f.fingers()->pairsNote->text().startsWith(
        QStringLiteral("前のキーで遅くなるキーはまだ見つかっていません。いまは苦手なキーの練習と同じです。練"
                       "習するキー: p×2")))
        << f.fingers()->pairsNote->text().toStdString();
    QTest::mouseClick(f.fingers()->pairsButton, Qt::LeftButton);
    ASSERT_EQ(f.practised.size(), 1u);
    EXPECT_EQ(f.practised[0].second, std::string(PairsRows));
    EXPECT_NE(f.practised[0].first.find('p'), std::string::npos) << "the slowest key is among them";
}
