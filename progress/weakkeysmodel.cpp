// SPDX-License-Identifier: GPL-3.0-or-later
// The weak-keys table: texts, alignment and sorting with the empty values kept last.
#include "progress/weakkeysmodel.h"

#include "progress/progresstext.h"

#include <QColor>
#include <QFont>

#include <algorithm>
#include <cmath>

namespace touchdrill {

namespace {

// The value a column sorts by; nullopt sorts last whatever the order.
std::optional<double> sortValue(const history::KeySummary& key, int column)
{
    switch (column) {
    case WeakKeysModel::Character:
        return key.code;
    case WeakKeysModel::Weakness:
        return key.enoughAnswers() ? std::optional<double>(history::weaknessCost(key)) : std::nullopt;
    case WeakKeysModel::Recent:
        return key.enoughAnswers() ? key.recentMs : std::nullopt;
    case WeakKeysModel::Best:
        return key.bestMs;
    case WeakKeysModel::Trend:
        return key.enoughForTrend() ? key.trendMs : std::nullopt;
    case WeakKeysModel::Accuracy:
        return key.enoughAnswers() ? key.accuracy : std::nullopt;
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
    std::vector<history::KeySummary> keys, const std::vector<history::WeakKey>& weak)
{
    beginResetModel();
    m_keys = std::move(keys);
    m_weight.assign(256, 0);
    for (const history::WeakKey& key : weak)
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
    const history::KeySummary& key = m_keys[static_cast<std::size_t>(index.row())];
    const bool weak = m_weight[key.code] > 0;
    // Figures from too few answers would be mostly chance: they are not shown.
    const bool tooFew
        = ((index.column() == Weakness || index.column() == Recent || index.column() == Accuracy)
              && !key.enoughAnswers())
        || (index.column() == Trend && key.trendMs && !key.enoughForTrend());
    switch (role) {
    case Qt::DisplayRole:
        if (tooFew)
            return notEnoughDataText();
        switch (index.column()) {
        case Character:
            return characterText(key.code);
        case Weakness:
            return weak ? QStringLiteral("苦手 ×%1").arg(m_weight[key.code]) : QString();
        case Recent:
            return msText(key.recentMs);
        case Best:
            return msText(key.bestMs);
        case Trend:
            return trendText(key.trendMs);
        case Accuracy:
            return percentText(key.accuracy);
        case TopWrong:
            return wrongKeyText(key);
        default:
            return {};
        }
    case Qt::TextAlignmentRole:
        return index.column() == Character || index.column() == TopWrong
            ? QVariant(Qt::AlignLeft | Qt::AlignVCenter)
            : QVariant(Qt::AlignRight | Qt::AlignVCenter);
    case Qt::BackgroundRole:
        // A tint on top of the mark in its column: the row reads as weak at a glance.
        return weak ? QVariant(QColor(255, 226, 190)) : QVariant();
    case Qt::ForegroundRole:
        // Dark text on the light tint whatever the palette's text colour.
        return weak ? QVariant(QColor(Qt::black)) : QVariant();
    case Qt::FontRole:
        if ((index.column() == Character || index.column() == Weakness) && weak) {
            QFont bold;
            bold.setBold(true);
            return bold;
        }
        return {};
    case Qt::ToolTipRole:
        if (tooFew && !key.enoughAnswers())
            return notEnoughDataTip(key);
        if (tooFew)
            return QStringLiteral("比べる前の %1 回の練習での答えが %2 回だけです (%3 回から比べます)")
                .arg(history::RecentDrills)
                .arg(key.earlierAnswers)
                .arg(history::MinAnswers);
        if (index.column() == Weakness && key.enoughAnswers()) {
            const double cost = history::weaknessCost(key);
            return std::isfinite(cost)
                ? QStringLiteral("正解 1 回あたり %1 (平均 ÷ 正確さ)").arg(msText(cost))
                : QStringLiteral("最近の練習で正解がありません");
        }
        if (index.column() == Character && weak)
            return QStringLiteral("苦手なキー: 「苦手なキーを練習」で多めに出ます");
        return {};
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
        case Recent:
            return QStringLiteral("最近の平均");
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
        // A first click on a header puts the weakest first: the slowest, the worsening, the least
        // accurate, the most confused.
        switch (section) {
        case Weakness:
        case Recent:
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
            return QStringLiteral("正解 1 回にかかる時間 (最近の平均 ÷ 正確さ) の順。「苦手」は"
                                  "「苦手なキーを練習」に出るキーと、その回数");
        case Recent:
            return QStringLiteral("その文字が出た最近 %1 回の練習での平均").arg(history::RecentDrills);
        case Best:
            return QStringLiteral("これまでの自己ベスト (平均)");
        case Trend:
            return QStringLiteral(
                "最近 %1 回の平均から、その前の %1 回の平均を引いた差 (マイナスは速くなった)")
                .arg(history::RecentDrills);
        case Accuracy:
            return QStringLiteral("最近 %1 回で、正しく押した数 ÷ (正しく押した数 + 押し間違い)")
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
    std::sort(m_keys.begin(), m_keys.end(), [column, descending](const auto& a, const auto& b) {
        const std::optional<double> va = sortValue(a, column);
        const std::optional<double> vb = sortValue(b, column);
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
