// SPDX-License-Identifier: GPL-3.0-or-later
// The progress window's fingers: reading the answers on demand, the tables and the two drills.
#include "progress/fingerview.h"

#include "progress/progresstext.h"

#include <algorithm>
#include <span>

#include <QAbstractItemView>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QVBoxLayout>

#include <cmath>

namespace touchdrill {

namespace {

const QString Dash = QStringLiteral("—");

// "182 ms (175–190)": the median with its 95 % interval, or a dash.
QString medianText(const std::optional<figures::Estimate>& median)
{
    if (!median)
        return Dash;
    QString text = msText(median->value);
    if (median->interval)
        text += QStringLiteral(" (%1–%2)")
                    .arg(std::llround(median->interval->low))
                    .arg(std::llround(median->interval->high));
    return text;
}

// "96.1% (95.0–97.0)".
QString accuracyText(const std::optional<figures::Estimate>& accuracy)
{
    if (!accuracy)
        return Dash;
    QString text = percentText(accuracy->value);
    if (accuracy->interval)
        text += QStringLiteral(" (%1–%2)")
                    .arg(accuracy->interval->low * 100, 0, 'f', 1)
                    .arg(accuracy->interval->high * 100, 0, 'f', 1);
    return text;
}

QTableWidget* newTable(const QStringList& headers, int rows, QWidget* parent)
{
    auto* table = new QTableWidget(rows, static_cast<int>(headers.size()), parent);
    table->setHorizontalHeaderLabels(headers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setTabKeyNavigation(false);
    table->verticalHeader()->hide();
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 6);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table->setAlternatingRowColors(true);
    // The header and a row at the least, so that the window's least height stays what the weak
    // keys' table asks: the rest scrolls.
    table->setMinimumHeight(table->horizontalHeader()->sizeHint().height()
        + table->verticalHeader()->defaultSectionSize() + 2 * table->frameWidth());
    return table;
}

void setCell(QTableWidget* table, int row, int column, const QString& text)
{
    QTableWidgetItem* item = table->item(row, column);
    if (!item) {
        item = new QTableWidgetItem;
        if (column > 0)
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        table->setItem(row, column, item);
    }
    item->setText(text);
}

int tableWidth(QTableWidget* table)
{
    // Measured as it will be painted, though its page may never have been shown yet.
    table->ensurePolished();
    const QAbstractItemView* view = table;
    int width = 2 * table->frameWidth() + table->verticalScrollBar()->sizeHint().width() + 4;
    for (int column = 0; column < table->columnCount(); ++column)
        width
            += std::max(view->sizeHintForColumn(column), table->horizontalHeader()->sectionSizeHint(column));
    return width;
}

} // namespace

FingerView::FingerView(Options options, QWidget* parent)
    : QObject(parent)
    , m_options(std::move(options))
{
    createPages(parent);
}

void FingerView::createPages(QWidget* parent)
{
    fingerPage = new QWidget(parent);
    auto* fingers = new QVBoxLayout(fingerPage);
    sentenceLabel = new QLabel(fingerPage);
    sentenceLabel->setWordWrap(true);
    fingerTable = newTable({ QStringLiteral("指"), QStringLiteral("中央値 (95% 区間)"),
                               QStringLiteral("正確さ (95% 区間)"), QStringLiteral("回数") },
        FingerRowCount, fingerPage);
    for (int row = 0; row < FingerRowCount; ++row) {
        const QString name = row < HandRow
            ? QString::fromStdString(figures::fingerName(static_cast<figures::Finger>(row)))
            : row < AllRow
            ? QString::fromStdString(figures::handName(static_cast<figures::Hand>(row - HandRow)))
            : QStringLiteral("すべて");
        setCell(fingerTable, row, Name, name);
        for (int column = Median; column < FingerColumnCount; ++column)
            setCell(fingerTable, row, column, Dash);
    }
    auto* fingerRow = new QHBoxLayout;
    fingerButton = new QPushButton(QStringLiteral("この指を練習(&G)"), fingerPage);
    fingerButton->setAutoDefault(false);
    fingerNote = new QLabel(fingerPage);
    fingerNote->setWordWrap(true);
    fingerRow->addWidget(fingerButton);
    fingerRow->addWidget(fingerNote, 1);
    fingers->addWidget(sentenceLabel);
    fingers->addWidget(fingerTable, 1);
    fingers->addLayout(fingerRow);

    transitionPage = new QWidget(parent);
    auto* transitions = new QVBoxLayout(transitionPage);
    transitionTable = newTable(
        { QStringLiteral("前のキーから"), QStringLiteral("中央値 (95% 区間)"), QStringLiteral("回数") },
        static_cast<int>(2 * figures::TransitionCount), transitionPage);
    for (std::size_t t = 0; t < figures::TransitionCount; ++t)
        for (const bool shift : { false, true }) {
            const int row = static_cast<int>(2 * t + shift);
            setCell(transitionTable, row, 0,
                QString::fromStdString(figures::transitionName(static_cast<figures::Transition>(t), shift)));
            setCell(transitionTable, row, 1, Dash);
            setCell(transitionTable, row, 2, Dash);
        }
    transitionTable->setSelectionMode(QAbstractItemView::NoSelection);
    pairTable = newTable(
        { QStringLiteral("遅い組み合わせ"), QStringLiteral("中央値 (95% 区間)"), QStringLiteral("回数") }, 0,
        transitionPage);
    pairTable->setSelectionMode(QAbstractItemView::NoSelection);
    auto* pairsRow = new QHBoxLayout;
    pairsButton = new QPushButton(QStringLiteral("苦手な組み合わせを練習(&B)"), transitionPage);
    pairsButton->setAutoDefault(false);
    pairsButton->setToolTip(QStringLiteral(
        "苦手なキーのうち、特定の前のキーから遅くなるキーを、その前のキーとともに多めに出します"));
    pairsNote = new QLabel(transitionPage);
    pairsNote->setWordWrap(true);
    pairsRow->addWidget(pairsButton);
    pairsRow->addWidget(pairsNote, 1);
    transitions->addWidget(transitionTable, 1);
    transitions->addWidget(pairTable, 1);
    transitions->addLayout(pairsRow);

    for (QWidget* page : { fingerPage, transitionPage }) {
        page->layout()->setContentsMargins(4, 4, 4, 4);
        page->installEventFilter(this);
    }
    connect(fingerTable, &QTableWidget::currentCellChanged, this, [this] { showFingerNote(); });
    connect(fingerButton, &QPushButton::clicked, this, [this] { practiseFinger(); });
    connect(pairsButton, &QPushButton::clicked, this, [this] { practisePairs(); });
    showFigures();
}

const figures::FingerMap& FingerView::map()
{
    if (!m_map) {
        try {
            figures::FingerMap::Applied applied = m_options.iniPath.empty()
                ? figures::FingerMap::Applied { figures::FingerMap::standard(), {} }
                : figures::fingerMapFromIni(m_options.iniPath);
            m_map = applied.map;
            m_mapStatus = QString::fromStdString(applied.status);
        } catch (const std::exception& error) {
            // An INI that cannot be read leaves the standard map, and says so.
            m_map = figures::FingerMap::standard();
            m_mapStatus = QStringLiteral("[Fingers] を読めません: %1").arg(QString::fromUtf8(error.what()));
        }
    }
    return *m_map;
}

const QString& FingerView::mapStatus()
{
    map();
    return m_mapStatus;
}

void FingerView::setKind(const figures::KindChoice& kind)
{
    if (kind == m_kind)
        return;
    m_kind = kind;
    forget();
}

void FingerView::setPeriod(int64_t fromUtcMs)
{
    if (fromUtcMs == m_fromUtcMs)
        return;
    m_fromUtcMs = fromUtcMs;
    if (m_loaded)
        recompute(); // the answers held are the latest the figures take: a period only narrows them
}

void FingerView::setWeakKeys(
    const std::vector<figures::WeakKey>& weak, std::vector<figures::KeySummary> summaries)
{
    m_weak = weak;
    m_summaries = std::move(summaries);
    showFigures();
}

void FingerView::addDrill(const history::DrillRecord& drill)
{
    if (!m_loaded || !drill.answers || !m_kind || drill.rows != *m_kind)
        return;
    m_drills.push_back({ drill.id, *drill.answers, drill.startedUtcMs, drill.endedUtcMs });
    // The oldest drills that the window no longer reaches are let go.
    std::size_t held = 0;
    for (const history::DrillAnswers& kept : m_drills)
        held += kept.answers.size();
    while (!m_drills.empty() && held - m_drills.front().answers.size() >= figures::FingerWindow) {
        held -= m_drills.front().answers.size();
        m_drills.erase(m_drills.begin());
    }
    recompute();
}

void FingerView::forget()
{
    m_loaded = false;
    m_drills.clear();
    const bool had = m_figures.has_value();
    m_figures.reset();
    if (shown())
        load();
    else if (had)
        emit figuresChanged();
    showFigures();
}

bool FingerView::shown() const
{
    return fingerPage->isVisible() || transitionPage->isVisible();
}

void FingerView::load(bool evenHidden)
{
    if (m_loaded || !m_kind || !m_options.readAnswers || !(evenHidden || shown()))
        return;
    try {
        m_drills = m_options.readAnswers(*m_kind, figures::FingerWindow);
    } catch (const std::exception& error) {
        m_drills.clear();
        emit problem(QStringLiteral("記録を読めません: %1").arg(QString::fromUtf8(error.what())));
        return; // tried again when next shown
    }
    m_loaded = true;
    recompute();
}

bool FingerView::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Show && (watched == fingerPage || watched == transitionPage)) {
        const bool first = !m_everShown;
        m_everShown = true;
        load();
        if (first)
            emit figuresChanged(); // the width the tables need is now measured
    }
    return false;
}

void FingerView::recompute()
{
    const auto first = std::partition_point(m_drills.begin(), m_drills.end(),
        [this](const history::DrillAnswers& drill) { return drill.startedUtcMs < m_fromUtcMs; });
    m_figures = figures::fingerFigures(std::span(first, m_drills.end()), map());
    showFigures();
    emit figuresChanged();
}

std::optional<figures::Finger> FingerView::slowFinger() const
{
    if (!m_figures || !m_figures->slowFinger)
        return std::nullopt;
    return m_figures->slowFinger->finger;
}

std::optional<figures::Finger> FingerView::chosenFinger() const
{
    const int row = fingerTable->currentRow();
    if (row < 0 || row >= HandRow)
        return std::nullopt;
    return static_cast<figures::Finger>(row);
}

void FingerView::chooseFinger(figures::Finger finger)
{
    fingerTable->setCurrentCell(static_cast<int>(figures::indexOf(finger)), 0);
}

int FingerView::neededWidth() const
{
    if (!m_everShown)
        return 0; // measured once a page is shown: the window's opening is spared it
    const QMargins margins = fingerPage->layout()->contentsMargins();
    return std::max({ tableWidth(fingerTable), tableWidth(transitionTable), tableWidth(pairTable) })
        + margins.left() + margins.right();
}

void FingerView::showFigures()
{
    // The finger table.
    const figures::FingerFigures* figures = m_figures ? &*m_figures : nullptr;
    for (int row = 0; row < FingerRowCount; ++row) {
        const figures::GroupFigures* group = !figures ? nullptr
            : row < HandRow                           ? &figures->fingers[static_cast<std::size_t>(row)]
            : row < AllRow ? &figures->hands[static_cast<std::size_t>(row - HandRow)]
                           : &figures->all;
        setCell(fingerTable, row, Median, group ? medianText(group->median) : Dash);
        setCell(fingerTable, row, Accuracy, group ? accuracyText(group->accuracy) : Dash);
        setCell(fingerTable, row, Answers, group && group->timed > 0 ? QString::number(group->timed) : Dash);
    }
    QString sentence;
    if (!m_kind)
        sentence = QStringLiteral("練習の種類を選ぶと表示します。");
    else if (figures && figures->all.timed == 0)
        sentence = QStringLiteral("この種類の練習には、答えごとの記録がまだありません。");
    else if (figures)
        sentence = QString::fromStdString(figures::slowFingerSentence(*figures));
    sentenceLabel->setText(sentence);
    sentenceLabel->setVisible(!sentence.isEmpty());

    // The transitions and the slowest pairs.
    for (std::size_t t = 0; t < figures::TransitionCount; ++t)
        for (const bool shift : { false, true }) {
            const int row = static_cast<int>(2 * t + shift);
            const figures::TimeGroup* group = figures ? &figures->transitions[t][shift] : nullptr;
            setCell(transitionTable, row, 1, group ? medianText(group->median) : Dash);
            setCell(
                transitionTable, row, 2, group && group->timed > 0 ? QString::number(group->timed) : Dash);
        }
    const std::vector<figures::PairFigures> none;
    const std::vector<figures::PairFigures>& pairs = figures ? figures->slowestPairs : none;
    pairTable->setRowCount(static_cast<int>(pairs.size()));
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        const int row = static_cast<int>(i);
        setCell(pairTable, row, 0,
            QStringLiteral("%1 → %2").arg(characterText(pairs[i].previous), characterText(pairs[i].target)));
        setCell(pairTable, row, 1, medianText(pairs[i].median));
        setCell(pairTable, row, 2, QString::number(pairs[i].timed));
    }
    // The slowest of many are mostly the luckiest draws: said, with how many they were picked from.
    pairTable->setToolTip(figures
            ? QStringLiteral(
                "答えが %1 回以上ある %2 組のうち、いちばん遅い %3 組。多くの組から選ぶと偶然遅く"
                "出た組が並ぶので、中央値は前のキーによらないときの値へ、答えの少なさに応じて寄せた"
                "推定です (答えの中央値はセルのヒントに)")
                  .arg(figures::MinPairAnswers)
                  .arg(figures->pairsRanked)
                  .arg(pairs.size())
            : QString());
    for (std::size_t i = 0; i < pairs.size(); ++i)
        pairTable->item(static_cast<int>(i), 1)
            ->setToolTip(QStringLiteral("答えの中央値 %1").arg(msText(pairs[i].answersMedian)));

    const std::string pool = pairsPool();
    pairsButton->setEnabled(!pool.empty());
    // Pairs take months of answers: until then the transitions above are what there is, said plainly.
    QString pairsState;
    if (figures && figures->all.timed > 0 && figures->pairsRanked == 0)
        pairsState = QStringLiteral("組み合わせの表には一組あたり %1 回の答えが要ります (いまいちばん多い組で"
                                    " %2 回)。それまでは上のつなぎの表が目安です。")
                         .arg(figures::MinPairAnswers)
                         .arg(figures->mostPairAnswers);
    else if (figures && std::ranges::none_of(figures->slowFrom, [](unsigned char from) { return from != 0; }))
        pairsState = QStringLiteral("前のキーで遅くなるキーはまだ見つかっていません。");
    if (!figures)
        pairsNote->setText(m_kind ? QString() : QStringLiteral("練習の種類を選ぶと使えます。"));
    else if (pool.empty())
        pairsNote->setText(pairsState + QStringLiteral("まだ苦手なキーを選べません。"));
    else if (!pairsState.isEmpty())
        pairsNote->setText(pairsState + QStringLiteral("いまは苦手なキーの練習と同じです。")
            + poolText(figures::pairWeakKeys(m_weak, *m_figures)));
    else
        pairsNote->setText(poolText(figures::pairWeakKeys(m_weak, *m_figures)));
    showFingerNote();
}

void FingerView::showFingerNote()
{
    const std::optional<figures::Finger> finger = chosenFinger();
    const std::string pool = finger ? figures::fingerPool(map(), *finger, m_summaries) : std::string();
    // [Fingers] may have given every key of a finger to others: nothing to practise then.
    fingerButton->setEnabled(!pool.empty());
    if (!finger) {
        fingerNote->setText(QStringLiteral("表かキーボード (指の色分け) で指を選びます。"));
        return;
    }
    if (pool.empty()) {
        fingerNote->setText(QStringLiteral("%1: キーがありません（[Fingers] の設定）")
                                .arg(QString::fromStdString(figures::fingerName(*finger))));
        return;
    }
    fingerNote->setText(QStringLiteral("%1: %2").arg(QString::fromStdString(figures::fingerName(*finger)),
        poolText(figures::fingerKeys(map(), *finger, m_summaries))));
}

std::string FingerView::pairsPool() const
{
    if (!m_figures)
        return {};
    return figures::weakKeyPool(figures::pairWeakKeys(m_weak, *m_figures));
}

void FingerView::practiseFinger()
{
    const std::optional<figures::Finger> finger = chosenFinger();
    if (!finger || !m_options.practise)
        return;
    const QString refused
        = m_options.practise(figures::fingerPool(map(), *finger, m_summaries), figures::fingerRows(*finger));
    if (!refused.isEmpty())
        fingerNote->setText(refused);
}

void FingerView::practisePairs()
{
    const std::string pool = pairsPool();
    if (pool.empty() || !m_options.practise)
        return;
    const QString refused = m_options.practise(pool, std::string(PairsRows));
    if (!refused.isEmpty())
        pairsNote->setText(refused);
}

} // namespace touchdrill
