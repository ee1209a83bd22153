// SPDX-License-Identifier: GPL-3.0-or-later
// The progress window's fingers: the finger and hand table with the slow finger's sentence, the
// transitions and the slowest pairs, and the two drills they lead to. Two pages for the window's
// tabs; the answers are read when either is first shown (or the keyboard's finger colouring is
// chosen), never while the window opens.
#pragma once

#include "figures/fingerfigures.h"
#include "figures/fingermap.h"
#include "figures/progressfigures.h"
#include "figures/weakkeys.h"

#include <QObject>
#include <QString>

#include <functional>
#include <optional>
#include <string>
#include <vector>

class QLabel;
class QPushButton;
class QTableWidget;
class QWidget;

namespace touchdrill {

class FingerView : public QObject {
    Q_OBJECT
public:
    struct Options {
        // The latest drills of the kind `rows` that kept answers, oldest first, holding at least
        // `maxAnswers` answers between them where the history has as many. Throws the text to show.
        std::function<std::vector<history::DrillAnswers>(const std::string& rows, std::size_t maxAnswers)>
            readAnswers;
        // Prepares the main window with this pool, recorded as `rows`; returns why it could not,
        // or an empty text.
        std::function<QString(const std::string& pool, const std::string& rows)> practise;
        // The INI file whose [Fingers] section changes the finger map; empty for the standard map.
        std::string iniPath;
    };

    // The rows of the finger table: the eight fingers, then the two hands, then every answer.
    static constexpr int HandRow = 8;
    static constexpr int AllRow = 10;
    static constexpr int FingerRowCount = 11;
    enum FingerColumn { Name, Median, Accuracy, Answers, FingerColumnCount };

    FingerView(Options options, QWidget* parent);

    // The map of the INI's [Fingers], read on first use; and what it ignored (empty for nothing).
    const figures::FingerMap& map();
    const QString& mapStatus();

    // The kind of drill shown (none: every kind, which the figures never mix).
    void setKind(const figures::KindChoice& kind);
    // The period shown: drills started at or after this moment (UTC ms), as the window's 「期間」.
    void setPeriod(int64_t fromUtcMs);
    // The weak keys, which the drill of slow transitions weighs by its pairs, and the characters'
    // summaries, which the finger drill leans on.
    void setWeakKeys(const std::vector<figures::WeakKey>& weak, std::vector<figures::KeySummary> summaries);
    // A drill recorded while the window is open: its answers join the figures when they are shown.
    void addDrill(const history::DrillRecord& drill);
    // The history has been read again: the answers are read afresh when next needed.
    void forget();
    // Reads the answers of the kind shown unless they are held; none while neither page is shown
    // unless `evenHidden`.
    void load(bool evenHidden = false);

    // The figures shown; none until the answers of a kind are read.
    const std::optional<figures::FingerFigures>& figures() const { return m_figures; }
    std::optional<figures::Finger> slowFinger() const;
    std::optional<figures::Finger> chosenFinger() const;
    void chooseFinger(figures::Finger finger);
    // The width the tables need with every column in view; 0 until a page has been shown.
    int neededWidth() const;

    QWidget* fingerPage = nullptr;
    QLabel* sentenceLabel = nullptr;
    QTableWidget* fingerTable = nullptr;
    QPushButton* fingerButton = nullptr;
    QLabel* fingerNote = nullptr;
    QWidget* transitionPage = nullptr;
    QTableWidget* transitionTable = nullptr;
    QTableWidget* pairTable = nullptr;
    QPushButton* pairsButton = nullptr;
    QLabel* pairsNote = nullptr;

signals:
    // The figures have changed (read, added to or dropped): the keyboard's slow finger may too.
    void figuresChanged();
    // A read failed: the text for the window's status line.
    void problem(const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createPages(QWidget* parent);
    bool shown() const;
    void recompute();
    void showFigures();
    void showFingerNote();
    void practiseFinger();
    void practisePairs();
    std::string pairsPool() const;

    Options m_options;
    std::optional<figures::FingerMap> m_map;
    QString m_mapStatus;
    figures::KindChoice m_kind;
    int64_t m_fromUtcMs = INT64_MIN;
    std::vector<figures::WeakKey> m_weak;
    std::vector<figures::KeySummary> m_summaries;
    std::vector<history::DrillAnswers> m_drills; // of m_kind, oldest first
    bool m_loaded = false; // m_drills holds the kind's latest answers
    bool m_everShown = false; // a page has been shown
    std::optional<figures::FingerFigures> m_figures;
};

} // namespace touchdrill
