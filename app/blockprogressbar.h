// SPDX-License-Identifier: GPL-3.0-or-later
// The gauge: a bar drawn as separate blocks, like the classic progress bar, whatever the widget
// style. The gauge timer moves it a hundred times a second, so a new position repaints only the
// columns it changes.
#pragma once

#include <QWidget>

namespace touchdrill {

class BlockProgressBar : public QWidget {
    Q_OBJECT
public:
    explicit BlockProgressBar(QWidget* parent = nullptr);

    int minimum() const { return m_minimum; }
    int maximum() const { return m_maximum; }
    int value() const { return m_value; }
    void setRange(int minimum, int maximum);
    void setValue(int value); // held within the range

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QRect trough() const;
    int filledWidth(int value) const;

    int m_minimum = 0;
    int m_maximum = 100;
    int m_value = 0;
};

} // namespace touchdrill
