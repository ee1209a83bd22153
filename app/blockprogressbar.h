// A progress bar drawn as separate blocks, like the classic gauge, whatever the widget style.
#pragma once

#include <QProgressBar>

namespace touchdrill {

class BlockProgressBar : public QProgressBar {
    Q_OBJECT
public:
    explicit BlockProgressBar(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace touchdrill
