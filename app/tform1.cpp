// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/tform1.h"

#include "app/apptext.h"
#include "app/blockprogressbar.h"
#include "app/resultdelegate.h"
#include "drill/drillkinds.h"
#include "drill/palette.h"
#include "history/historyrecorder.h"
#include "progress/progresswindow.h"
#include "results/chartpainter.h"
#include "results/resultline.h"
#include "results/showresults.h"
#include "settings/filenames.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QTimer>

#include <algorithm>

namespace touchdrill {

namespace {

// How long the close waits for a history another copy holds, for the drills that wait to go in,
// and how often they are tried meanwhile, without waiting (a crash loses only what waits).
constexpr int ClosePatienceMs = 3000;
constexpr int WaitingRetryMs = 2000;
constexpr int DesignedWidth = 369; // outer size, frame included
constexpr int DesignedHeight = 422;
constexpr int PanelWidth = 257;
constexpr int GaugeHeight = 40;
// The least client area a stored size may give the window: the panel whole with every control on
// it (the row group ends 156 pixels down) above the gauge. The list takes any width beyond the
// panel, as it does when the window is sized by hand.
constexpr QSize MinimumClientSize(PanelWidth, 156 + GaugeHeight);
constexpr int GaugePeriod = 10; // ms, the gauge timer

// The first family is the one the layout was designed with; on Linux a Japanese proportional
// gothic from Debian's fonts stands in for it, and on a Windows without the Japanese font pack's
// MS P Gothic, the Japanese fonts every Windows 10 and 11 has. Only the first one installed is
// handed to the fonts: a family that is missing costs a search for substitutes each time a font is
// made from the list.
QStringList windowFamilies()
{
    static const QStringList families = [] {
        const QStringList wanted { QStringLiteral("ＭＳ Ｐゴシック"),
#ifdef Q_OS_WIN
            QStringLiteral("Yu Gothic UI"), QStringLiteral("Meiryo UI"), QStringLiteral("Yu Gothic"),
            QStringLiteral("Meiryo"),
#endif
            QStringLiteral("IPAPGothic"), QStringLiteral("Noto Sans CJK JP"), QStringLiteral("IPAGothic") };
        for (const QString& family : wanted)
            if (QFontDatabase::hasFamily(family))
                return QStringList { family };
        return wanted;
    }();
    return families;
}

QFont windowFont(int pixelHeight)
{
    QFont font;
    font.setFamilies(windowFamilies());
    font.setPixelSize(pixelHeight);
    font.setWeight(QFont::Normal);
    return font;
}

QColor qColor(Rgb colour)
{
    return QColor(colour.r, colour.g, colour.b);
}

void setBackground(QWidget* widget, const QColor& colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

// Each character code is one byte of the window's code page; a byte with no character of its own
// shows as the replacement character.
QString fromBytes(std::string_view text)
{
    QString shown;
    for (const char byte : text) {
        const char32_t ch = shownCharacter(static_cast<unsigned char>(byte)).value_or(U'\uFFFD');
        shown += QString::fromUcs4(&ch, 1);
    }
    return shown;
}

// Sizes a display to its text. An empty display takes no room and is not measured, so its large
// font is not loaded before the first character is shown.
void fitToText(QLabel* label)
{
    if (label->text().isEmpty())
        label->resize(0, 0);
    else
        label->adjustSize();
}

bool isArrow(int key)
{
    return key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Up || key == Qt::Key_Down;
}

// The list the results step fills, on ListBox1.
class ListBoxResults final : public ResultList {
public:
    explicit ListBoxResults(QListWidget* list)
        : m_list(list)
    {
    }
    void clear() override { m_list->clear(); }
    void add(const std::string& line) override
    {
        m_list->addItem(fromBytes(line));
        // A long bar pushes the number out of sight at the designed width: the tip always shows it.
        const std::vector<std::string> fields = parseResultFields(line);
        if (fields.empty())
            return;
        const int64_t best = fields.size() > 2 ? parseFieldNumber(fields[2]) : 0;
        m_list->item(m_list->count() - 1)
            ->setToolTip(QStringLiteral("%1: 平均 %2 ms、自己ベスト %3")
                             .arg(fromBytes(fields[0]))
                             .arg(fields.size() > 1 ? parseFieldNumber(fields[1]) : 0)
                             .arg(best ? QStringLiteral("%1 ms").arg(best) : QStringLiteral("なし")));
    }
    void repaint() override { m_list->viewport()->repaint(); }

private:
    QListWidget* m_list;
};

} // namespace

TForm1::TForm1(Options options, QWidget* parent)
    : QWidget(parent)
    , m_options(std::move(options))
    , m_ownClock(m_options.clock ? nullptr : std::make_unique<SystemClock>())
    , m_drill(*this, m_options.clock ? *m_options.clock : *m_ownClock, processRandom(),
          [this] {
              // The history records the drill whatever became of its results.
              try {
                  ShowResults();
              } catch (...) {
                  recordDrill();
                  throw;
              }
              recordDrill();
          })
    , m_placement(this, "Form", MinimumClientSize)
{
    m_title = QString::fromStdString(touchdrill::applicationTitle(m_options.executablePath));
    if (!m_options.files)
        m_options.files = FileLocations::decide(m_options.executablePath);
    m_bestTimesPath = m_options.files->bestTimes();
    m_placementPath = m_options.files->placement();
    m_history = std::make_unique<history::HistoryRecorder>(m_options.files->history(), m_placementPath);

    createControls();
    guarded([this] { FormCreate(); });
    qApp->installEventFilter(this);
}

TForm1::~TForm1()
{
    qApp->removeEventFilter(this);
}

template <typename Handler> void TForm1::guarded(Handler&& handler)
{
    try {
        handler();
    } catch (const std::exception& error) {
        showError(error);
    } catch (...) {
        showErrorText(QString());
    }
}

void TForm1::createControls()
{
    setWindowTitle(QStringLiteral("タッチタイプ練習"));
    setFont(windowFont(13));
    setBackground(this, qColor(palette::WindowBackground));
    // The window itself takes the focus only when the prepare button gives it up, never by a click
    // on the panel, a label, the group's frame or the gauge.
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_InputMethodEnabled, false);

    // The whole client area scrolls when it is too small for the panel or the gauge.
    m_client = new QScrollArea(this);
    m_client->setFrameShape(QFrame::NoFrame);
    m_client->setFocusPolicy(Qt::NoFocus);
    m_client->setWidgetResizable(true);
    m_dockSite = new QWidget;
    m_dockSite->setMinimumSize(PanelWidth, GaugeHeight);
    setBackground(m_dockSite, qColor(palette::WindowBackground));
    m_client->setWidget(m_dockSite);
    m_client->viewport()->setFocusPolicy(Qt::NoFocus);

    ListBox1 = new QListWidget(m_dockSite);
    ListBox1->setGeometry(264, 0, 89, 337);
    ListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListBox1->setSortingEnabled(false);
    ListBox1->setUniformItemSizes(true);
    ListBox1->setItemDelegate(new ResultDelegate(this));
    ListBox1->setAttribute(Qt::WA_InputMethodEnabled, false);
    // The way to the practice history: the list's menu, and F2 anywhere in the window.
    ListBox1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ListBox1, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QMenu menu(this);
        QAction* open = menu.addAction(QStringLiteral("練習の記録(&H)…"));
        open->setShortcut(QKeySequence(Qt::Key_F2));
        if (menu.exec(ListBox1->viewport()->mapToGlobal(at)) == open)
            openProgress();
    });
    connect(new QShortcut(QKeySequence(Qt::Key_F2), this), &QShortcut::activated, this,
        [this] { openProgress(); });
    {
        QPalette palette = ListBox1->palette();
        palette.setColor(QPalette::Base, qColor(palette::ResultsBackground));
        ListBox1->setPalette(palette);
    }

    Panel1 = new QFrame(m_dockSite);
    Panel1->setGeometry(0, 0, PanelWidth, 337);
    Panel1->setFrameShape(QFrame::Panel);
    Panel1->setFrameShadow(QFrame::Raised);
    Panel1->setLineWidth(1);
    setBackground(Panel1, qColor(palette::DrillPanel));

    Label1 = new QLabel(QStringLiteral("X"), Panel1);
    Label1->move(8, 128);
    Label1->setFont(windowFont(200));
    Label1->setTextFormat(Qt::PlainText);
    setBackground(Label1, qColor(palette::TargetBackground));

    Label2 = new QLabel(QStringLiteral("X"), Panel1);
    Label2->move(200, 256);
    Label2->setFont(windowFont(64));
    Label2->setTextFormat(Qt::PlainText);
    {
        QPalette palette = Label2->palette();
        palette.setColor(QPalette::WindowText, qColor(palette::WrongKeyText));
        Label2->setPalette(palette);
    }
    setBackground(Label2, palette().color(QPalette::Button));

    GroupBox1 = new QGroupBox(QStringLiteral("選択"), Panel1);
    GroupBox1->setGeometry(144, 6, 102, 150);
    auto makeCheckBox = [this](const char* caption, int top, int width) {
        auto* box = new QCheckBox(QString::fromUtf8(caption), GroupBox1);
        box->setGeometry(6, top, width, 17);
        box->setFocusPolicy(Qt::StrongFocus);
        return box;
    };
    CheckBox1 = makeCheckBox(RowCaptions[0], 17, 70);
    CheckBox2 = makeCheckBox(RowCaptions[1], 38, 70);
    CheckBox3 = makeCheckBox(RowCaptions[2], 60, 70);
    CheckBox4 = makeCheckBox(RowCaptions[3], 82, 70);
    CheckBox5 = makeCheckBox(RowCaptions[4], 104, 70);
    CheckBox6 = makeCheckBox(RowCaptions[5], 127, 85);

    Button1 = new QPushButton(QStringLiteral("準備(&R)"), Panel1);
    Button1->setGeometry(16, 16, 89, 25);
    Button1->setFocusPolicy(Qt::StrongFocus);
    Button1->setAutoDefault(false);
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });

    ProgressBar1 = new BlockProgressBar(m_dockSite);
    ProgressBar1->setGeometry(10, 344, 343, GaugeHeight);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setFocusPolicy(Qt::NoFocus);

    m_waitingTimer = new QTimer(this);
    m_waitingTimer->setInterval(WaitingRetryMs);
    connect(m_waitingTimer, &QTimer::timeout, this, [this] { storeWaitingDrills(); });
    Timer1 = new QTimer(this);
    Timer1->setTimerType(Qt::PreciseTimer);
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });

    // Tab order: the list, then the panel's group (numbers, upper, home, symbols, lower,
    // capitals), then the button.
    QWidget* order[]
        = { ListBox1, CheckBox1, CheckBox2, CheckBox3, CheckBox5, CheckBox4, CheckBox6, Button1 };
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    resize(DesignedWidth, DesignedHeight); // the outer size until a stored one is read
    m_client->setGeometry(rect());
    ListBox1->setFocus();
}

void TForm1::FormCreate()
{
    Label1->setText(QString());
    fitToText(Label1);
    Label2->setText(QString());
    fitToText(Label2);
    Timer1->stop();
    Timer1->setInterval(GaugePeriod);
    dockControls();
    m_placement.restore(m_placementPath);
}

void TForm1::dockControls()
{
    // The gauge takes the bottom at full width, the panel the left of what remains, the list the rest.
    const QSize area = m_dockSite->size();
    const int gaugeTop = area.height() - GaugeHeight;
    ProgressBar1->setGeometry(0, gaugeTop, area.width(), GaugeHeight);
    Panel1->setGeometry(0, 0, PanelWidth, std::max(0, gaugeTop));
    ListBox1->setGeometry(PanelWidth, 0, std::max(0, area.width() - PanelWidth), std::max(0, gaugeTop));
}

void TForm1::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    m_placement.shown();
}

void TForm1::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    m_placement.movedOrResized();
}

void TForm1::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_client->setGeometry(rect());
    m_placement.movedOrResized();
}

void TForm1::closeEvent(QCloseEvent* event)
{
    // No confirmation: a drill in progress ends with the program, without results.
    hide();
    event->accept();
    FormDestroy();
}

void TForm1::FormDestroy()
{
    if (m_destroyed)
        return;
    m_destroyed = true;
    Timer1->stop();
    // Hiding keeps the bounds, so these are the window's bounds as the user left it.
    guarded([this] { m_placement.save(m_placementPath); });
    // Drills that wait for a history another copy holds: a few seconds more for them.
    m_waitingTimer->stop();
    if (m_history->waitingCount() > 0) {
        const std::string report = m_history->storeWaiting(ClosePatienceMs, true);
        if (!report.empty())
            showErrorText(QString::fromStdString(withFinalStop(report)));
    }
}

void TForm1::Button1Click()
{
    guarded([this] {
        const RowChoices rows { CheckBox1->isChecked(), CheckBox2->isChecked(), CheckBox3->isChecked(),
            CheckBox4->isChecked(), CheckBox5->isChecked(), CheckBox6->isChecked() };
        m_drill.Button1Click(rows);
    });
}

void TForm1::FormKeyPress(char& Key)
{
    guarded([this, &Key] { m_drill.FormKeyPress(Key); });
    if (!m_historyReport.isEmpty()) // after the results' own error, if any
        showErrorText(std::exchange(m_historyReport, QString()));
}

Clock& TForm1::clock()
{
    return m_options.clock ? *m_options.clock : *m_ownClock;
}

void TForm1::Timer1Timer()
{
    m_lastTickAt = clock().tickCount();
    if (Timer1->isActive() && Timer1->interval() != GaugePeriod)
        Timer1->start(GaugePeriod); // the first tick after a pause: the period again, from now
    guarded([this] { m_drill.Timer1Timer(); });
    // A full gauge changes no more until the next target: stop waking up a hundred times a second
    // for nothing. setTimerEnabled resumes on the same rhythm.
    if (Timer1->isActive() && ProgressBar1->value() >= ProgressBar1->maximum()) {
        Timer1->stop();
        m_gaugePaused = true;
    }
}

// A failure of the history comes back only once per run; it never stops the key's handler.
void TForm1::recordDrill()
{
    const int64_t before = m_history->lastRecordedId();
    history::DrillRecord drill = history::drillRecordOf(m_drill);
    const std::string report = m_history->record(drill);
    if (m_history->waitingCount() > 0 && !m_waitingTimer->isActive())
        m_waitingTimer->start();
    if (!report.empty()) {
        m_historyReport = QString::fromStdString(withFinalStop(report));
    } else if (m_history->lastRecordedId() != before) {
        drill.id = m_history->lastRecordedId();
        emit drillRecorded(drill, Best);
    }
}

void TForm1::storeWaitingDrills()
{
    const std::string report = m_history->storeWaitingNow();
    if (m_history->waitingCount() > 0)
        return;
    m_waitingTimer->stop();
    if (!report.empty())
        showErrorText(QString::fromStdString(withFinalStop(report)));
    else if (m_progress)
        m_progress->drillRecorded();
}

void TForm1::openProgress()
{
    // Drills that waited for the history go in before it is read.
    if (m_history->waitingCount() > 0) {
        const std::string report = m_history->storeWaiting();
        if (!report.empty())
            showErrorText(QString::fromStdString(withFinalStop(report)));
        else if (m_progress && m_history->waitingCount() == 0)
            m_progress->drillRecorded();
    }
    guarded([this] {
        if (!m_progress) {
            ProgressWindow::Options options;
            options.readDrills = [this](int64_t after, std::size_t& skipped) {
                history::HistoryDb* db = m_history->database();
                return db ? db->drillsSince(after, SIZE_MAX, &skipped) : std::vector<history::DrillRecord> {};
            };
            // At its opening the window reads totals and each character's latest drills, not the
            // whole history; a character's drills when it is chosen.
            options.readDigest = [this] {
                history::HistoryDb* db = m_history->database();
                return db ? db->digest() : history::HistoryDigest {};
            };
            options.readKeyDrills = [this](unsigned char code, int64_t upTo, std::size_t& skipped) {
                history::HistoryDb* db = m_history->database();
                return db ? db->keyDrills(code, upTo, &skipped) : std::vector<history::KeyDrill> {};
            };
            // A history that can only be read says why nothing is recorded.
            options.readOnlyReason = [this] { return QString::fromStdString(m_history->readOnlyReason()); };
            options.waitingDrills = [this] { return m_history->waitingCount(); };
            // The file's bests, or this run's where a save has failed since.
            options.readBest = [this] {
                BestTimes best = Best;
                joinStoredBests(m_bestTimesPath, best);
                return best;
            };
            options.practise = [this](const std::string& pool) { return practiseWeakKeys(pool); };
            // The finger view's drills, each recorded as its own kind; its answers read when shown.
            options.practiseAs = [this](const std::string& pool, const std::string& rows) {
                return practiseWeakKeys(pool, rows);
            };
            options.readAnswers = [this](const std::string& rows, std::size_t maxAnswers) {
                history::HistoryDb* db = m_history->database();
                return db ? db->latestAnswers(rows, maxAnswers) : std::vector<history::DrillAnswers> {};
            };
            options.errorBox = [this](const QString& text) {
                showErrorText(QString::fromStdString(withFinalStop(text.toStdString())));
            };
            options.iniPath = m_placementPath;
            options.historyPath = m_options.files->history();
            m_progress = new ProgressWindow(std::move(options), this);
            // After the key's handler: the drill's end is not kept waiting for the window.
            connect(this, &TForm1::drillRecorded, m_progress,
                qOverload<const history::DrillRecord&, const BestTimes&>(&ProgressWindow::drillRecorded),
                Qt::QueuedConnection);
        }
        m_progress->showAndRaise();
    });
}

QString TForm1::practiseWeakKeys(const std::string& pool, const std::string& rows)
{
    if (m_drill.Running)
        return QStringLiteral("練習中です。スペースで終えてから押してください");
    guarded([this, &pool, &rows] {
        // The ticked rows no longer describe what the drill shows. They are read again only by the
        // next prepare, as ever, which then builds the ordinary pool from them.
        if (m_drill.preparePool(pool, rows))
            for (QCheckBox* box : { CheckBox1, CheckBox2, CheckBox3, CheckBox4, CheckBox5, CheckBox6 })
                box->setChecked(false);
    });
    if (isMinimized())
        showNormal();
    raise();
    activateWindow();
    return {};
}

void TForm1::ShowResults()
{
    ListBoxResults list(ListBox1);
    touchdrill::ShowResults(m_bestTimesPath, m_drill.Stats, Best, list);
}

void TForm1::ListBox1DrawItem(QWidget* Control, int Index, const QRect& Rect, QStyle::State, QPainter& Canvas)
{
    try {
        const auto* list = qobject_cast<QListWidget*>(Control);
        const QListWidgetItem* item = list ? list->item(Index) : nullptr;
        if (item)
            paintResultLine(Canvas, Rect, item->text());
    } catch (const std::exception& error) {
        // Never open a modal box in the middle of a paint: report it once the paint is over.
        const QString text = QString::fromUtf8(withFinalStop(error.what()));
        QTimer::singleShot(0, this, [this, text] { showErrorText(text); });
    }
}

void TForm1::showError(const std::exception& error)
{
    // The library's own name for it says nothing to a learner.
    const bool outOfMemory = dynamic_cast<const std::bad_alloc*>(&error) != nullptr;
    showErrorText(QString::fromUtf8(withFinalStop(outOfMemory ? history::OutOfMemoryText : error.what())));
}

void TForm1::showErrorText(const QString& text)
{
    if (m_options.errorBox) {
        m_options.errorBox(m_title, text);
        return;
    }
    QMessageBox box(QMessageBox::Critical, m_title, text, QMessageBox::Ok, isVisible() ? this : nullptr);
    box.exec();
}

bool TForm1::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_dockSite && event->type() == QEvent::Resize) {
        dockControls();
        return false;
    }
    if (watched == Button1 && event->type() == QEvent::Shortcut) {
        // Alt+R clicks the button at once and leaves the focus where it is; the toolkit's own
        // handling would move the focus to the button and click it a moment later.
        if (Button1->isEnabled())
            Button1->click();
        return true;
    }
    if (event->type() != QEvent::KeyPress)
        return false;
    auto* target = qobject_cast<QWidget*>(watched);
    if (!target || (target != this && !isAncestorOf(target)))
        return false;
    // A key the focused control passed on to its parent has been routed already.
    QWidget* focus = QApplication::focusWidget();
    if (focus && target != focus)
        return false;
    return routeKey(target, static_cast<QKeyEvent*>(event));
}

bool TForm1::routeKey(QWidget* target, QKeyEvent* event)
{
    const int key = event->key();
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    const bool onButton = target == Button1 || qobject_cast<QCheckBox*>(target) != nullptr;

    // Keyboard navigation never reaches the drill.
    if (key == Qt::Key_Tab || key == Qt::Key_Backtab)
        return false;
    if (isArrow(key)) {
        if (onButton) {
            moveFocusWithinParent(target, key == Qt::Key_Right || key == Qt::Key_Down);
            return true;
        }
        return false;
    }

    // Shift+F10 asks the focused control for its menu, as the Menu key does: the X11 platform turns
    // only the Menu key into a menu request by itself.
    if (key == Qt::Key_F10 && (modifiers & ~Qt::KeypadModifier) == Qt::ShiftModifier) {
        const QPoint at = target->inputMethodQuery(Qt::ImCursorRectangle).toRect().center();
        QContextMenuEvent request(QContextMenuEvent::Keyboard, at, target->mapToGlobal(at), modifiers);
        QCoreApplication::sendEvent(target, &request);
        return true;
    }

    const QString text = event->text();
    if (text.isEmpty())
        return false; // not a character: Home, Page Down and the like keep their usual meaning
    if (modifiers & Qt::AltModifier && !(modifiers & Qt::ControlModifier))
        return true; // a menu key: the prepare button's Alt+R has been taken by its shortcut already
    if (modifiers & Qt::ControlModifier && !(modifiers & Qt::AltModifier))
        return true; // Ctrl with a key types no character (Ctrl with Alt is AltGr on some layouts)
    if (modifiers & Qt::MetaModifier)
        return true; // Super with a key is the desktop's, though the platform still gives its text

    if (Button1->isEnabled() && target != ListBox1
        && (text == QLatin1String("r") || text == QLatin1String("R"))) {
        Button1->click();
        return true;
    }
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && target == Button1) {
        Button1->click();
        return true;
    }

    for (const char32_t typed : text.toUcs4()) {
        // Backspace, Enter, Escape, Delete and the other control characters type nothing.
        const std::optional<unsigned char> byte = typedByte(typed);
        if (!byte)
            continue;
        if (*byte == OtherCharacter)
            m_otherTyped = QString::fromUcs4(&typed, 1);
        char Key = static_cast<char>(*byte);
        FormKeyPress(Key);
    }
    // A space still presses a focused check box or button, which then toggles or clicks on release.
    if (key == Qt::Key_Space && onButton && !event->isAutoRepeat())
        return false;
    return true;
}

void TForm1::moveFocusWithinParent(QWidget* from, bool forward)
{
    QWidget* parent = from->parentWidget();
    if (from == Button1)
        parent = Panel1; // the button's neighbours are the panel's check boxes
    std::vector<QWidget*> chain;
    for (QWidget* w = ListBox1->nextInFocusChain(); w && w != ListBox1; w = w->nextInFocusChain())
        if (w->isEnabled() && w->focusPolicy() & Qt::TabFocus && parent->isAncestorOf(w))
            chain.push_back(w);
    const auto at = std::find(chain.begin(), chain.end(), from);
    if (chain.size() < 2 || at == chain.end())
        return;
    const auto index = static_cast<std::size_t>(at - chain.begin());
    const std::size_t next = forward ? (index + 1) % chain.size() : (index + chain.size() - 1) % chain.size();
    chain[next]->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
}

void TForm1::setTargetText(std::string_view text)
{
    Label1->setText(fromBytes(text));
    fitToText(Label1);
}

void TForm1::setWrongText(std::string_view text)
{
    // A character the code page has no byte for shows as it was typed.
    const bool other = text.size() == 1 && static_cast<unsigned char>(text[0]) == OtherCharacter;
    Label2->setText(other ? m_otherTyped : fromBytes(text));
    fitToText(Label2);
}

int TForm1::gauge() const
{
    return ProgressBar1->value();
}

void TForm1::setGauge(int position)
{
    ProgressBar1->setValue(std::clamp(position, 0, 100));
}

void TForm1::setTimerEnabled(bool enabled)
{
    if (!enabled) {
        Timer1->stop();
        m_gaugePaused = false;
    } else if (m_gaugePaused) {
        // Paused on a full gauge within this drill: the next tick falls where it would have fallen
        // had the timer kept running, so the ticks keep their rhythm across targets.
        m_gaugePaused = false;
        // Less than a whole period: a tick that falls due right now comes at once.
        const uint32_t sinceLastTick = clock().tickCount() - m_lastTickAt;
        Timer1->start(static_cast<int>((GaugePeriod - sinceLastTick % GaugePeriod) % GaugePeriod));
    } else if (!Timer1->isActive()) {
        Timer1->start(GaugePeriod); // already running: the ticks keep their rhythm
    }
}

bool TForm1::buttonEnabled() const
{
    return Button1->isEnabled();
}

void TForm1::setButtonEnabled(bool enabled)
{
    if (!enabled && Button1->hasFocus())
        setFocus(Qt::OtherFocusReason); // the window itself takes the focus, not the next control
    Button1->setEnabled(enabled);
}

} // namespace touchdrill
