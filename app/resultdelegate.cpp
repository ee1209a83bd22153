// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/resultdelegate.h"

#include "app/tform1.h"
#include "drill/palette.h"

#include <QApplication>
#include <QPainter>

namespace touchdrill {

ResultDelegate::ResultDelegate(TForm1* form)
    : QStyledItemDelegate(form)
    , m_form(form)
{
}

void ResultDelegate::paint(
    QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QWidget* list = const_cast<QWidget*>(option.widget);
    m_form->ListBox1DrawItem(list, index.row(), option.rect, option.state, *painter);

    // The chart always paints white, so the focus rectangle is the only mark of the current item.
    if (option.state & QStyle::State_HasFocus) {
        QStyleOptionFocusRect focus;
        focus.QStyleOption::operator=(option);
        focus.backgroundColor = QColor(
            palette::ResultsBackground.r, palette::ResultsBackground.g, palette::ResultsBackground.b);
        const QStyle* style = list ? list->style() : QApplication::style();
        style->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, list);
    }
}

QSize ResultDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const
{
    return { option.rect.width(), ItemHeight };
}

} // namespace touchdrill
