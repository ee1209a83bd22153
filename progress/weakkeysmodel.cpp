// SPDX-License-Identifier: GPL-3.0-or-later
// The weak-keys table: texts, alignment and sorting with the empty values kept last.
#include "progress/weakkeysmodel.h"

#include "drill/palette.h"
#include "progress/progresstext.h"

#include <QColor>
#include <QFont>

#include <algorithm>
#include <cmath>

namespace touchdrill {

namespace {

bool timeColumn(int column)
{
    return column == WeakKeysModel::Weakness || column == WeakKeysModel::Median
        || column == WeakKeysModel::P90 || column == WeakKeysModel::Spread || column == WeakKeysModel::Trend;
}

std::optional<double> valueOf(const std::optional<figures::Estimate>& estimate)
{
    return estimate ? std::optional(estimate->value) : std::nullopt;
}

// A time figure's cell: its value alone, as three cells with their intervals would not fit beside
// the keyboard at the window's designed size; the interval is in the cell's tip.
QString valueText(const std::optional<figures::Estimate>& estimate, int decimals = 0)
{
    return estimate ? QString::number(estimate->value, 'f', decimals) : QStringLiteral("—");
}

// 「中央値 612 ms、95%区間 580–650 ms (直近のひと続きの練習 6 回、答え 64 回から)」; without an
// interval, what it takes to have one.
QString estimateTip(const QString& name, const std::optional<figures::Estimate>& estimate,
    const figures::KeySummary& key, int decimals, const QString& intervalFrom)
{
    if (!estimate)
        return {};
    const QString unit = decimals == 0 ? QStringLiteral(" ms") : QString();
    QString tip = QStringLiteral("%1 %2%3").arg(name, QString::number(estimate->value, 'f', decimals), unit);
    if (estimate->interval)
        tip += QStringLiteral("、95%区間 %1–%2%3")
                   .arg(QString::number(estimate->interval->low, 'f', decimals),
                       QString::number(estimate->interval->high, 'f', decimals), unit);
    else
        tip += QStringLiteral(" (95%区間は%1から)").arg(intervalFrom);
    return tip
        + QStringLiteral(" (直近のひと続きの練習 %1 回、答え %2 回から)")
              .arg(key.trend.laterSittings)
              .arg(key.times.answers);
}

// The best column is the results list's best, not a figure of the kind or the period shown.
const QString BestTip = QStringLiteral("結果一覧と同じ自己ベスト: 成績ファイルにある、どの種類・どの時期の"
                                       "練習も含めた練習 1 回の平均のいちばん良い値 (ms)。表のほかの欄"
                                       "とは数え方が違います");

// What the intervals of the median and the 90 % point need: sittings, since the day's form moves
// every answer of one.
QString sittingsForInterval()
{
    return QStringLiteral("ひと続きの練習 %1 回").arg(figures::EnoughAnswers);
}

// The value a column sorts by; nullopt sorts last whatever the order.
std::optional<double> sortValue(const figures::KeySummary& key, int column, bool anyKept)
{
    if (column == WeakKeysModel::Weakness)
        return figures::ranksAsWeakKey(key, anyKept) ? std::optional(figures::weaknessCost(key))
                                                     : std::nullopt;
    if (timeColumn(column) && !key.enoughAnswers())
        return std::nullopt;
    switch (column) {
    case WeakKeysModel::Character:
        return key.code;
    case WeakKeysModel::Median:
        return valueOf(key.times.median);
    case WeakKeysModel::P90:
        return valueOf(key.times.p90);
    case WeakKeysModel::Spread:
        return valueOf(key.times.spread);
    case WeakKeysModel::Best:
        return key.bestMs;
    case WeakKeysModel::Trend:
        // The slower the worse; a change too small or too uncertain to tell counts as none.
        if (!key.enoughForTrend())
            return std::nullopt;
        return key.trend.trend == figures::Trend::NoChange ? 0.0 : key.trend.ratio - 1;
    case WeakKeysModel::Accuracy:
        return key.enoughForAccuracy() ? key.accuracy : std::nullopt;
    case WeakKeysModel::TopWrong:
        return key.topWrongCount ? std::optional<double>(static_cast<double>(key.topWrongCount))
                                 : std::nullopt;
    default:
        return std::nullopt;
    }
}

} // namespace

WeakKeysModel::WeakKeysModel(QObject* parent)
    : QAbstractTableModel(parent)
    , m_weight(256, 0)
{
}

void WeakKeysModel::setSummaries(
    std::vector<figures::KeySummary> keys, const std::vector<figures::WeakKey>& weak)
{
    beginResetModel();
    m_keys = std::move(keys);
    m_anyKept = figures::anyAnswersKept(m_keys);
    m_weight.assign(256, 0);
    for (const figures::WeakKey& key : weak)
        if (key.weak)
            m_weight[key.code] = key.weight;
    sortRows();
    endResetModel();
}

int WeakKeysModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_keys.size());
}

int WeakKeysModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant WeakKeysModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= static_cast<int>(m_keys.size()))
        return {};
    const figures::KeySummary& key = m_keys[static_cast<std::size_t>(index.row())];
    const int column = index.column();
    const bool weak = m_weight[key.code] > 0;
    // A character whose drills of the kind all predate the kept answers has no times: they are
    // said to be unknown, not guessed from the old averages. Its weakness is ranked by its average
    // only in a history where no character kept answers.
    const bool ranks = figures::ranksAsWeakKey(key, m_anyKept);
    const bool noAnswers = !key.answersKept && (column == Weakness ? m_anyKept : timeColumn(column));
    // Figures from too few answers would be mostly chance: they are not shown.
    const bool tooFew = !noAnswers
        && ((column == Weakness && !ranks)
            || (timeColumn(column) && column != Weakness && column != Trend && !key.enoughAnswers())
            || (column == Trend && key.trend.later > 0 && !key.enoughForTrend())
            || (column == Accuracy && !key.enoughForAccuracy()));
    switch (role) {
    case Qt::DisplayRole:
        if (noAnswers)
            return column == Median ? noAnswersText() : QStringLiteral("—");
        if (tooFew)
            return notEnoughDataText();
        switch (column) {
        case Character:
            return characterText(key.code);
        case Weakness:
            return weak ? QStringLiteral("苦手 ×%1").arg(m_weight[key.code]) : QString();
        case Median:
            return valueText(key.times.median);
        case P90:
            return valueText(key.times.p90);
        case Spread:
            return valueText(key.times.spread, 2);
        case Best:
            return msText(key.bestMs);
        case Trend:
            return key.enoughForTrend() ? trendText(key.trend) : QStringLiteral("—");
        case Accuracy:
            return percentText(key.accuracy);
        case TopWrong:
            return wrongKeyText(key);
        default:
            return {};
        }
    case Qt::TextAlignmentRole:
        return column == Character || column == TopWrong ? QVariant(Qt::AlignLeft | Qt::AlignVCenter)
                                                         : QVariant(Qt::AlignRight | Qt::AlignVCenter);
    case Qt::BackgroundRole:
        // A tint on top of the mark in its column: the row reads as weak at a glance.
        return weak ? QVariant(QColor(palette::WeakRowTint.r, palette::WeakRowTint.g, palette::WeakRowTint.b))
                    : QVariant();
    case Qt::ForegroundRole:
        // Dark text on the light tint whatever the palette's text colour.
        return weak ? QVariant(QColor(palette::WeakRowText.r, palette::WeakRowText.g, palette::WeakRowText.b))
                    : QVariant();
    case Qt::FontRole:
        if ((column == Character || column == Weakness) && weak) {
            QFont bold;
            bold.setBold(true);
            return bold;
        }
        return {};
    case Qt::ToolTipRole:
        if (noAnswers)
            return noAnswersTip();
        if (tooFew && (column == Accuracy || (column == Weakness && !key.answersKept)))
            return notEnoughForAccuracyTip(key);
        if (tooFew && column == Trend)
            return notEnoughForTrendTip(key.trend);
        if (tooFew)
            return notEnoughDataTip(key);
        switch (column) {
        case Weakness: {
            const double cost = figures::weaknessCost(key);
            if (!std::isfinite(cost))
                return QStringLiteral("最近の練習で正解がありません");
            return key.answersKept
                ? QStringLiteral("正解 1 回あたり %1 (中央値 ÷ 正確さ)").arg(msText(cost))
                : QStringLiteral("正解 1 回あたり %1 (最近の平均 ÷ 正確さ: 回答の記録がまだないため、"
                                 "練習ごとの合計から)")
                      .arg(msText(cost));
        }
        case Median:
            return estimateTip(QStringLiteral("中央値"), key.times.median, key, 0, sittingsForInterval());
        case P90:
            return estimateTip(QStringLiteral("90%点"), key.times.p90, key, 0, sittingsForInterval());
        case Spread:
            return estimateTip(
                QStringLiteral("ばらつき"), key.times.spread, key, 2, QStringLiteral("答え 17 回"));
        case Trend:
            return key.enoughForTrend() ? trendTip(key.trend) : notEnoughForTrendTip(key.trend);
        case Best:
            // Not a figure of the kind or the period shown, unlike the others: said where it is read.
            return key.bestMs ? QVariant(BestTip) : QVariant();
        case Character:
            return weak ? QVariant(QStringLiteral("苦手なキー: 「苦手なキーを練習」で多めに出ます"))
                        : QVariant();
        default:
            return {};
        }
    default:
        return {};
    }
}

QVariant WeakKeysModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::DisplayRole) {
        switch (section) {
        case Character:
            return QStringLiteral("文字");
        case Weakness:
            return QStringLiteral("苦手");
        case Median:
            return QStringLiteral("中央値");
        case P90:
            return QStringLiteral("90%点");
        case Spread:
            return QStringLiteral("ムラ");
        case Best:
            return QStringLiteral("自己ベスト");
        case Trend:
            return QStringLiteral("傾向");
        case Accuracy:
            return QStringLiteral("正確さ");
        case TopWrong:
            return QStringLiteral("押し間違い");
        default:
            return {};
        }
    }
    if (role == Qt::InitialSortOrderRole) {
        // A first click on a header puts the weakest first: the slowest, the most scattered, the
        // worsening, the least accurate, the most confused.
        switch (section) {
        case Weakness:
        case Median:
        case P90:
        case Spread:
        case Trend:
        case TopWrong:
            return Qt::DescendingOrder;
        default:
            return Qt::AscendingOrder;
        }
    }
    if (role == Qt::ToolTipRole) {
        switch (section) {
        case Weakness:
            return QStringLiteral("正解 1 回にかかる時間 (中央値 ÷ 最近の正確さ) の順。「苦手」は"
                                  "「苦手なキーを練習」に出るキーと、その回数");
        case Median:
            return QStringLiteral(
                "直近のひと続きの練習 %1 回以上 (答え %2 回以上) の答えの時間の中央値 (ms)。"
                "間が %3 分以内の練習はひと続き。95%区間はセルのヒントに (ひと続きごとの中央値の"
                "順位から求めた、分布によらない区間。日ごとの調子の波も含みます)")
                .arg(figures::TrendSittings)
                .arg(figures::TrendWindow)
                .arg(history::SittingGapMs / 60'000);
        case P90:
            return QStringLiteral(
                "答えの 9 割がこれより速い時間 (ms)。95%区間はセルのヒントに (ひと続きごとの値から)");
        case Spread:
            return QStringLiteral(
                "ムラ (ばらつき): 四分位範囲 ÷ 中央値。95%区間はセルのヒントに (三つの四分位の"
                "区間を合わせて 95%、ボンフェローニ)");
        case Best:
            return BestTip
                + QStringLiteral(
                    "。文字のグラフで丸で囲んだ点は、"
                    "この種類でその文字に %1 回以上答え、その中央値がそれまでのいちばん良い水準を、"
                    "その日の調子と偶然では説明できないほど下回った練習")
                      .arg(figures::NewBestAnswers);
        case Trend:
            return QStringLiteral(
                "直近のひと続きの練習 %1 回とその前の %1 回を、答えの順位をひと続きごとに"
                "まとめて比べ、表のキー全体で補正して p < 0.05 で、中央値が %2% 以上違うときだけ"
                "「速くなった」「遅くなった」")
                .arg(figures::TrendSittings)
                .arg(std::lround(figures::MinNoticeableChange * 100));
        case Accuracy:
            return QStringLiteral("中央値と同じ答え (答えの記録がない種類では最近 %1 回) で、"
                                  "正しく押した数 ÷ (正しく押した数 + 押し間違い)")
                .arg(history::RecentDrills);
        case TopWrong:
            return QStringLiteral("その文字のときに一番多く押したほかのキーと、その回数 (全記録)");
        default:
            return {};
        }
    }
    return {};
}

void WeakKeysModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= ColumnCount)
        return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    // The view's current row and selection follow their characters to the new rows.
    const QModelIndexList before = persistentIndexList();
    std::vector<unsigned char> codes;
    for (const QModelIndex& index : before)
        codes.push_back(codeAt(index.row()));
    m_sortColumn = column;
    m_sortOrder = order;
    sortRows();
    QModelIndexList after;
    for (int i = 0; i < before.size(); ++i)
        after.push_back(index(rowOf(codes[static_cast<std::size_t>(i)]), before[i].column()));
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void WeakKeysModel::sortRows()
{
    const int column = m_sortColumn;
    const bool descending = m_sortOrder == Qt::DescendingOrder;
    std::sort(m_keys.begin(), m_keys.end(), [column, descending, this](const auto& a, const auto& b) {
        const std::optional<double> va = sortValue(a, column, m_anyKept);
        const std::optional<double> vb = sortValue(b, column, m_anyKept);
        if (va.has_value() != vb.has_value())
            return va.has_value(); // the empty ones last
        if (va && *va != *vb)
            return descending ? *va > *vb : *va < *vb;
        return a.code < b.code;
    });
}

unsigned char WeakKeysModel::codeAt(int row) const
{
    if (row < 0 || row >= static_cast<int>(m_keys.size()))
        return 0;
    return m_keys[static_cast<std::size_t>(row)].code;
}

int WeakKeysModel::rowOf(unsigned char code) const
{
    for (std::size_t i = 0; i < m_keys.size(); ++i)
        if (m_keys[i].code == code)
            return static_cast<int>(i);
    return -1;
}

} // namespace touchdrill
