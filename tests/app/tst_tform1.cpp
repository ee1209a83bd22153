// SPDX-License-Identifier: GPL-3.0-or-later
// The main window under the offscreen platform, driven by key events the way a person types.
#include "app/tform1.h"
#include "drill/practiceset.h"
#include "progress/progresswindow.h"
#include "tests/support/fakewindow.h"
#include "tests/support/scratchfolder.h"

#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using namespace touchdrill;
namespace fs = std::filesystem;

namespace {

class TForm1Test : public ::testing::Test {
protected:
    void SetUp() override { open(); }
    void TearDown() override { form.reset(); }

    void open()
    {
        form.reset();
        TForm1::Options options;
        options.executablePath = (dir / "touchdrill").generic_string();
        options.clock = &clock;
        options.errorBox = [this](const QString& title, const QString& text) {
            errors.push_back(title.toStdString() + "|" + text.toStdString());
        };
        form = std::make_unique<TForm1>(options);
        form->show();
        QApplication::setActiveWindow(form.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    }

    // Keys go in through the window, as the platform delivers them, so shortcuts apply too.
    void key(Qt::Key k, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        QTest::keyClick(form->windowHandle(), k, mods);
    }
    void type(char c)
    {
        const auto code = static_cast<Qt::Key>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
        const QString text(QChar(static_cast<unsigned char>(c)));
        QTest::sendKeyEvent(QTest::Press, form->windowHandle(), code, text, Qt::NoModifier);
        QTest::sendKeyEvent(QTest::Release, form->windowHandle(), code, text, Qt::NoModifier);
    }
    void type(const std::string& text)
    {
        for (char c : text)
            type(c);
    }
    void focusOn(QWidget* w)
    {
        w->setFocus(Qt::TabFocusReason);
        ASSERT_EQ(QApplication::focusWidget(), w);
    }
    char target() const { return static_cast<char>(form->drill().TargetChar); }
    bool prepared() const { return !form->Button1->isEnabled() && !form->drill().Running; }

    // Ticks the home row by keyboard and prepares with Alt+R.
    void prepareHomeRow()
    {
        focusOn(form->CheckBox3);
        if (!form->CheckBox3->isChecked())
            key(Qt::Key_Space);
        key(Qt::Key_R, Qt::AltModifier);
        ASSERT_TRUE(prepared());
    }

    touchdrill::testing::ScratchFolder scratch;
    const fs::path dir = scratch.root();
    touchdrill::testing::FakeClock clock;
    std::vector<std::string> errors;
    std::unique_ptr<TForm1> form;
};

} // namespace

TEST_F(TForm1Test, startUpState)
{
    EXPECT_EQ(form->windowTitle(), QStringLiteral("タッチタイプ練習"));
    EXPECT_EQ(form->applicationTitle(), QStringLiteral("touchdrill"));
    EXPECT_TRUE(form->Label1->text().isEmpty());
    EXPECT_TRUE(form->Label2->text().isEmpty());
    EXPECT_EQ(form->ProgressBar1->value(), 0);
    EXPECT_FALSE(form->Timer1->isActive());
    EXPECT_EQ(form->Timer1->interval(), 10);
    EXPECT_EQ(form->ListBox1->count(), 0);
    EXPECT_EQ(QApplication::focusWidget(), form->ListBox1);
    EXPECT_TRUE(form->Button1->isEnabled());
    for (QCheckBox* box : { form->CheckBox1, form->CheckBox2, form->CheckBox3, form->CheckBox4,
             form->CheckBox5, form->CheckBox6 })
        EXPECT_FALSE(box->isChecked());
    EXPECT_EQ(form->Button1->text(), QStringLiteral("準備(&R)"));
    EXPECT_EQ(form->GroupBox1->title(), QStringLiteral("選択"));
    EXPECT_EQ(form->CheckBox6->text(), QStringLiteral("大文字入り"));
    // No placement file yet: the designed size at the work area's top-left corner.
    EXPECT_EQ(form->frameGeometry().size(), QSize(369, 422));
    EXPECT_EQ(
        form->frameGeometry().topLeft(), QGuiApplication::primaryScreen()->availableGeometry().topLeft());
    EXPECT_TRUE(errors.empty());
}

TEST_F(TForm1Test, wholeDrillByKeys)
{
    prepareHomeRow();
    clock.ticks = 10'000;
    key(Qt::Key_Space);
    ASSERT_TRUE(form->drill().Running);
    EXPECT_TRUE(form->Timer1->isActive());
    const char first = target();
    EXPECT_NE(std::string("asdfghjkl").find(first), std::string::npos);
    EXPECT_EQ(form->Label1->text(), QString(QChar(first)));
    // The displays size themselves to their text.
    EXPECT_EQ(form->Label1->size(), form->Label1->sizeHint());
    EXPECT_GT(form->Label1->height(), 150);

    const char wrong = first == 'q' ? 'w' : 'q';
    type(wrong);
    EXPECT_EQ(form->Label2->text(), QString(QChar(wrong)));
    EXPECT_EQ(form->Label2->size(), form->Label2->sizeHint());
    EXPECT_GT(form->Label2->height(), 50);
    clock.ticks += 523;
    type(first);
    EXPECT_NE(target(), first);
    EXPECT_TRUE(form->Label2->text().isEmpty());

    key(Qt::Key_Space);
    EXPECT_FALSE(form->drill().Running);
    EXPECT_FALSE(form->Timer1->isActive());
    EXPECT_TRUE(form->Button1->isEnabled());
    EXPECT_TRUE(form->Label1->text().isEmpty());
    ASSERT_EQ(form->ListBox1->count(), 1);
    EXPECT_EQ(form->ListBox1->item(0)->text().toStdString(), std::string(1, first) + ",523,0");
    // The line's figures in a tip, as a long bar hides the number at the designed width.
    EXPECT_EQ(form->ListBox1->item(0)->toolTip(),
        QStringLiteral("%1: 平均 523 ms、自己ベスト なし").arg(QChar(first)));
    EXPECT_EQ(fs::file_size(dir / "touchdrill.bst"), 376u);
    EXPECT_EQ(form->best()[static_cast<std::size_t>(first - 33)], 523u);
    EXPECT_TRUE(errors.empty());
}

TEST_F(TForm1Test, waysToPrepare)
{
    using Focus = QWidget* (*)(TForm1&); // null: the window itself
    const Focus list = [](TForm1& f) -> QWidget* { return f.ListBox1; };
    const Focus box = [](TForm1& f) -> QWidget* { return f.CheckBox2; };
    const Focus button = [](TForm1& f) -> QWidget* { return f.Button1; };
    struct Row {
        const char* name;
        Focus focus;
        Qt::Key key;
        Qt::KeyboardModifiers mods;
        bool prepares;
        const char* weakPool = nullptr; // prepared with this pool, as 苦手なキーを練習 does, not by a key
    };
    const Row table[] = {
        { "Alt+R on the list", list, Qt::Key_R, Qt::AltModifier, true },
        { "r on the list is a plain key", list, Qt::Key_R, Qt::NoModifier, false },
        { "r on a check box", box, Qt::Key_R, Qt::NoModifier, true },
        { "R on a check box", box, Qt::Key_R, Qt::ShiftModifier, true },
        { "Alt+R on a check box", box, Qt::Key_R, Qt::AltModifier, true },
        { "Enter on the button", button, Qt::Key_Return, Qt::NoModifier, true },
        { "keypad Enter on the button", button, Qt::Key_Enter, Qt::KeypadModifier, true },
        { "Enter on a check box does not prepare", box, Qt::Key_Return, Qt::NoModifier, false },
        { "Ctrl+R on a check box does not prepare", box, Qt::Key_R, Qt::ControlModifier, false },
        { "r on the window", nullptr, Qt::Key_R, Qt::NoModifier, true },
        { "the weak keys' pool unticks the rows", list, Qt::Key_unknown, {}, true, "asdf" },
        { "a pool of no practice characters keeps them", list, Qt::Key_unknown, {}, false, " \t" },
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.name);
        open();
        form->CheckBox2->setChecked(true);
        if (row.focus) {
            focusOn(row.focus(*form));
        } else {
            form->setFocus();
            ASSERT_EQ(QApplication::focusWidget(), form.get());
        }
        if (row.weakPool)
            EXPECT_TRUE(form->practiseWeakKeys(row.weakPool).isEmpty());
        else
            key(row.key, row.mods);
        EXPECT_EQ(prepared(), row.prepares);
        if (row.weakPool && row.prepares) {
            EXPECT_FALSE(form->CheckBox2->isChecked()) << "the rows no longer describe the pool";
            // A row ticked now counts from the next prepare on, as ever.
            form->CheckBox3->setChecked(true);
            key(Qt::Key_Space);
            key(Qt::Key_Space);
            form->Button1Click();
            EXPECT_EQ(form->drill().Pool, "asdfghjkl");
        } else {
            EXPECT_TRUE(form->CheckBox2->isChecked()) << "the key must not reach the check box";
        }
        if (row.prepares && row.focus == button) {
            EXPECT_EQ(QApplication::focusWidget(), form.get())
                << "a disabled button hands the focus to the window";
        }
    }
}

TEST_F(TForm1Test, prepareAgainAfterADrillAndRIsAPlainKeyWhilePrepared)
{
    prepareHomeRow();
    // Prepared: the button is disabled, so r is an ordinary character and does nothing.
    focusOn(form->CheckBox1);
    type('r');
    EXPECT_TRUE(prepared());
    key(Qt::Key_Space);
    EXPECT_TRUE(form->drill().Running);
    EXPECT_TRUE(form->CheckBox1->isChecked()) << "the space goes to the drill, then to the box";
    key(Qt::Key_Space);
    EXPECT_FALSE(form->drill().Running);
    EXPECT_FALSE(form->CheckBox1->isChecked());
    type('r');
    EXPECT_TRUE(prepared());
}

TEST_F(TForm1Test, tabMovesTheFocusAndIsNeverAWrongKey)
{
    prepareHomeRow();
    focusOn(form->ListBox1);
    key(Qt::Key_Space);
    ASSERT_TRUE(form->drill().Running);
    const std::vector<QWidget*> order { form->CheckBox1, form->CheckBox2, form->CheckBox3, form->CheckBox5,
        form->CheckBox4, form->CheckBox6, form->ListBox1 };
    for (QWidget* expected : order) {
        key(Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), expected) << expected->metaObject()->className();
    }
    key(Qt::Key_Backtab);
    EXPECT_EQ(QApplication::focusWidget(), form->CheckBox6);
    EXPECT_TRUE(form->Label2->text().isEmpty());
    // Arrows move among the group's boxes, wrapping, and are not characters either.
    key(Qt::Key_Down);
    EXPECT_EQ(QApplication::focusWidget(), form->CheckBox1);
    key(Qt::Key_Up);
    EXPECT_EQ(QApplication::focusWidget(), form->CheckBox6);
    EXPECT_TRUE(form->Label2->text().isEmpty());
    EXPECT_TRUE(form->drill().Running);
}

TEST_F(TForm1Test, typedLettersNeverMoveTheListSelection)
{
    for (const char* line : { "a,100,0", "b,200,0", "k,300,0", "s,400,0" })
        form->ListBox1->addItem(QString::fromLatin1(line));
    focusOn(form->ListBox1);
    form->ListBox1->setCurrentRow(0);
    type("skb");
    EXPECT_EQ(form->ListBox1->currentRow(), 0);
    key(Qt::Key_Down);
    EXPECT_EQ(form->ListBox1->currentRow(), 1) << "arrows still move it";
    // Keys that type nothing keep their meaning in the list.
    key(Qt::Key_End);
    EXPECT_EQ(form->ListBox1->currentRow(), 3);
    key(Qt::Key_Home);
    EXPECT_EQ(form->ListBox1->currentRow(), 0);
    key(Qt::Key_PageDown);
    EXPECT_EQ(form->ListBox1->currentRow(), 3);
}

TEST_F(TForm1Test, spaceOnAFocusedCheckBoxTogglesItOnce)
{
    focusOn(form->CheckBox5);
    key(Qt::Key_Space);
    EXPECT_TRUE(form->CheckBox5->isChecked());
    key(Qt::Key_Space);
    EXPECT_FALSE(form->CheckBox5->isChecked());
    EXPECT_TRUE(form->Button1->isEnabled());
}

TEST_F(TForm1Test, ampersandShowsAsItself)
{
    form->CheckBox5->setChecked(true);
    form->Button1Click();
    key(Qt::Key_Space);
    ASSERT_TRUE(form->drill().Running);
    if (target() == '&') // answer it so that & can be a wrong key
        type('&');
    EXPECT_EQ(form->Label1->text(), QString(QChar(target())));
    type('&');
    EXPECT_EQ(form->Label2->text(), QStringLiteral("&"));
    // Shown, not taken as a mnemonic marker: the label has room for one character.
    EXPECT_GT(form->Label2->sizeHint().width(), 10);
    // Answer the targets until & comes up, then check the big display.
    for (int i = 0; i < 2000 && target() != '&'; ++i)
        type(target());
    ASSERT_EQ(target(), '&');
    EXPECT_EQ(form->Label1->text(), QStringLiteral("&"));
    EXPECT_GT(form->Label1->sizeHint().width(), 30);
}

TEST_F(TForm1Test, dockingHoldsOnEveryResize)
{
    struct Row {
        QSize size;
        bool horizontalBar, verticalBar;
    };
    const Row table[] = {
        { { 600, 500 }, false, false },
        { { 369, 422 }, false, false },
        { { 257, 100 }, false, false },
        { { 200, 300 }, true, false },
        { { 400, 30 }, false, true },
    };
    auto* scroll = form->findChild<QScrollArea*>();
    ASSERT_NE(scroll, nullptr);
    for (const auto& row : table) {
        SCOPED_TRACE(QString("%1x%2").arg(row.size.width()).arg(row.size.height()).toStdString());
        form->resize(row.size);
        QApplication::processEvents();
        const int w
            = std::max(row.size.width() - (row.verticalBar ? scroll->verticalScrollBar()->width() : 0), 257);
        const int h = std::max(
            row.size.height() - (row.horizontalBar ? scroll->horizontalScrollBar()->height() : 0), 40);
        EXPECT_EQ(form->ProgressBar1->geometry(), QRect(0, h - 40, w, 40));
        EXPECT_EQ(form->Panel1->geometry(), QRect(0, 0, 257, h - 40));
        EXPECT_EQ(form->ListBox1->geometry(), QRect(257, 0, w - 257, h - 40));
        EXPECT_EQ(scroll->horizontalScrollBar()->isVisible(), row.horizontalBar);
        EXPECT_EQ(scroll->verticalScrollBar()->isVisible(), row.verticalBar);
    }
}

TEST_F(TForm1Test, gaugeFollowsTheTimerAndHoldsFull)
{
    prepareHomeRow();
    key(Qt::Key_Space);
    for (int i = 0; i < 150; ++i)
        form->Timer1Timer();
    EXPECT_EQ(form->ProgressBar1->value(), 100);
    clock.ticks += 1;
    type(target());
    EXPECT_EQ(form->ProgressBar1->value(), 0);
    form->Timer1Timer();
    EXPECT_EQ(form->ProgressBar1->value(), 1);
    key(Qt::Key_Space);
    EXPECT_EQ(form->ProgressBar1->value(), 1) << "ending a drill keeps the gauge";
}

TEST_F(TForm1Test, fullGaugeRestsTheTimerUntilTheNextTarget)
{
    prepareHomeRow();
    key(Qt::Key_Space);
    for (int i = 0; i < 100; ++i)
        form->Timer1Timer();
    EXPECT_EQ(form->ProgressBar1->value(), 100);
    EXPECT_FALSE(form->Timer1->isActive()) << "a full gauge needs no more ticks";
    EXPECT_TRUE(form->drill().Running);

    // The next target wakes the timer, first for what is left of the current period.
    clock.ticks += 3;
    type(target());
    EXPECT_EQ(form->ProgressBar1->value(), 0);
    ASSERT_TRUE(form->Timer1->isActive());
    EXPECT_EQ(form->Timer1->interval(), 7);
    form->Timer1Timer();
    EXPECT_EQ(form->ProgressBar1->value(), 1);
    EXPECT_TRUE(form->Timer1->isActive());
    EXPECT_EQ(form->Timer1->interval(), 10) << "after the first tick the period is 10 ms again";

    // A drill that ends while the timer rests leaves nothing behind: the next one starts afresh.
    for (int i = 0; i < 100; ++i)
        form->Timer1Timer();
    ASSERT_FALSE(form->Timer1->isActive());
    key(Qt::Key_Space);
    EXPECT_FALSE(form->drill().Running);
    EXPECT_FALSE(form->Timer1->isActive());
    clock.ticks += 3;
    prepareHomeRow();
    key(Qt::Key_Space);
    ASSERT_TRUE(form->drill().Running);
    EXPECT_TRUE(form->Timer1->isActive());
    EXPECT_EQ(form->Timer1->interval(), 10);
}

TEST_F(TForm1Test, aFailedResultsStepShowsTheErrorBoxAndTheDrillHasEnded)
{
    fs::create_directory(dir / "touchdrill.bst");
    prepareHomeRow();
    key(Qt::Key_Space);
    clock.ticks += 100;
    type(target());
    key(Qt::Key_Space);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "touchdrill|ファイルへのアクセスが拒否されました.");
    EXPECT_EQ(form->ListBox1->count(), 1) << "the list is filled before the write fails";
    EXPECT_FALSE(form->drill().Running);
    EXPECT_TRUE(form->Button1->isEnabled());
    EXPECT_TRUE(fs::is_directory(dir / "touchdrill.bst"));
}

TEST_F(TForm1Test, inputMethodIsOff)
{
    for (QWidget* w :
        std::initializer_list<QWidget*> { form.get(), form->ListBox1, form->CheckBox1, form->Button1 }) {
        focusOn(w == form.get() ? form->ListBox1 : w);
        EXPECT_FALSE(QApplication::focusWidget()->testAttribute(Qt::WA_InputMethodEnabled));
    }
}

TEST_F(TForm1Test, placementSurvivesARestart)
{
    // Closed maximised or full screen, the window stores the normal bounds it had before.
    const Qt::WindowState states[] = { Qt::WindowNoState, Qt::WindowMaximized, Qt::WindowFullScreen };
    for (const Qt::WindowState state : states) {
        SCOPED_TRACE(static_cast<int>(state));
        fs::remove(dir / "touchdrill.ini");
        open();
        form->move(300, 200);
        form->resize(500, 450);
        const QRect outer = form->frameGeometry(); // the stored bounds include the frame
        if (state != Qt::WindowNoState) {
            form->setWindowState(state);
            QApplication::processEvents();
            ASSERT_NE(form->frameGeometry(), outer) << "the state took effect";
        }
        form->close();
        std::ifstream ini(dir / "touchdrill.ini");
        const std::string text((std::istreambuf_iterator<char>(ini)), std::istreambuf_iterator<char>());
        EXPECT_EQ(text,
            QString("[Form]\nTop=%1\nLeft=%2\nWidth=%3\nHeight=%4\n")
                .arg(outer.top())
                .arg(outer.left())
                .arg(outer.width())
                .arg(outer.height())
                .toStdString());
        open();
        EXPECT_EQ(form->frameGeometry(), outer);
    }
}

TEST_F(TForm1Test, aFloodOfKeysCountsEveryCorrectOneAndNothingElse)
{
    prepareHomeRow();
    clock.ticks = 0xFFFF0000u; // and the tick counter wraps during the flood
    key(Qt::Key_Space);
    ASSERT_TRUE(form->drill().Running);
    const std::string wrongKeys = "qwertyzxcv1234;:@[]&\\";
    uint32_t expectedTotal[128] = {};
    uint32_t correct = 0;
    uint32_t shownAt = clock.ticks;
    uint32_t seed = 7;
    for (int i = 0; i < 10'000; ++i) {
        seed = seed * 1103515245u + 12345u;
        clock.ticks += 1 + (seed >> 24);
        if ((seed >> 16) % 10 < 7) {
            const char c = target();
            expectedTotal[static_cast<unsigned char>(c)] += clock.ticks - shownAt;
            shownAt = clock.ticks;
            type(c);
            ++correct;
        } else {
            type(wrongKeys[(seed >> 8) % wrongKeys.size()]);
        }
    }
    uint32_t hits = 0;
    for (int c = FirstCode; c <= LastCode; ++c)
        hits += form->drill().Stats[c].Hits;
    EXPECT_EQ(hits, correct);
    for (char c : std::string("asdfghjkl"))
        EXPECT_EQ(form->drill().Stats[static_cast<unsigned char>(c)].Total,
            expectedTotal[static_cast<unsigned char>(c)])
            << c;
    for (char c : wrongKeys)
        EXPECT_EQ(form->drill().Stats[static_cast<unsigned char>(c)].Hits, 0u) << c;
    key(Qt::Key_Space);
    EXPECT_FALSE(form->drill().Running);
    EXPECT_EQ(form->ListBox1->count(), 9);
    EXPECT_TRUE(errors.empty());
}

TEST_F(TForm1Test, aFailedPlacementWriteIsReportedAndShutDownGoesOn)
{
    fs::create_directory(dir / "touchdrill.ini");
    open();
    EXPECT_TRUE(errors.empty()) << "an unreadable placement file reads as defaults";
    form->close();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "touchdrill|" + (dir / "touchdrill.ini").generic_string() + " に書き込めません.");
    EXPECT_FALSE(form->isVisible());
}

namespace {

// Records the key presses that reach a control past the window's routing, and the requests for its
// menu made from the keyboard (taken here, so that no menu waits for a choice).
class KeyRecorder final : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress)
            keys.push_back(static_cast<QKeyEvent*>(event)->key());
        if (event->type() == QEvent::ContextMenu) {
            menus += static_cast<QContextMenuEvent*>(event)->reason() == QContextMenuEvent::Keyboard;
            return true;
        }
        return false;
    }
    std::vector<int> keys;
    int menus = 0;
};

} // namespace

TEST_F(TForm1Test, onlyTypedCharactersReachTheDrill)
{
    struct Row {
        const char* name;
        Qt::Key key;
        Qt::KeyboardModifiers mods;
        QString text; // as the platform delivers it; "=" stands for the target
        QString shown; // in the wrong-key display
        bool passedOn; // to the focused list
        bool menu = false; // the list's menu is asked for
    };
    const QString none;
    const Row table[] = {
        { "a wrong letter", Qt::Key_Q, Qt::NoModifier, "q", "q", false },
        { "Latin-1 shows as typed", Qt::Key_Eacute, Qt::NoModifier, "é", "é", false },
        { "Latin-1 in the kana byte range shows as typed", Qt::Key_Adiaeresis, Qt::NoModifier, "Ä", "Ä",
            false },
        { "half-width kana", Qt::Key_unknown, Qt::NoModifier, "ｱ", "ｱ", false },
        { "full-width kana from a kana key", Qt::Key_unknown, Qt::NoModifier, "ア", "ｱ", false },
        { "kana voiced mark", Qt::Key_unknown, Qt::NoModifier, "゛", "ﾞ", false },
        { "Delete", Qt::Key_Delete, Qt::NoModifier, "\x7f", none, false },
        { "Backspace", Qt::Key_Backspace, Qt::NoModifier, "\b", none, false },
        { "Enter", Qt::Key_Return, Qt::NoModifier, "\r", none, false },
        { "Escape", Qt::Key_Escape, Qt::NoModifier, "\x1b", none, false },
        { "Ctrl+Q", Qt::Key_Q, Qt::ControlModifier, "\x11", none, false },
        { "Ctrl+Space", Qt::Key_Space, Qt::ControlModifier, QString(QChar(0)), none, false },
        { "Ctrl with the target's key", Qt::Key_unknown, Qt::ControlModifier, "=", none, false },
        { "Alt+Q", Qt::Key_Q, Qt::AltModifier, "q", none, false },
        { "Alt with the target's key", Qt::Key_unknown, Qt::AltModifier, "=", none, false },
        { "Super+Q", Qt::Key_Q, Qt::MetaModifier, "q", none, false },
        { "Super with the target's key", Qt::Key_unknown, Qt::MetaModifier, "=", none, false },
        { "Home", Qt::Key_Home, Qt::NoModifier, none, none, true },
        { "Page Down", Qt::Key_PageDown, Qt::NoModifier, none, none, true },
        { "F5", Qt::Key_F5, Qt::NoModifier, none, none, true },
        { "F10", Qt::Key_F10, Qt::NoModifier, none, none, true },
        { "Shift+F10 asks for the list's menu", Qt::Key_F10, Qt::ShiftModifier, none, none, false, true },
    };
    prepareHomeRow();
    focusOn(form->ListBox1);
    key(Qt::Key_Space);
    ASSERT_TRUE(form->drill().Running);
    KeyRecorder recorder;
    form->ListBox1->installEventFilter(&recorder);
    for (const auto& row : table) {
        SCOPED_TRACE(row.name);
        const char before = target();
        const QString text = row.text == "=" ? QString(QChar(before)) : row.text;
        recorder.keys.clear();
        recorder.menus = 0;
        QTest::sendKeyEvent(QTest::Press, form->windowHandle(), row.key, text, row.mods);
        QTest::sendKeyEvent(QTest::Release, form->windowHandle(), row.key, text, row.mods);
        EXPECT_EQ(form->Label2->text(), row.shown);
        EXPECT_EQ(target(), before) << "nothing but the target answers it";
        // (The modifier keys themselves go on: they type nothing.)
        EXPECT_EQ(std::count(recorder.keys.begin(), recorder.keys.end(), row.key), row.passedOn ? 1 : 0);
        EXPECT_EQ(recorder.menus, row.menu ? 1 : 0);
        type(target()); // clears the wrong-key display
    }
    uint32_t hits = 0;
    for (int c = FirstCode; c <= LastCode; ++c)
        hits += form->drill().Stats[c].Hits;
    EXPECT_EQ(hits, std::size(table));
    EXPECT_TRUE(form->drill().Running);
}

TEST_F(TForm1Test, theYenKeyAnswersABackslash)
{
    form->CheckBox5->setChecked(true);
    form->Button1Click();
    key(Qt::Key_Space);
    for (int i = 0; i < 2000 && target() != '\\'; ++i)
        type(target());
    ASSERT_EQ(target(), '\\');
    clock.ticks += 250;
    for (const auto action : { QTest::Press, QTest::Release })
        QTest::sendKeyEvent(action, form->windowHandle(), Qt::Key_yen, QStringLiteral("¥"), Qt::NoModifier);
    EXPECT_NE(target(), '\\');
    EXPECT_EQ(form->drill().Stats['\\'].Hits, 1u);
    EXPECT_EQ(form->drill().Stats['\\'].Total, 250u);
    EXPECT_TRUE(form->Label2->text().isEmpty());
}

TEST_F(TForm1Test, clicksOutsideTheControlsLeaveTheFocusWhereItIs)
{
    prepareHomeRow();
    key(Qt::Key_Space);
    type(target() == 'q' ? 'w' : 'q'); // both displays show something
    using Spot = QPoint (*)(TForm1&); // in the window's coordinates
    struct Row {
        const char* name;
        Spot spot;
    };
    const Row table[] = {
        { "panel", [](TForm1& f) { return f.Panel1->mapTo(&f, QPoint(60, 80)); } },
        { "target display", [](TForm1& f) { return f.Label1->mapTo(&f, f.Label1->rect().center()); } },
        { "wrong-key display", [](TForm1& f) { return f.Label2->mapTo(&f, f.Label2->rect().center()); } },
        { "group frame",
            [](TForm1& f) { return f.GroupBox1->mapTo(&f, QPoint(f.GroupBox1->width() - 4, 75)); } },
        { "gauge", [](TForm1& f) { return f.ProgressBar1->mapTo(&f, f.ProgressBar1->rect().center()); } },
    };
    for (QWidget* focused :
        { static_cast<QWidget*>(form->CheckBox2), static_cast<QWidget*>(form->ListBox1) }) {
        for (const auto& row : table) {
            SCOPED_TRACE(std::string(row.name) + " with the focus on " + focused->metaObject()->className());
            focusOn(focused);
            QTest::mouseClick(form->windowHandle(), Qt::LeftButton, {}, row.spot(*form));
            EXPECT_EQ(QApplication::focusWidget(), focused);
        }
    }
    // A click on a control that takes the focus still takes it.
    QTest::mouseClick(form->windowHandle(), Qt::LeftButton, {},
        form->CheckBox4->mapTo(form.get(), form->CheckBox4->rect().center()));
    EXPECT_EQ(QApplication::focusWidget(), form->CheckBox4);
}

TEST_F(TForm1Test, eachCheckBoxFeedsItsOwnRow)
{
    struct Row {
        const char* caption;
        bool RowChoices::*row;
    };
    const Row table[] = {
        { "数字段", &RowChoices::numbers },
        { "上段", &RowChoices::upper },
        { "中段", &RowChoices::home },
        { "下段", &RowChoices::lower },
        { "記号", &RowChoices::symbols },
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.caption);
        open();
        QCheckBox* box = nullptr;
        for (QCheckBox* b : form->GroupBox1->findChildren<QCheckBox*>())
            if (b->text() == QString::fromUtf8(row.caption))
                box = b;
        ASSERT_NE(box, nullptr);
        box->setChecked(true);
        form->Button1Click();
        RowChoices only;
        only.*row.row = true;
        EXPECT_EQ(form->drill().Pool, buildPool(only));
        // With capitals: the capitals of this row, when it is a letter row.
        open();
        for (QCheckBox* b : form->GroupBox1->findChildren<QCheckBox*>())
            if (b->text() == QString::fromUtf8(row.caption) || b->text() == QStringLiteral("大文字入り"))
                b->setChecked(true);
        form->Button1Click();
        only.capitals = true;
        EXPECT_EQ(form->drill().Pool, buildPool(only));
    }
}

TEST_F(TForm1Test, theTimerItselfDrivesTheGauge)
{
    prepareHomeRow();
    key(Qt::Key_Space);
    ASSERT_EQ(form->ProgressBar1->value(), 0);
    // Waits for ticks of the real timer, however slowly they come.
    EXPECT_TRUE(QTest::qWaitFor([this] { return form->ProgressBar1->value() >= 3; }, 20'000));
}

TEST_F(TForm1Test, theFirstTickAfterARestComesWithinThePeriod)
{
    struct Row {
        uint32_t lastTick; // on the tick counter
        uint32_t answered;
        int firstTickIn; // ms
    };
    const Row table[] = {
        { 5000, 5001, 9 }, { 5000, 5003, 7 }, { 5000, 5009, 1 },
        { 5000, 5010, 0 }, // a tick falls due as the target appears
        { 5000, 5023, 7 }, { 5000, 65'004, 6 }, { 0xFFFF'FFFEu, 5, 3 }, // across the counter's wrap
    };
    for (const auto& row : table) {
        SCOPED_TRACE(std::to_string(row.answered - row.lastTick) + " ms after the last tick");
        open();
        prepareHomeRow();
        key(Qt::Key_Space);
        clock.ticks = row.lastTick;
        for (int i = 0; i < 100; ++i)
            form->Timer1Timer();
        ASSERT_FALSE(form->Timer1->isActive());
        clock.ticks = row.answered;
        char answer = target();
        form->FormKeyPress(answer); // straight to the handler: no event loop runs the timer meanwhile
        ASSERT_NE(target(), answer);
        ASSERT_TRUE(form->Timer1->isActive());
        EXPECT_EQ(form->Timer1->interval(), row.firstTickIn);
    }
}

// The practice history's window: made on F2 only, raised again on F2, fed by each drill's end, and
// its weak-key button prepares the main window.
TEST_F(TForm1Test, progressWindowOnF2)
{
    EXPECT_EQ(form->progressWindow(), nullptr) << "nothing of it at start-up";
    auto drill = [this](int answers) {
        QApplication::setActiveWindow(form.get());
        prepareHomeRow();
        key(Qt::Key_Space);
        for (int i = 0; i < answers; ++i) {
            clock.ticks += 300 + 100 * static_cast<uint32_t>(i % 3);
            type(target());
        }
        key(Qt::Key_Space);
    };
    drill(12);
    key(Qt::Key_F2);
    ProgressWindow* window = form->progressWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->drillCount(), 1u);
    // Beside the main window rather than over it; the offscreen screen leaves no room for all of
    // it, so it covers a strip of the main window at most.
    const QRect covered = window->frameGeometry().intersected(form->frameGeometry());
    EXPECT_LT(covered.width() * covered.height(), form->width() * form->height() / 10);
    EXPECT_TRUE(window->screen()->availableGeometry().contains(window->frameGeometry()));
    QApplication::setActiveWindow(form.get());
    key(Qt::Key_F2);
    EXPECT_EQ(form->progressWindow(), window) << "one window, raised again";

    // A drill that ends while it is open shows there once the key's handler is done. With more
    // answers than 19 for each of the 9 keys, one key at least has the answers a weak key needs.
    drill(9 * 19 + 1);
    for (int i = 0; i < 100 && window->drillCount() < 2; ++i)
        QCoreApplication::processEvents();
    EXPECT_EQ(window->drillCount(), 2u);

    // 苦手なキーを練習 prepares the main window with the weak keys' pool.
    ASSERT_FALSE(window->weakPool().empty());
    ASSERT_TRUE(window->practiseButton->isEnabled());
    QTest::mouseClick(window->practiseButton, Qt::LeftButton);
    EXPECT_TRUE(prepared());
    EXPECT_EQ(form->drill().Pool, window->weakPool());
    EXPECT_EQ(form->drill().rowsLabel(), "weak");

    // Not in the middle of a drill: it says why instead of the keys it would drill.
    const QString keysLine = window->practiseNote->text();
    EXPECT_TRUE(keysLine.contains(QStringLiteral("練習するキー: "))) << keysLine.toStdString();
    key(Qt::Key_Space);
    ASSERT_TRUE(form->drill().Running);
    QTest::mouseClick(window->practiseButton, Qt::LeftButton);
    EXPECT_FALSE(window->practiseNote->text().isEmpty());
    EXPECT_NE(window->practiseNote->text(), keysLine);
    EXPECT_TRUE(form->drill().Running);
    EXPECT_TRUE(errors.empty());
}
