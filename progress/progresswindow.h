// SPDX-License-Identifier: GPL-3.0-or-later
// The 「練習の記録」 window: the chart over time, the keyboard, the weak keys, their drill, the export
// and the import of another history.
#pragma once

#include "drill/keystats.h"
#include "figures/progressfigures.h"
#include "figures/weakkeys.h"
#include "settings/windowplacement.h"

#include <QWidget>

#include <functional>
#include <string>
#include <vector>

class QComboBox;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QRadioButton;
class QVBoxLayout;
class QTabWidget;
class QTableView;

namespace touchdrill {

class FingerView;
class KeyboardView;
class ProgressChart;
class WeakKeysModel;

class ProgressWindow : public QWidget {
    Q_OBJECT
public:
    struct Options {
        // The drills stored after the one with this id (0: all), in the order they were stored;
        // adds to `skipped` the stored rows left out as damaged. Throws an exception carrying the
        // text to show. Drills that started before those shown (merged ones) are read again with
        // the rest through readDigest.
        std::function<std::vector<history::DrillRecord>(int64_t afterId, std::size_t& skipped)> readDrills;
        // What the window shows when it opens, in a few small reads; when set, the history is not
        // read whole and readDrills brings only the drills after it. Throws as readDrills does.
        std::function<history::HistoryDigest()> readDigest;
        // Every drill of one character with an id up to `upToId`, oldest first: its chart
        // after readDigest, read when the character is chosen. Counts and throws as readDrills.
        std::function<std::vector<history::KeyDrill>(
            unsigned char code, int64_t upToId, std::size_t& skipped)>
            readKeyDrills;
        // Why the history shown could be opened for reading only, so that no drill is recorded
        // into it; empty when drills are. Asked after each read.
        std::function<QString()> readOnlyReason;
        // How many drills wait in memory for the history another copy holds.
        std::function<std::size_t()> waitingDrills;
        // The best averages as the best-times file holds them (all 0 when there is none).
        std::function<BestTimes()> readBest;
        // Prepares the main window with this pool and brings it forward; returns why it could
        // not, or an empty text.
        std::function<QString(const std::string& pool)> practise;
        // Shows the error box with this text.
        std::function<void(const QString& text)> errorBox;
        // Where the window's bounds are kept, in section [Progress]; empty keeps nothing.
        std::string iniPath;
        // The history file that 「CSV に書き出す」 exports, read afresh as the command line's export
        // reads it; empty or missing gives the header alone.
        std::string historyPath;
        // Asks where to write the CSV; an empty text cancels. A save dialog when not set.
        std::function<QString(QWidget* parent, const QString& suggested)> askExportPath;
        // The time now, in UTC milliseconds: where the chart's periods end. The clock when not set.
        std::function<int64_t()> nowUtcMs;
        // Asks which history 「記録を取り込む」 merges into historyPath; an empty text cancels. An
        // open dialog when not set.
        std::function<QString(QWidget* parent)> askImportPath;
        // The finger view's answers: the latest drills of the kind `rows` that kept answers, oldest
        // first, holding at least `maxAnswers` answers where the history has as many. Throws as
        // readDrills does.
        std::function<std::vector<history::DrillAnswers>(const std::string& rows, std::size_t maxAnswers)>
            readAnswers;
        // As practise, with the pool recorded as the kind `rows` (the finger drills').
        std::function<QString(const std::string& pool, const std::string& rows)> practiseAs;
    };

    static constexpr const char* PlacementSection = "Progress";

    explicit ProgressWindow(Options options, QWidget* parent = nullptr);

    // Shows the window (where it was left, the first time) or brings the open one forward.
    void showAndRaise();
    // Drills have been recorded: read them and show them.
    void drillRecorded();
    // The drill `drill` has been recorded and the bests are now `best`: shown as they are, without
    // reading them back. Where the window has missed drills before it (another copy's, or a read
    // that failed), it reads the history as drillRecorded() does.
    void drillRecorded(const history::DrillRecord& drill, const BestTimes& best);
    // Reads the whole history again.
    void reload();
    // Writes the CSV of every drill of the history file, read afresh, to `path`, replacing the
    // file at once. Throws with the text to show.
    // Returns the rows of the history that could not be read and were passed over.
    std::size_t exportCsvTo(const QString& path) const;
    // Merges the history at `path` into the history file, shows the whole history afresh and says
    // in the status line how many drills came in and how many were there already. Throws with the
    // text to show; nothing is merged then.
    void importFrom(const QString& path);

    // The character the chart shows; 0 for every character.
    unsigned char chosenCharacter() const;
    void chooseCharacter(unsigned char code);
    std::size_t drillCount() const { return m_tally.drillCount(); }
    const std::vector<figures::KeySummary>& summaries() const { return m_summaries; }
    const std::string& weakPool() const { return m_pool; }

    // The controls, for the tests.
    QComboBox* characterBox = nullptr;
    QComboBox* kindBox = nullptr; // 「すべて」, then each kind of drill practised
    QComboBox* periodBox = nullptr; // the days up to today the figures show; 0 for every drill
    ProgressChart* chart = nullptr;
    QRadioButton* averageButton = nullptr;
    QRadioButton* accuracyButton = nullptr;
    QRadioButton* fingerColouring = nullptr; // the keyboard coloured by finger
    KeyboardView* keyboard = nullptr;
    QTabWidget* tabs = nullptr; // the weak keys, the fingers, the transitions
    QTableView* table = nullptr;
    FingerView* fingers = nullptr;
    WeakKeysModel* model = nullptr;
    QPushButton* practiseButton = nullptr;
    QLabel* practiseNote = nullptr;
    QPushButton* exportButton = nullptr;
    QPushButton* importButton = nullptr;
    QPushButton* closeButton = nullptr;
    QLabel* statusLabel = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void createControls();
    // Works the figures out again and shows them, with `best` or else the bests readBest() gives.
    void refresh(const BestTimes* best = nullptr);
    // The clock the window reads: the one its options give, else the system's.
    int64_t nowUtcMs() const;
    // The first moment of the period chosen (UTC ms); INT64_MIN for every drill.
    int64_t periodStart() const;
    // Lists the kinds of drill in kindBox, choosing the one practised most lately the first time.
    void listKinds();
    void showStatus();
    void fitTableWidth();
    void shareMiddle();
    void updateChart();
    void practise();
    // Under the button: the keys the weak-key drill holds, or why there is none.
    QString practiseNoteText() const;
    void exportCsv();
    void importHistory();
    void createFingerView(QVBoxLayout* weakPage, QHBoxLayout* middle);
    void showFingerColours();
    void savePlacement();
    void showError(const QString& text);
    template <typename Handler> void guarded(Handler&& handler);

    Options m_options;
    figures::ProgressTally m_tally;
    bool m_digestWanted = false; // the next read starts from readDigest
    std::size_t m_skipped = 0; // stored rows left out as damaged, in what the tally holds
    std::vector<figures::KeySummary> m_summaries;
    std::vector<figures::WeakKey> m_weak;
    std::string m_pool;
    bool m_loaded = false;
    bool m_kindDefaulted = false; // the kind has been chosen for the learner once
    bool m_placed = false;
    WindowPlacement m_placement { this, PlacementSection };
    bool m_syncing = false; // the choice is being passed between the controls
    QHBoxLayout* m_middle = nullptr; // the keyboard beside the table
    int m_tableNeeds = 0; // the table's width with every column in view
};

} // namespace touchdrill
