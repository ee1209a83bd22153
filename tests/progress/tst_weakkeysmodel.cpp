// SPDX-License-Identifier: GPL-3.0-or-later
// The weak-keys table: its texts and its sorting through the view's header, empty values last.
#include "progress/sortheader.h"
#include "progress/weakkeysmodel.h"

#include <QHeaderView>
#include <QStandardItemModel>
#include <QStyle>
#include <QStyleFactory>
#include <QTableView>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

using namespace touchdrill;

namespace {

figures::KeySummary summary(unsigned char code, std::optional<double> recentMs, uint32_t bestMs,
    std::optional<double> trendMs, double accuracy, unsigned char wrongKey, uint64_t wrongCount,
    uint64_t answers = figures::MinAnswers, uint64_t earlierAnswers = figures::MinAnswers)
{
    figures::KeySummary s;
    s.recentHits = answers;
    s.earlierAnswers = earlierAnswers;
    s.code = code;
    s.drills = 6;
    s.recentMs = recentMs;
    if (bestMs != 0) // 0: none yet, as the best-times file keeps it
        s.bestMs = bestMs;
    s.trendMs = trendMs;
    // The times as the answers give them: the median with an interval a tenth either side, a trend
    // told from the difference.
    s.answersKept = true;
    s.times.answers = answers;
    if (recentMs)
        s.times.median
            = figures::Estimate { *recentMs, figures::Interval { *recentMs * 0.9, *recentMs * 1.1 } };
    s.trend.later = answers;
    s.trend.earlier = trendMs ? earlierAnswers : 0;
    s.trend.laterSittings = answers >= figures::EnoughAnswers ? figures::TrendSittings : 1;
    s.trend.earlierSittings = s.trend.earlier >= figures::EnoughAnswers ? figures::TrendSittings : 0;
    s.trend.enough = s.trend.laterSittings == figures::TrendSittings
        && s.trend.earlierSittings == figures::TrendSittings;
    if (trendMs && recentMs && std::lround(*trendMs) != 0) {
        s.trend.ratio = 1 + *trendMs / *recentMs;
        s.trend.trend = *trendMs < 0 ? figures::Trend::Faster : figures::Trend::Slower;
        s.trend.p = 0.003;
        s.trend.adjustedP = 0.01;
    }
    s.accuracy = accuracy;
    s.topWrongKey = wrongKey;
    s.topWrongCount = wrongCount;
    return s;
}

std::string order(const WeakKeysModel& model)
{
    std::string codes;
    for (int row = 0; row < model.rowCount(); ++row)
        codes += static_cast<char>(model.codeAt(row));
    return codes;
}

} // namespace

TEST(WeakKeysModel, sortsByEveryColumnFromTheHeader)
{
    WeakKeysModel model;
    model.setSummaries(
        {
            summary('a', 300.0, 250, -20.0, 1.0, 0, 0),
            summary('d', 900.0, 0, 35.0, 0.9, 'f', 12),
            summary('s', std::nullopt, 400, std::nullopt, 0.0, 'a', 3),
            summary('~', 500.0, 480, std::nullopt, 0.95, 'd', 3),
            summary('x', 2000.0, 100, 500.0, 0.5, 0, 0, figures::EnoughAnswers - 1),
        },
        { { 'd', 900, 2 } });
    QTableView view;
    view.setModel(&model);
    view.setSortingEnabled(true);
    view.resize(500, 200);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));

    struct Row {
        const char* name;
        int column;
        Qt::SortOrder order;
        std::string expected;
    };
    const Row table[] = {
        { "character ascending", WeakKeysModel::Character, Qt::AscendingOrder, "adsx~" },
        { "character descending", WeakKeysModel::Character, Qt::DescendingOrder, "~xsda" },
        { "slowest first, no average last", WeakKeysModel::Median, Qt::DescendingOrder, "d~asx" },
        { "fastest first, no average still last", WeakKeysModel::Median, Qt::AscendingOrder, "a~dsx" },
        { "best ascending, none last", WeakKeysModel::Best, Qt::AscendingOrder, "xas~d" },
        { "worst trend first, none last", WeakKeysModel::Trend, Qt::DescendingOrder, "dasx~" },
        { "least accurate first", WeakKeysModel::Accuracy, Qt::AscendingOrder, "sd~ax" },
        { "most wrong keys first, a tie by code, none last", WeakKeysModel::TopWrong, Qt::DescendingOrder,
            "ds~ax" },
        { "weakest first: never answered, then by time over accuracy; too few answers last",
            WeakKeysModel::Weakness, Qt::DescendingOrder, "sd~ax" },
        { "least weak first, too few answers still last", WeakKeysModel::Weakness, Qt::AscendingOrder,
            "a~dsx" },
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        // A click on the header sorts; a second click on the same header turns the order round.
        view.horizontalHeader()->setSortIndicator(row.column, row.order);
        EXPECT_EQ(order(model), row.expected);
        EXPECT_EQ(view.horizontalHeader()->sortIndicatorSection(), row.column);
    }

    // A first click on a header puts the weakest first in that column.
    const std::pair<int, std::string> clicks[] = {
        { WeakKeysModel::Median, "d~asx" }, { WeakKeysModel::Accuracy, "sd~ax" },
        { WeakKeysModel::Weakness, "sd~ax" },
        { WeakKeysModel::Weakness, "a~dsx" }, // a second click turns it round
    };
    for (const auto& [column, expected] : clicks) {
        SCOPED_TRACE(column);
        QHeaderView* header = view.horizontalHeader();
        const QPoint centre(
            header->sectionViewportPosition(column) + header->sectionSize(column) / 2, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, centre);
        EXPECT_EQ(order(model), expected);
    }

    // The chosen row follows its character through a sort.
    view.sortByColumn(WeakKeysModel::Character, Qt::AscendingOrder);
    view.setCurrentIndex(model.index(model.rowOf('~'), 0));
    view.sortByColumn(WeakKeysModel::Median, Qt::DescendingOrder);
    EXPECT_EQ(model.codeAt(view.currentIndex().row()), '~');

    // New figures keep the order the user chose.
    model.setSummaries(
        { summary('q', 100.0, 0, std::nullopt, 1.0, 0, 0), summary('w', 200.0, 0, std::nullopt, 1.0, 0, 0) },
        {});
    EXPECT_EQ(order(model), "wq");
}

TEST(WeakKeysModel, texts)
{
    // Its drills all from before answers were kept: its old average is not shown as a time.
    figures::KeySummary old = summary('o', 640.0, 0, std::nullopt, 0.9, 0, 0);
    old.answersKept = false;
    old.times = {};
    old.recentMs = 640.0;
    // Enough answers for the median's interval, not for the percentile's; a first trend.
    figures::KeySummary figures = summary('m', 512.0, 0, std::nullopt, 1.0, 0, 0, 30);
    figures.times.p90 = figures::Estimate { 803.4, std::nullopt };
    figures.times.spread = figures::Estimate { 0.4149, figures::Interval { 0.2, 0.951 } };
    WeakKeysModel model;
    model.setSummaries(
        { summary('d', 912.4, 0, 35.0, 0.975, 'f', 12), summary('a', 300.0, 250, -20.4, 1.0, 0, 0),
            summary('s', std::nullopt, 400, 0.2, 0.0, '"', 3),
            summary('x', 2000.0, 0, 500.0, 0.5, 0, 0, figures::EnoughAnswers - 1),
            summary('y', 700.0, 0, 80.0, 0.9, 0, 0, figures::MinAnswers, figures::EnoughAnswers - 1), old,
            figures },
        { { 'd', 900, 2 } });
    model.sort(WeakKeysModel::Character, Qt::AscendingOrder);
    auto text = [&](unsigned char code, int column) {
        return model.data(model.index(model.rowOf(code), column), Qt::DisplayRole).toString();
    };
    struct Row {
        const char* name;
        unsigned char code;
        int column;
        QString expected;
    };
    const Row table[] = {
        { "character", 'd', WeakKeysModel::Character, QStringLiteral("d") },
        { "median rounded", 'd', WeakKeysModel::Median, QStringLiteral("912") },
        { "the 90th percentile", 'm', WeakKeysModel::P90, QStringLiteral("803") },
        { "the spread in hundredths", 'm', WeakKeysModel::Spread, QStringLiteral("0.41") },
        { "too few sittings before to compare with", 'm', WeakKeysModel::Trend,
            QStringLiteral("データ不足") },
        { "answers never kept: said so", 'o', WeakKeysModel::Median, QStringLiteral("回答の記録なし") },
        { "answers never kept: no trend", 'o', WeakKeysModel::Trend, QStringLiteral("—") },
        { "answers never kept: not ranked", 'o', WeakKeysModel::Weakness, QStringLiteral("—") },
        { "answers never kept: the accuracy still counts", 'o', WeakKeysModel::Accuracy,
            QStringLiteral("90.0%") },
        { "no recent average", 's', WeakKeysModel::Median, QStringLiteral("—") },
        { "no best yet", 'd', WeakKeysModel::Best, QStringLiteral("—") },
        { "best", 'a', WeakKeysModel::Best, QStringLiteral("250 ms") },
        { "slower", 'd', WeakKeysModel::Trend, QStringLiteral("遅くなった") },
        { "faster", 'a', WeakKeysModel::Trend, QStringLiteral("速くなった") },
        { "steady", 's', WeakKeysModel::Trend, QStringLiteral("変化なし") },
        { "accuracy", 'd', WeakKeysModel::Accuracy, QStringLiteral("97.5%") },
        { "never right", 's', WeakKeysModel::Accuracy, QStringLiteral("0.0%") },
        { "wrong key with its count", 'd', WeakKeysModel::TopWrong, QStringLiteral("f (12回)") },
        { "no wrong key", 'a', WeakKeysModel::TopWrong, QStringLiteral("—") },
        { "a quote as a wrong key", 's', WeakKeysModel::TopWrong, QStringLiteral("\" (3回)") },
        { "a weak key: its mark and its weight", 'd', WeakKeysModel::Weakness, QStringLiteral("苦手 ×2") },
        { "too few answers to tell", 'x', WeakKeysModel::Weakness, QStringLiteral("データ不足") },
        { "too few answers: no median", 'x', WeakKeysModel::Median, QStringLiteral("データ不足") },
        { "too few answers: no accuracy", 'x', WeakKeysModel::Accuracy, QStringLiteral("データ不足") },
        { "too few answers: no trend", 'x', WeakKeysModel::Trend, QStringLiteral("データ不足") },
        { "too few answers before: no trend", 'y', WeakKeysModel::Trend, QStringLiteral("データ不足") },
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(text(row.code, row.column), row.expected);
    }
    // The pool's characters stand out, by more than colour, across the whole row.
    EXPECT_TRUE(model.data(model.index(model.rowOf('d'), 0), Qt::FontRole).value<QFont>().bold());
    EXPECT_FALSE(model.data(model.index(model.rowOf('a'), 0), Qt::FontRole).isValid());
    for (int column = 0; column < WeakKeysModel::ColumnCount; ++column) {
        EXPECT_TRUE(model.data(model.index(model.rowOf('d'), column), Qt::BackgroundRole).isValid())
            << column;
        EXPECT_FALSE(model.data(model.index(model.rowOf('a'), column), Qt::BackgroundRole).isValid())
            << column;
    }
    EXPECT_EQ(model.headerData(WeakKeysModel::Best, Qt::Horizontal, Qt::DisplayRole).toString(),
        QStringLiteral("自己ベスト"));
    // Set again: 'd' is no longer weak and loses its mark; 'a', in the pool for variety only, gets none.
    model.setSummaries(
        { summary('d', 912.4, 0, 35.0, 0.975, 'f', 12), summary('a', 300.0, 250, -20.4, 1.0, 0, 0) },
        { { 'a', 300, 1, false } });
    EXPECT_EQ(text('d', WeakKeysModel::Weakness), QString());
    EXPECT_EQ(text('a', WeakKeysModel::Weakness), QString());
    model.setSummaries({ summary('d', 912.4, 0, 35.0, 0.975, 'f', 12),
                           summary('a', 300.0, 250, -20.4, 1.0, 0, 0), old, figures },
        { { 'd', 900, 2 } });
    // The tips say how far each figure can be trusted, and what the trend compared.
    const auto tip = [&](unsigned char code, int column) {
        return model.data(model.index(model.rowOf(code), column), Qt::ToolTipRole).toString();
    };
    const Row tips[] = {
        { "the median's interval", 'd', WeakKeysModel::Median,
            QStringLiteral(
                "中央値 912 ms、95%区間 821–1004 ms (直近のひと続きの練習 6 回、答え 20 回から)") },
        { "too few answers for the percentile's", 'm', WeakKeysModel::P90,
            QStringLiteral("90%点 803 ms (95%区間はひと続きの練習 6 回から) (直近のひと続きの練習 6 回、答え "
                           "30 回から)") },
        { "the spread's, without a unit", 'm', WeakKeysModel::Spread,
            QStringLiteral("ばらつき 0.41、95%区間 0.20–0.95 (直近のひと続きの練習 6 回、答え 30 回から)") },
        { "the trend", 'd', WeakKeysModel::Trend,
            QStringLiteral(
                "直近のひと続きの練習 6 回 (答え 20 回) とその前の 6 回 (答え 20 回) を比較（ひと続きごとの"
                "順位和検定、p = 0.003、表のキー全体で補正して p = 0.010、中央値 +4%）") },
        { "the best: what it is", 'a', WeakKeysModel::Best,
            QStringLiteral("結果一覧と同じ自己ベスト: 成績ファイルにある、どの種類・どの時期の練習も含めた"
                           "練習 1 回の平均のいちばん良い値 (ms)。表のほかの欄とは数え方が違います") },
        { "no best: no tip", 'd', WeakKeysModel::Best, QString() },
        { "why there is no trend yet", 'm', WeakKeysModel::Trend,
            QStringLiteral(
                "傾向には、この種類のひと続きの練習 (間が 10 分以内の練習をひとまとめ) が前後 6 回ずつ、"
                "答えが 50 回ずつ要ります。いまはひと続き 6 回、答え 30 回です") },
    };
    for (const Row& row : tips) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(tip(row.code, row.column), row.expected);
    }
}

// The sort arrow reads as the rows run, ▼ with the largest first, in each style the program may
// get: whichever way QHeaderView names it to the style.
TEST(WeakKeysModel, sortArrowPointsTheWayTheRowsRun)
{
    struct Row {
        const char* name;
        const char* style;
        Qt::SortOrder order;
        bool pointsDown;
    };
    const Row table[] = {
        { "Fusion, descending", "Fusion", Qt::DescendingOrder, true },
        { "Fusion, ascending", "Fusion", Qt::AscendingOrder, false },
        { "Windows, descending", "Windows", Qt::DescendingOrder, true },
        { "Windows, ascending", "Windows", Qt::AscendingOrder, false },
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        std::unique_ptr<QStyle> style(QStyleFactory::create(QString::fromLatin1(row.style)));
        ASSERT_TRUE(style);
        // Headers without text: the arrow is all that is dark in them.
        QStandardItemModel blank(0, 2);
        blank.setHorizontalHeaderLabels({ QString(), QString() });
        SortHeader header;
        header.setStyle(style.get());
        header.setModel(&blank);
        header.setSortIndicatorShown(true);
        header.setSortIndicator(0, row.order);
        header.resize(300, 30);
        const QImage image = header.grab().toImage();
        const QRect section(
            header.sectionViewportPosition(0) + 3, 3, header.sectionSize(0) - 6, image.height() - 6);
        // The width of the arrow on each pixel row it spans, top to bottom: what differs from the
        // header's own shade on that row (light or dark, as the styles draw with both).
        std::vector<int> widths;
        for (int y = section.top(); y <= section.bottom(); ++y) {
            const int shade = image.pixelColor(section.left(), y).lightness();
            int width = 0;
            for (int x = section.left(); x <= section.right(); ++x)
                width += std::abs(image.pixelColor(x, y).lightness() - shade) > 8 ? 1 : 0;
            if (width > 0)
                widths.push_back(width);
        }
        ASSERT_GE(widths.size(), 2u) << "no arrow drawn";
        EXPECT_EQ(widths.front() > widths.back(), row.pointsDown)
            << "top " << widths.front() << ", bottom " << widths.back();
    }
}
