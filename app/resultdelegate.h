// SPDX-License-Identifier: GPL-3.0-or-later
// Hands each results-list item to the window's painter, then draws the list's focus rectangle.
#pragma once

#include <QStyledItemDelegate>

namespace touchdrill {

class TForm1;

class ResultDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit ResultDelegate(TForm1* form);

    void paint(
        QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    static constexpr int ItemHeight = 16;

private:
    TForm1* m_form;
};

} // namespace touchdrill
