// SPDX-License-Identifier: GPL-3.0-or-later
// The 「練習の記録」 window: lays out the chart, the keyboard and the table, and wires them together.
#include "progress/progresswindow.h"

#include "drill/calendar.h"
#include "history/historydb.h"
#include "history/historyexport.h"
#include "history/historyimport.h"
#include "progress/fingerview.h"
#include "progress/keyboardview.h"
#include "progress/progresschart.h"
#include "progress/progresstext.h"
#include "progress/sortheader.h"
#include "progress/weakkeysmodel.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QShortcut>
#include <QStyle>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <atomic>
#include <climits>
#include <exception>
#include <memory>
#include <thread>

namespace touchdrill {

namespace {

constexpr int DesignedWidth = 980; // outer size, frame included
constexpr int DesignedHeight = 640;
constexpr int TableSlack = 4; // rounding in the layout's shares

// Days as the learner's clock counts them. The offset from UTC is looked up once per hour of
// history rather than once per drill: ten thousand drills fall into far fewer hours.
figures::DayOf localDayOf()
{
    readTimeZone();
    return [lastHour = int64_t(-1), offsetMs = int64_t(0)](int64_t utcMs) mutable {
        if (!history::isKnownTime(utcMs))
            return figures::UnknownDay;
        const int64_t hour = floorDiv(utcMs, MsPerHour);
        if (hour != lastHour) {
            lastHour = hour;
            offsetMs = int64_t(localOffsetMinutes(utcMs).value_or(0)) * MsPerMinute;
        }
        return figures::utcDayOf(utcMs + offsetMs);
    };
}

QString whatText(const std::exception& error)
{
    if (dynamic_cast<const std::bad_alloc*>(&error))
        return QString::fromUtf8(history::OutOfMemoryText);
    return QString::fromUtf8(error.what());
}

} // namespace

ProgressWindow::ProgressWindow(Options options, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_options(std::move(options))
{
    setWindowTitle(QStringLiteral("練習の記録"));
    setAttribute(Qt::WA_InputMethodEnabled, false);
    if (parent) {
        // The main window's font family, and no more of its looks.
        setFont(parent->font());
        // Closing the main window ends the program: keep this window's bounds first.
        parent->installEventFilter(this);
    }
    createControls();
    importButton->setEnabled(!m_options.historyPath.empty()); // nowhere to merge into otherwise
    resize(DesignedWidth, DesignedHeight); // the outer size until a stored one is read
}

template <typename Handler> void ProgressWindow::guarded(Handler&& handler)
{
    try {
        handler();
    } catch (const std::exception& error) {
        showError(whatText(error));
    } catch (...) {
        showError(QString());
    }
}

void ProgressWindow::showError(const QString& text)
{
    if (m_options.errorBox)
        m_options.errorBox(text);
}

void ProgressWindow::createControls()
{
    auto* layout = new QVBoxLayout(this);

    auto* top = new QHBoxLayout;
    auto* characterLabel = new QLabel(QStringLiteral("文字(&C):"), this);
    characterBox = new QComboBox(this);
    characterBox->addItem(QStringLiteral("すべての文字"), 0);
    for (int code = FirstCode; code <= LastCode; ++code)
        characterBox->addItem(characterText(static_cast<unsigned char>(code)), code);
    characterBox->setMaxVisibleItems(20);
    characterLabel->setBuddy(characterBox);
    auto* kindLabel = new QLabel(QStringLiteral("練習の種類(&S):"), this);
    kindBox = new QComboBox(this);
    // As wide as the common names; the list opens as wide as the longest, so that a long name
    // never widens the window's least size.
    kindBox->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    kindBox->setMinimumContentsLength(16);
    kindLabel->setBuddy(kindBox);
    statusLabel = new QLabel(this);
    statusLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* periodLabel = new QLabel(QStringLiteral("期間(&R):"), this);
    periodBox = new QComboBox(this);
    for (const auto& [text, days] :
        { std::pair { QStringLiteral("7 日"), 7 }, std::pair { QStringLiteral("30 日"), 30 },
            std::pair { QStringLiteral("1 年"), 365 }, std::pair { QStringLiteral("すべて"), 0 } })
        periodBox->addItem(text, days);
    // Every drill at first: the chart then covers what the status line and the table count.
    periodBox->setCurrentIndex(periodBox->count() - 1);
    periodLabel->setBuddy(periodBox);
    top->addWidget(kindLabel);
    top->addWidget(kindBox);
    top->addSpacing(16);
    top->addWidget(characterLabel);
    top->addWidget(characterBox);
    top->addSpacing(16);
    top->addWidget(periodLabel);
    top->addWidget(periodBox);
    top->addSpacing(16);
    top->addWidget(statusLabel, 1);
    layout->addLayout(top);

    chart = new ProgressChart(this);
    chart->setToolTip(QString()); // its own tips, point by point
    layout->addWidget(chart, 3);

    auto* middle = m_middle = new QHBoxLayout;
    auto* left = new QVBoxLayout;
    auto* switchRow = new QHBoxLayout;
    auto* keyboardLabel = new QLabel(QStringLiteral("キーボードの色(&K):"), this);
    averageButton = new QRadioButton(QStringLiteral("中央値(&A)"), this);
    accuracyButton = new QRadioButton(QStringLiteral("正確さ(&P)"), this);
    averageButton->setChecked(true);
    auto* colouring = new QButtonGroup(this);
    colouring->addButton(averageButton);
    colouring->addButton(accuracyButton);
    switchRow->addWidget(keyboardLabel);
    switchRow->addWidget(averageButton);
    switchRow->addWidget(accuracyButton);
    fingerColouring = new QRadioButton(QStringLiteral("指(&F)"), this);
    colouring->addButton(fingerColouring);
    switchRow->addWidget(fingerColouring);
    switchRow->addStretch(1);
    keyboard = new KeyboardView(this);
    keyboardLabel->setBuddy(keyboard);
    left->addLayout(switchRow);
    left->addWidget(keyboard, 1);
    middle->addLayout(left, 5);

    auto* right = new QVBoxLayout;
    right->setContentsMargins(4, 4, 4, 4);
    auto* tableLabel = new QLabel(QStringLiteral("苦手なキー(&T):"), this);
    model = new WeakKeysModel(this);
    table = new QTableView(this);
    table->setHorizontalHeader(new SortHeader(table));
    table->setModel(model);
    table->setSortingEnabled(true);
    table->sortByColumn(WeakKeysModel::Weakness, Qt::DescendingOrder);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setTabKeyNavigation(false);
    table->verticalHeader()->hide();
    table->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table->horizontalHeader()->setStretchLastSection(true);
    table->setAlternatingRowColors(true);
    tableLabel->setBuddy(table);
    right->addWidget(tableLabel);
    right->addWidget(table, 1);
    createFingerView(right, middle);
    layout->addLayout(middle, 4);

    auto* bottom = new QHBoxLayout;
    practiseButton = new QPushButton(QStringLiteral("苦手なキーを練習(&W)"), this);
    practiseNote = new QLabel(this);
    practiseNote->setWordWrap(true); // up to fifteen keys: never wider than the window
    exportButton = new QPushButton(QStringLiteral("CSV に書き出す(&E)…"), this);
    importButton = new QPushButton(QStringLiteral("記録を取り込む(&I)…"), this);
    importButton->setToolTip(
        QStringLiteral("別のコンピューターや別のフォルダーの touchdrill "
                       "の練習の記録を、この記録に加えます（すでにある練習は飛ばします）"));
    closeButton = new QPushButton(QStringLiteral("閉じる"), this);
    for (QPushButton* button : { practiseButton, exportButton, importButton, closeButton })
        button->setAutoDefault(false);
    bottom->addWidget(practiseButton);
    bottom->addWidget(practiseNote, 1);
    bottom->addWidget(exportButton);
    bottom->addWidget(importButton);
    bottom->addWidget(closeButton);
    layout->addLayout(bottom);

    QWidget* order[] = { kindBox, characterBox, periodBox, chart, averageButton, accuracyButton,
        fingerColouring, keyboard, tabs, table, practiseButton, exportButton, importButton, closeButton };
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    connect(characterBox, &QComboBox::currentIndexChanged, this, [this] {
        if (m_syncing)
            return;
        chooseCharacter(chosenCharacter());
    });
    connect(kindBox, &QComboBox::currentIndexChanged, this, [this] {
        if (m_syncing)
            return;
        const QVariant rows = kindBox->currentData();
        m_tally.chooseKind(
            rows.isValid() ? figures::KindChoice(rows.toByteArray().toStdString()) : std::nullopt);
        refresh();
    });
    connect(periodBox, &QComboBox::currentIndexChanged, this, [this] { refresh(); });
    connect(keyboard, &KeyboardView::characterChosen, this, [this](unsigned char code) {
        if (keyboard->colouring() == KeyboardView::Colouring::Finger && isPracticeCode(code))
            fingers->chooseFinger(fingers->map().finger(code));
        chooseCharacter(code);
    });
    connect(table->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
        [this](const QModelIndex& current) {
            if (!m_syncing && current.isValid())
                chooseCharacter(model->codeAt(current.row()));
        });
    connect(colouring, &QButtonGroup::buttonToggled, this, [this](QAbstractButton* button, bool on) {
        if (!on)
            return;
        if (button == fingerColouring) {
            showFingerColours();
            return;
        }
        keyboard->setColouring(
            button == averageButton ? KeyboardView::Colouring::Average : KeyboardView::Colouring::Accuracy);
    });
    connect(practiseButton, &QPushButton::clicked, this, [this] { practise(); });
    connect(exportButton, &QPushButton::clicked, this, [this] { exportCsv(); });
    connect(importButton, &QPushButton::clicked, this, [this] { importHistory(); });
    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);
}

unsigned char ProgressWindow::chosenCharacter() const
{
    return static_cast<unsigned char>(characterBox->currentData().toInt());
}

void ProgressWindow::chooseCharacter(unsigned char code)
{
    if (code != 0 && !isPracticeCode(code))
        code = 0;
    m_syncing = true;
    characterBox->setCurrentIndex(code ? code - FirstCode + 1 : 0);
    keyboard->setSelected(code);
    const int row = code ? model->rowOf(code) : -1;
    if (row >= 0)
        table->setCurrentIndex(model->index(row, 0));
    else
        table->clearSelection();
    m_syncing = false;
    updateChart();
}

void ProgressWindow::showAndRaise()
{
    if (!m_loaded)
        reload();
    if (!m_placed) {
        m_placed = true;
        // The first time, beside the main window rather than over it.
        m_placement.restore(m_options.iniPath, parentWidget());
    }
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    activateWindow();
}

void ProgressWindow::reload()
{
    m_loaded = true;
    figures::KindChoice kind = m_tally.kind();
    m_tally = {};
    m_tally.chooseKind(std::move(kind));
    m_skipped = 0;
    m_digestWanted = static_cast<bool>(m_options.readDigest);
    drillRecorded();
}

void ProgressWindow::drillRecorded()
{
    QString problem;
    try {
        if (m_digestWanted) {
            history::HistoryDigest digest = m_options.readDigest();
            m_skipped = digest.skipped;
            m_tally.load(std::move(digest));
            m_digestWanted = false;
        }
        if (m_options.readDrills) {
            std::vector<history::DrillRecord> drills = m_options.readDrills(m_tally.lastId(), m_skipped);
            // Drills another copy merged in started among those shown: all of them afresh, once.
            if (!m_tally.inTimeOrder(drills) && m_options.readDigest) {
                history::HistoryDigest digest = m_options.readDigest();
                m_skipped = digest.skipped;
                m_tally.load(std::move(digest));
                drills = m_options.readDrills(m_tally.lastId(), m_skipped);
            }
            m_tally.add(drills);
        }
        fingers->forget(); // their answers are read with the kind's when next shown
    } catch (const std::exception& error) {
        // Shown in the window itself: the box would come at every drill's end.
        problem = QStringLiteral("記録を読めません: %1").arg(whatText(error));
    }
    refresh();
    if (!problem.isEmpty())
        statusLabel->setText(problem);
}

void ProgressWindow::drillRecorded(const history::DrillRecord& drill, const BestTimes& best)
{
    // The history gives each drill the id after the highest stored: the one after the last the
    // window holds means that none came between them.
    if (!m_loaded || m_digestWanted || drill.id != m_tally.lastId() + 1
        || !m_tally.inTimeOrder({ &drill, 1 })) {
        drillRecorded();
        return;
    }
    m_tally.add(drill);
    fingers->addDrill(drill);
    refresh(&best);
}

void ProgressWindow::refresh(const BestTimes* best)
{
    BestTimes read {};
    if (!best && m_options.readBest) {
        try {
            read = m_options.readBest();
        } catch (const std::exception&) {
            // The bests are shown as missing; the main window reports the file's trouble itself.
        }
    }
    listKinds();
    // Every figure on screen speaks of the same days: the table, the fingers and the chart.
    const int64_t from = periodStart();
    m_tally.choosePeriod(from);
    fingers->setPeriod(from);
    m_summaries = m_tally.summaries(best ? *best : read);
    m_weak = figures::weakKeys(m_summaries);
    m_pool = figures::weakKeyPool(m_weak);
    fingers->setKind(m_tally.kind());
    fingers->setWeakKeys(m_weak, m_summaries);
    if (keyboard->colouring() == KeyboardView::Colouring::Finger)
        fingers->load(true); // the slow finger of the kind now shown

    // Before the chart: reading a character's drills for it may have a problem to say.
    showStatus();
    keyboard->setSummaries(m_summaries);
    const unsigned char chosen = chosenCharacter();
    model->setSummaries(m_summaries, m_weak);
    fitTableWidth();
    chooseCharacter(chosen);

    const bool any = !m_pool.empty();
    practiseButton->setEnabled(any);
    practiseNote->setText(practiseNoteText());
    practiseButton->setToolTip(any
            ? QStringLiteral("遅いキー・間違えやすいキーを多めに出して練習を準備します")
            : practiseNote->text());
    exportButton->setEnabled(m_tally.drillCount() > 0);
}

int64_t ProgressWindow::nowUtcMs() const
{
    return m_options.nowUtcMs ? m_options.nowUtcMs() : QDateTime::currentMSecsSinceEpoch();
}

void ProgressWindow::listKinds()
{
    const int64_t now = nowUtcMs();
    if (!m_kindDefaulted && m_tally.drillCount() > 0) {
        m_kindDefaulted = true;
        m_tally.chooseKind(m_tally.defaultKind(now));
    }
    m_syncing = true;
    kindBox->clear();
    kindBox->addItem(QStringLiteral("すべて"));
    int current = 0;
    for (const figures::KindCount& kind : m_tally.kinds(now)) {
        kindBox->addItem(QStringLiteral("%1 (%2 回)")
                             .arg(QString::fromUtf8(figures::kindName(kind.rows)))
                             .arg(kind.drills),
            QByteArray::fromStdString(kind.rows));
        if (m_tally.kind() == kind.rows)
            current = kindBox->count() - 1;
    }
    // A kind no longer in the history (read again) gives way to every kind.
    if (current == 0)
        m_tally.chooseKind(std::nullopt);
    kindBox->setCurrentIndex(current);
    kindBox->view()->setMinimumWidth(kindBox->view()->sizeHintForColumn(0) + 2 * kindBox->view()->frameWidth()
        + kindBox->view()->verticalScrollBar()->sizeHint().width());
    m_syncing = false;
}

void ProgressWindow::fitTableWidth()
{
    // As wide as every column's header and texts, and the scroll bar that many characters bring.
    const QAbstractItemView* view = table; // the view's hint is public as an item view's
    int needed = 2 * table->frameWidth() + table->verticalScrollBar()->sizeHint().width() + TableSlack;
    for (int column = 0; column < WeakKeysModel::ColumnCount; ++column)
        needed
            += std::max(view->sizeHintForColumn(column), table->horizontalHeader()->sectionSizeHint(column));
    // The tab that holds it, and the widest of the finger view's tables.
    m_tableNeeds = std::max(needed, fingers->neededWidth())
        + 2 * tabs->style()->pixelMetric(QStyle::PM_DefaultFrameWidth) + 8;
    shareMiddle();
}

void ProgressWindow::shareMiddle()
{
    // The table takes the width its columns need and the keyboard the rest, down to the least the
    // keyboard takes: below that they share what there is. So at the designed size the table's
    // last column is never hidden behind a scroll bar. Stretches, not a minimum width, so that the
    // window still shrinks to the least size its placement allows.
    if (!m_middle || m_tableNeeds <= 0)
        return;
    const QMargins margins = layout()->contentsMargins();
    const int shared = std::max(width(), 1) - margins.left() - margins.right() - m_middle->spacing();
    // The keyboard's column is as wide as its colouring switches at least.
    const int keyboardLeast
        = std::max(keyboard->minimumSizeHint().width(), m_middle->itemAt(0)->minimumSize().width());
    const int keyboardShare = std::max(shared - m_tableNeeds, keyboardLeast);
    const int tableShare = std::max(std::min(m_tableNeeds, shared - keyboardShare), 1);
    if (m_middle->stretch(0) != keyboardShare || m_middle->stretch(1) != tableShare) {
        m_middle->setStretch(0, keyboardShare);
        m_middle->setStretch(1, tableShare);
    }
}

void ProgressWindow::showStatus()
{
    QString status = m_tally.drillCount() == 0 ? QStringLiteral("まだ記録がありません")
                                               : QStringLiteral("練習 %1 回の記録").arg(m_tally.drillCount());
    if (m_tally.drillCount() > 0 && periodBox->currentData().toInt() > 0)
        status += QStringLiteral("（この期間 %1 回）").arg(m_tally.drillsInPeriod());
    if (m_skipped > 0)
        status += QStringLiteral("。壊れた記録 %1 件を読み飛ばしました").arg(m_skipped);
    const QString readOnly = m_options.readOnlyReason ? m_options.readOnlyReason() : QString();
    if (!readOnly.isEmpty())
        status += QStringLiteral("。読み取りのみ: %1").arg(readOnly);
    if (const std::size_t waiting = m_options.waitingDrills ? m_options.waitingDrills() : 0; waiting > 0)
        status += QStringLiteral("。記録待ち %1 回").arg(waiting);
    if (const QString& fingerMap = fingers->mapStatus(); !fingerMap.isEmpty())
        status += QStringLiteral("。") + fingerMap;
    statusLabel->setText(status);
}

void ProgressWindow::updateChart()
{
    const unsigned char code = chosenCharacter();
    QString subject
        = code ? QStringLiteral("文字 %1").arg(characterText(code)) : QStringLiteral("すべての文字");
    if (m_tally.kind())
        subject += QStringLiteral("、%1").arg(QString::fromUtf8(figures::kindName(*m_tally.kind())));
    if (!m_tally.knowsAllDrillsOf(code) && m_options.readKeyDrills) {
        try {
            std::size_t skipped = 0;
            m_tally.fillKey(code, m_options.readKeyDrills(code, m_tally.lastId(), skipped));
            if (skipped > 0) {
                m_skipped += skipped;
                showStatus();
            }
        } catch (const std::exception& error) {
            statusLabel->setText(QStringLiteral("記録を読めません: %1").arg(whatText(error)));
        }
    }
    const int days = periodBox->currentData().toInt();
    const int64_t now = nowUtcMs();
    const int64_t from = periodStart();
    // Only the character's latest drills would be a misleading chart: none until all are read.
    figures::Series series;
    if (m_tally.knowsAllDrillsOf(code))
        series = figures::timeSeries(m_tally.series(code, localDayOf(), SIZE_MAX), from, now, localDayOf());
    std::optional<ProgressChart::TimeSpan> span;
    if (days > 0)
        span = ProgressChart::TimeSpan { from, now };
    chart->setSeries(std::move(series), subject, span);
}

int64_t ProgressWindow::periodStart() const
{
    // A period is the days up to today, today included, from the start of the first of them.
    const int days = periodBox->currentData().toInt();
    return days > 0
        ? QDateTime::fromMSecsSinceEpoch(nowUtcMs()).date().addDays(1 - days).startOfDay().toMSecsSinceEpoch()
        : INT64_MIN;
}

void ProgressWindow::practise()
{
    if (m_pool.empty() || !m_options.practise)
        return;
    const QString refused = m_options.practise(m_pool);
    practiseNote->setText(refused.isEmpty() ? practiseNoteText() : refused);
}

QString ProgressWindow::practiseNoteText() const
{
    if (!m_weak.empty() && !figures::anyWeak(m_weak))
        return QStringLiteral("はっきり苦手なキーはまだありません。") + poolText(m_weak);
    if (!m_weak.empty())
        return poolText(m_weak);
    if (m_summaries.empty())
        return QStringLiteral("まだ記録がありません。練習を一度終えると使えます。");
    if (!figures::anyAnswersKept(m_summaries)) // a history from before answers were kept
        return QStringLiteral("まだ苦手なキーを選べません: 最近の練習で %1 回以上答えた文字から選びます。")
            .arg(figures::MinAnswers);
    return QStringLiteral("まだ苦手なキーを選べません: 答えを %1 回以上記録した文字から選びます。")
        .arg(figures::EnoughAnswers);
}

// The fingers: two more tabs beside the weak keys, and the keyboard's finger colouring.

void ProgressWindow::createFingerView(QVBoxLayout* weakPage, QHBoxLayout* middle)
{
    FingerView::Options options;
    options.readAnswers = m_options.readAnswers;
    options.practise = m_options.practiseAs;
    options.iniPath = m_options.iniPath;
    fingers = new FingerView(std::move(options), this);
    tabs = new QTabWidget(this);
    auto* page = new QWidget(tabs);
    weakPage->setContentsMargins(4, 4, 4, 4); // as the finger pages: fitTableWidth() counts on it
    page->setLayout(weakPage);
    tabs->addTab(page, QStringLiteral("苦手なキー"));
    tabs->addTab(fingers->fingerPage, QStringLiteral("指と手(&H)"));
    tabs->addTab(fingers->transitionPage, QStringLiteral("つなぎ(&J)"));
    middle->addWidget(tabs, 4);
    connect(fingers, &FingerView::figuresChanged, this, [this] {
        fitTableWidth(); // the figures' texts may be wider than the dashes
        if (keyboard->colouring() == KeyboardView::Colouring::Finger)
            keyboard->setFingers(fingers->map(), fingers->slowFinger());
    });
    connect(fingers, &FingerView::problem, this, [this](const QString& text) { statusLabel->setText(text); });
}

void ProgressWindow::showFingerColours()
{
    // The slow finger's outline needs the figures: read now, when the learner asks for them.
    fingers->load(true);
    keyboard->setFingers(fingers->map(), fingers->slowFinger());
    keyboard->setColouring(KeyboardView::Colouring::Finger);
    if (const unsigned char code = chosenCharacter(); code && !fingers->chosenFinger())
        fingers->chooseFinger(fingers->map().finger(code));
    if (tabs->currentWidget() != fingers->transitionPage)
        tabs->setCurrentWidget(fingers->fingerPage);
}

std::size_t ProgressWindow::exportCsvTo(const QString& path) const
{
#ifdef _WIN32
    // The program's paths are UTF-8 on Windows, whatever the ANSI code page cannot hold.
    const std::string target = path.toStdString();
#else
    const std::string target = QFile::encodeName(path).toStdString();
#endif
    return history::exportHistoryFile(m_options.historyPath, target);
}

void ProgressWindow::exportCsv()
{
    const QString suggested = QDir::home().filePath(
        QStringLiteral("touchdrill-%1.csv").arg(QDate::currentDate().toString(QStringLiteral("yyyyMMdd"))));
    QString path;
    if (m_options.askExportPath) {
        path = m_options.askExportPath(this, suggested);
    } else {
        path = QFileDialog::getSaveFileName(
            this, QStringLiteral("練習の記録を書き出す"), suggested, QStringLiteral("CSV (*.csv)"));
    }
    if (path.isEmpty())
        return;
    guarded([this, &path] {
        const std::size_t unreadable = exportCsvTo(path);
        QString status = QStringLiteral("%1 に書き出しました").arg(QDir::toNativeSeparators(path));
        if (unreadable > 0)
            status += QStringLiteral("（%1）").arg(
                QString::fromStdString(history::unreadableReport(unreadable)));
        statusLabel->setText(status);
    });
}

void ProgressWindow::importFrom(const QString& path)
{
#ifdef _WIN32
    const std::string other = path.toStdString(); // UTF-8, as exportCsvTo() passes it
#else
    const std::string other = QFile::encodeName(path).toStdString();
#endif
    // A million drills take minutes to merge: the merge runs beside the event loop, which shows
    // how far it is and takes 「中止」; the windows stay responsive (a drill that ends meanwhile
    // waits for the history, see HistoryRecorder).
    struct Shared {
        std::atomic<std::size_t> done { 0 };
        std::atomic<std::size_t> total { 0 };
        std::atomic<bool> cancel { false };
        std::atomic<bool> finished { false };
        history::ImportResult result;
        std::exception_ptr failure;
    };
    auto shared = std::make_shared<Shared>();
    history::ImportOptions options;
    options.progress = [shared](std::size_t done, std::size_t total) {
        shared->total = total;
        shared->done = done;
        return !shared->cancel;
    };
    std::thread worker([shared, options, historyPath = m_options.historyPath, other] {
        try {
            shared->result = history::importHistory(historyPath, other, options);
        } catch (...) {
            shared->failure = std::current_exception();
        }
        shared->finished = true;
    });
    QProgressDialog dialog(
        QStringLiteral("練習の記録を取り込んでいます…"), QStringLiteral("中止"), 0, 0, this);
    dialog.setWindowTitle(windowTitle());
    dialog.setWindowModality(Qt::WindowModal);
    dialog.setMinimumDuration(500);
    dialog.setAutoReset(false);
    dialog.setAutoClose(false);
    // The dialog shows after half a second: till then the button must not start a second merge.
    importButton->setEnabled(false);
    QEventLoop loop;
    QTimer poll;
    connect(&dialog, &QProgressDialog::canceled, &loop, [shared] { shared->cancel = true; });
    connect(&poll, &QTimer::timeout, &loop, [&] {
        if (shared->finished) {
            loop.quit();
            return;
        }
        const std::size_t total = shared->total;
        if (total > 0 && dialog.maximum() != static_cast<int>(std::min<std::size_t>(total, INT_MAX)))
            dialog.setMaximum(static_cast<int>(std::min<std::size_t>(total, INT_MAX)));
        dialog.setValue(static_cast<int>(std::min<std::size_t>(shared->done, INT_MAX)));
    });
    poll.start(50);
    if (!shared->finished)
        loop.exec();
    // The program may be ending (every loop is told to quit): nothing of the merge is kept then.
    if (!shared->finished)
        shared->cancel = true;
    worker.join();
    importButton->setEnabled(true);
    poll.stop();
    dialog.reset();
    dialog.hide();
    if (shared->failure) {
        try {
            std::rethrow_exception(shared->failure);
        } catch (const history::ImportCancelled& cancelled) {
            statusLabel->setText(QString::fromUtf8(cancelled.what()));
            return;
        }
    }
    const history::ImportResult& result = shared->result;
    reload();
    statusLabel->setText(QStringLiteral("%1: %2").arg(
        QDir::toNativeSeparators(path), QString::fromStdString(history::importReport(result))));
}

void ProgressWindow::importHistory()
{
    QString path;
    if (m_options.askImportPath) {
        path = m_options.askImportPath(this);
    } else {
        path = QFileDialog::getOpenFileName(this, QStringLiteral("取り込む練習の記録"), QDir::homePath(),
            QStringLiteral("練習の記録 (*.sqlite);;すべてのファイル (*)"));
    }
    if (path.isEmpty())
        return;
    guarded([this, &path] { importFrom(path); });
}

// Placement: the same rules as the main window's, in a section of its own.

void ProgressWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    m_placement.shown();
}

void ProgressWindow::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    m_placement.movedOrResized();
}

void ProgressWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    shareMiddle();
    m_placement.movedOrResized();
}

void ProgressWindow::savePlacement()
{
    if (!m_placed)
        return;
    guarded([this] { m_placement.save(m_options.iniPath); });
}

void ProgressWindow::closeEvent(QCloseEvent* event)
{
    if (isVisible())
        savePlacement();
    event->accept();
}

bool ProgressWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == parent() && event->type() == QEvent::Close && isVisible()) {
        savePlacement();
        hide();
    }
    return false;
}

} // namespace touchdrill
