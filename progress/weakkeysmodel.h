// SPDX-License-Identifier: GPL-3.0-or-later
// The weak-keys table: one row per character in the history, sortable by any column, the weakest
// first until the user chooses otherwise.
#pragma once

#include "figures/progressfigures.h"
#include "figures/weakkeys.h"

#include <QAbstractTableModel>

#include <vector>

namespace touchdrill {

class WeakKeysModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // The time columns show each figure's value, its 95 % interval in the cell's tip: with the
    // intervals written out the columns would not fit beside the keyboard at the designed size.
    enum Column { Character, Weakness, Median, P90, Spread, Best, Trend, Accuracy, TopWrong, ColumnCount };

    explicit WeakKeysModel(QObject* parent = nullptr);

    // The characters in `weak` (the pool's) are marked 「苦手」 with their weight, tinted and in bold.
    // Keeps the current sort.
    void setSummaries(std::vector<figures::KeySummary> keys, const std::vector<figures::WeakKey>& weak);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // Rows without a value in the column (no trend yet, no best, no wrong key, too few answers)
    // stay at the bottom in either order; equal values keep the order of the characters' codes.
    // The weakness column sorts by the cost the weak keys are ranked by.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    unsigned char codeAt(int row) const;
    int rowOf(unsigned char code) const; // -1 when the character has no row

private:
    void sortRows();

    std::vector<figures::KeySummary> m_keys;
    std::vector<int> m_weight; // by code: times in the pool, 0 for a key not in it
    bool m_anyKept = false; // whether any character kept answers: see figures::ranksAsWeakKey()
    int m_sortColumn = Weakness;
    Qt::SortOrder m_sortOrder = Qt::DescendingOrder; // the weakest first
};

} // namespace touchdrill
