// SPDX-License-Identifier: GPL-3.0-or-later
// The main window: its controls, the routing of typed keys, and the six handlers of the program.
#pragma once

#include "app/blockprogressbar.h"
#include "drill/clock.h"
#include "drill/drillengine.h"
#include "drill/keystats.h"
#include "history/drillrecord.h"
#include "settings/filelocations.h"
#include "settings/windowplacement.h"

#include <QStyle>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <string>

class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QListWidget;
class QPainter;
class QPushButton;
class QScrollArea;
class QTimer;

namespace touchdrill {

namespace history {
class HistoryRecorder;
}
class ProgressWindow;

class TForm1 : public QWidget, private WindowOps {
    Q_OBJECT
public:
    struct Options {
        std::string executablePath; // names the program and its files
        Clock* clock = nullptr; // the system clocks when null
        // Shows the error box; the real one is modal. Tests record the text instead.
        std::function<void(const QString& title, const QString& text)> errorBox;
        // Where the files live, decided once by the entry point; decided from executablePath
        // when absent.
        std::optional<FileLocations> files;
    };

    explicit TForm1(Options options, QWidget* parent = nullptr);
    ~TForm1() override;

    // Controls, named as the program's design names them.
    QListWidget* ListBox1 = nullptr;
    QFrame* Panel1 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QCheckBox* CheckBox1 = nullptr;
    QCheckBox* CheckBox2 = nullptr;
    QCheckBox* CheckBox3 = nullptr;
    QCheckBox* CheckBox4 = nullptr;
    QCheckBox* CheckBox5 = nullptr;
    QCheckBox* CheckBox6 = nullptr;
    QPushButton* Button1 = nullptr;
    BlockProgressBar* ProgressBar1 = nullptr;
    QTimer* Timer1 = nullptr;
    // Tries again, every few seconds, to store the drills that wait for the history.
    QTimer* m_waitingTimer = nullptr;

    // State: the drill and the best averages.
    const DrillEngine& drill() const { return m_drill; }
    const BestTimes& best() const { return Best; }
    const std::string& bestTimesPath() const { return m_bestTimesPath; }
    const std::string& placementPath() const { return m_placementPath; }
    QString applicationTitle() const { return m_title; }
    // The practice history: records each drill's end; its database() is there for views.
    history::HistoryRecorder& historyRecorder() { return *m_history; }

    // The 「練習の記録」 window (F2, or the results list's menu): made on first use, raised after.
    void openProgress();
    ProgressWindow* progressWindow() const { return m_progress; }
    // Prepares a drill of these characters, as the prepare button does with the rows, and brings
    // the window forward. Returns why it could not (a drill is running), or an empty text.
    QString practiseWeakKeys(const std::string& pool, const std::string& rows = WeakKeysRows);

    // Handlers.
    void FormCreate();
    void FormDestroy();
    void FormKeyPress(char& Key);
    void Button1Click();
    void Timer1Timer();
    void ListBox1DrawItem(
        QWidget* Control, int Index, const QRect& Rect, QStyle::State State, QPainter& Canvas);

signals:
    // A finished drill has been stored in the history as `drill` (its id set), and the bests are
    // now `best`, as the results step has just joined and saved them.
    void drillRecorded(const history::DrillRecord& drill, const BestTimes& best);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    void createControls();
    void dockControls();
    void ShowResults();
    void showError(const std::exception& error);
    void showErrorText(const QString& text);
    bool routeKey(QWidget* target, QKeyEvent* event);
    void moveFocusWithinParent(QWidget* from, bool forward);
    Clock& clock();
    template <typename Handler> void guarded(Handler&& handler);
    void recordDrill();
    void storeWaitingDrills();

    // What the drill engine does to the controls.
    void setTargetText(std::string_view text) override;
    void setWrongText(std::string_view text) override;
    int gauge() const override;
    void setGauge(int position) override;
    void setTimerEnabled(bool enabled) override;
    bool buttonEnabled() const override;
    void setButtonEnabled(bool enabled) override;

    Options m_options;
    std::unique_ptr<Clock> m_ownClock;
    DrillEngine m_drill;
    BestTimes Best {};
    std::string m_bestTimesPath;
    std::string m_placementPath;
    QString m_title;
    QScrollArea* m_client = nullptr;
    QWidget* m_dockSite = nullptr;
    WindowPlacement m_placement;
    bool m_destroyed = false;
    uint32_t m_lastTickAt = 0; // the tick count when the gauge timer last ticked
    bool m_gaugePaused = false; // the gauge timer stopped on a full gauge during a drill
    QString m_otherTyped; // the last typed character that the window's code page has no byte for
    std::unique_ptr<history::HistoryRecorder> m_history;
    ProgressWindow* m_progress = nullptr; // a child window, made on first use
    QString m_historyReport; // a history failure, shown once the key's handler is done
};

} // namespace touchdrill
