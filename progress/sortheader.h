// SPDX-License-Identifier: GPL-3.0-or-later
// A table header whose sort arrow points the way the rows run: ▼ when the largest come first,
// ▲ when the smallest do, in whatever style draws it.
#pragma once

#include <QHeaderView>

namespace touchdrill {

class SortHeader : public QHeaderView {
    Q_OBJECT
public:
    explicit SortHeader(QWidget* parent = nullptr);

protected:
    void initStyleOptionForIndex(QStyleOptionHeader* option, int logicalIndex) const override;
};

} // namespace touchdrill
