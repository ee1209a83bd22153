// SPDX-License-Identifier: GPL-3.0-or-later
#include "drill/drillengine.h"
#include "tests/support/fakewindow.h"

#include <gtest/gtest.h>

#include <map>
#include <stdexcept>

using namespace touchdrill;
using namespace touchdrill::testing;

namespace {

class DrillEngineTest : public ::testing::Test {
protected:
    FakeWindow window;
    FakeClock clock;
    RandomGenerator random;
    int drillEnds = 0;
    DrillEngine engine { window, clock, random, [this] { ++drillEnds; } };

    char press(char c)
    {
        char key = c;
        engine.FormKeyPress(key);
        return key;
    }
    void prepare(RowChoices rows = { .home = true }) { engine.Button1Click(rows); }
    void answer() { press(static_cast<char>(engine.TargetChar)); }
};

} // namespace

TEST_F(DrillEngineTest, unpreparedIgnoresEveryKeyAndConsumesIt)
{
    for (char c : std::string(" a;\r\t\x7f")) {
        SCOPED_TRACE(static_cast<int>(c));
        EXPECT_EQ(press(c), 0);
        EXPECT_FALSE(engine.Running);
        EXPECT_EQ(window.target, "X");
        EXPECT_EQ(window.wrong, "X");
        EXPECT_FALSE(window.timerEnabled);
    }
}

TEST_F(DrillEngineTest, prepareNeedsANonEmptyPool)
{
    struct Row {
        const char* name;
        RowChoices rows;
        bool prepared;
    };
    const Row table[] = {
        { "nothing ticked", {}, false },
        { "only capitals", { .capitals = true }, false },
        { "one row", { .lower = true }, true },
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.name);
        window.button = true;
        // The last drill's numbers: one hit on 'a' and one wrong key while it was the target.
        engine.preparePool("a", "last");
        press(' ');
        press('q');
        answer();
        press(' ');
        ASSERT_EQ(engine.wrongKeys().count('a', 'q'), 1u);
        prepare(row.rows);
        EXPECT_EQ(window.button, !row.prepared);
        // Only a successful prepare clears the last drill's numbers.
        EXPECT_EQ(engine.Stats['a'].Hits, row.prepared ? 0u : 1u);
        EXPECT_EQ(engine.wrongKeys().count('a', 'q'), row.prepared ? 0u : 1u);
        EXPECT_EQ(engine.wrongKeys().total('a'), row.prepared ? 0u : 1u);
        EXPECT_EQ(engine.rowsLabel(), row.prepared ? rowsLabel(row.rows) : "last");
        EXPECT_EQ(engine.startedUtcMs() == 0, row.prepared);
        press(' ');
        EXPECT_EQ(engine.Running, row.prepared);
        if (engine.Running)
            press(' ');
    }
}

TEST_F(DrillEngineTest, prepareClearsStatsOfCharactersOutsideTheNewPool)
{
    engine.Stats['~'] = { 700, 3 };
    engine.Stats['!'] = { 1, 1 };
    prepare({ .numbers = true });
    EXPECT_EQ(engine.Stats['~'].Total, 0u);
    EXPECT_EQ(engine.Stats['~'].Hits, 0u);
    EXPECT_EQ(engine.Stats['!'].Hits, 0u);
}

TEST_F(DrillEngineTest, spaceStartsAPreparedDrillAndShowsATargetAtOnce)
{
    clock.timeOfDay = 12345;
    prepare();
    window.gaugePosition = 70;
    EXPECT_EQ(press(' '), 0);
    EXPECT_TRUE(engine.Running);
    ASSERT_EQ(window.target.size(), 1u);
    EXPECT_NE(std::string(HomeRow).find(window.target[0]), std::string::npos);
    EXPECT_EQ(static_cast<unsigned char>(window.target[0]), engine.TargetChar);
    EXPECT_EQ(window.wrong, "");
    EXPECT_EQ(window.gaugePosition, 0);
    EXPECT_TRUE(window.timerEnabled);
    EXPECT_EQ(engine.ShownAt, clock.ticks);
    // Reseeded from the time of day, then one draw from the 9-character pool.
    RandomGenerator expected(12345);
    EXPECT_EQ(window.target[0], HomeRow[expected.draw(9)]);
}

TEST_F(DrillEngineTest, correctWrongAndSpaceKeys)
{
    prepare();
    press(' ');
    const unsigned char first = engine.TargetChar;
    const char wrongKey = first == 'a' ? 's' : 'a';
    EXPECT_EQ(engine.startedUtcMs(), clock.utcMs);
    clock.utcMs += 60'000;

    clock.ticks += 100;
    press(wrongKey);
    clock.ticks += 200;
    press('&');
    EXPECT_EQ(window.wrong, "&");
    EXPECT_EQ(engine.TargetChar, first) << "a wrong key keeps the target";
    EXPECT_EQ(engine.Stats[wrongKey].Hits, 0u);
    EXPECT_EQ(engine.Stats[first].Hits, 0u);
    EXPECT_EQ(engine.wrongKeys().total(first), 2u);
    EXPECT_EQ(engine.wrongKeys().count(first, static_cast<unsigned char>(wrongKey)), 1u);
    EXPECT_EQ(engine.wrongKeys().count(first, '&'), 1u);
    EXPECT_EQ(engine.wrongKeys().total(static_cast<unsigned char>(wrongKey)), 0u)
        << "counted under the target";

    clock.ticks += 223; // 523 ms after the target appeared: wrong keys do not restart the clock
    answer();
    EXPECT_EQ(engine.Stats[first].Total, 523u);
    EXPECT_EQ(engine.Stats[first].Hits, 1u);
    EXPECT_NE(engine.TargetChar, first);
    EXPECT_EQ(window.wrong, "");
    EXPECT_EQ(engine.ShownAt, clock.ticks);

    window.wrong = "q";
    window.gaugePosition = 42;
    EXPECT_EQ(drillEnds, 0);
    EXPECT_EQ(engine.endedUtcMs(), 0);
    EXPECT_EQ(press(' '), 0);
    EXPECT_EQ(engine.endedUtcMs(), clock.utcMs);
    EXPECT_EQ(engine.startedUtcMs(), clock.utcMs - 60'000);
    EXPECT_EQ(engine.wrongKeys().total(first), 2u) << "the drill's end keeps the counts for the history";
    EXPECT_FALSE(engine.Running);
    EXPECT_FALSE(window.timerEnabled);
    EXPECT_TRUE(window.button);
    EXPECT_EQ(window.target, "");
    EXPECT_EQ(window.wrong, "q") << "the last wrong key stays";
    EXPECT_EQ(window.gaugePosition, 42) << "the gauge stays";
    EXPECT_EQ(drillEnds, 1);
}

TEST_F(DrillEngineTest, timingAddsTrueElapsedTimesAcrossACounterWrap)
{
    struct Row {
        const char* name;
        uint32_t shownAt;
        uint32_t elapsed;
    };
    const Row table[] = {
        { "ordinary", 5000, 523 },
        { "zero time", 5000, 0 },
        { "wrap between show and answer", 0xFFFFFF00u, 0x300 },
        { "show exactly at the wrap", 0, 77 },
        { "hours of thinking", 123, 5u * 3600 * 1000 },
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.name);
        window.button = true;
        prepare();
        clock.ticks = row.shownAt;
        press(' ');
        const unsigned char target = engine.TargetChar;
        clock.ticks = row.shownAt + row.elapsed;
        answer();
        EXPECT_EQ(engine.Stats[target].Total, row.elapsed);
        EXPECT_EQ(engine.Stats[target].Hits, 1u);
        press(' ');
    }
}

TEST_F(DrillEngineTest, totalsAndHitsWrapModulo2To32)
{
    prepare({ .upper = true });
    press(' ');
    const unsigned char target = engine.TargetChar;
    engine.Stats[target] = { 0xFFFFFF00u, 0xFFFFFFFFu };
    clock.ticks += 0x200;
    answer();
    EXPECT_EQ(engine.Stats[target].Total, 0x100u);
    EXPECT_EQ(engine.Stats[target].Hits, 0u);
}

TEST_F(DrillEngineTest, neverTheSameTargetTwiceInARowEvenAcrossDrills)
{
    prepare({ .home = true });
    for (int drill = 0; drill < 50; ++drill) {
        clock.timeOfDay = static_cast<uint32_t>(drill * 7919);
        window.button = true;
        prepare({ .home = true });
        const unsigned char last = engine.TargetChar;
        press(' ');
        EXPECT_NE(engine.TargetChar, last) << "the new drill opened with the last target, drill " << drill;
        for (int i = 0; i < 40; ++i) {
            const unsigned char before = engine.TargetChar;
            answer();
            ASSERT_NE(engine.TargetChar, before);
        }
        press(' ');
    }
}

TEST_F(DrillEngineTest, backslashDrawnAboutTwiceAsOftenAsAnotherSymbol)
{
    prepare({ .symbols = true });
    press(' ');
    std::map<unsigned char, int> shown;
    const int answers = 330000;
    for (int i = 0; i < answers; ++i) {
        ++shown[engine.TargetChar];
        answer();
    }
    ASSERT_EQ(shown.size(), 32u);
    // Without repeats a character drawn with probability p shows at about p/(1+p) of the places:
    // 2/33 gives 2/35 for the backslash, 1/33 gives 1/34 for the others; ratio 68/35 = 1.94.
    // Each count is near 10,000; six standard deviations are well inside these bounds.
    double others = 0;
    for (auto [c, n] : shown)
        if (c != '\\')
            others += n;
    others /= 31;
    const double ratio = shown['\\'] / others;
    EXPECT_GT(ratio, 1.80);
    EXPECT_LT(ratio, 2.10);
}

TEST_F(DrillEngineTest, gaugeStepsByOneAndHoldsAtFull)
{
    prepare();
    press(' ');
    for (int i = 1; i <= 100; ++i) {
        engine.Timer1Timer();
        ASSERT_EQ(window.gaugePosition, i);
    }
    engine.Timer1Timer();
    EXPECT_EQ(window.gaugePosition, 100);
    answer();
    EXPECT_EQ(window.gaugePosition, 0) << "a new target empties the gauge";
}

TEST_F(DrillEngineTest, onlySpaceEndsADrillWithNoHitsAndTheEndCanFail)
{
    DrillEngine failing(window, clock, random, [] { throw std::runtime_error("disk"); });
    failing.Button1Click({ .home = true });
    char key = ' ';
    failing.FormKeyPress(key);
    ASSERT_TRUE(failing.Running);
    key = ' ';
    EXPECT_THROW(failing.FormKeyPress(key), std::runtime_error);
    // The drill had already ended when the results step failed; the space was not consumed.
    EXPECT_EQ(key, ' ');
    EXPECT_FALSE(failing.Running);
    EXPECT_FALSE(window.timerEnabled);
    EXPECT_TRUE(window.button);
    for (int c = FirstCode; c <= LastCode; ++c)
        EXPECT_EQ(failing.Stats[c].Hits, 0u);
}

TEST_F(DrillEngineTest, aSpaceWhileUnpreparedAfterADrillDoesNotRestart)
{
    prepare();
    press(' ');
    press(' ');
    ASSERT_EQ(drillEnds, 1);
    press(' ');
    EXPECT_FALSE(engine.Running);
    EXPECT_EQ(drillEnds, 1);
}

TEST_F(DrillEngineTest, hoursOfAnswersAcrossACounterWrapAddUpExactly)
{
    prepare({ .numbers = true, .upper = true });
    clock.ticks = 0xFFFFFFFFu - 3'600'000u; // the counter wraps an hour into the drill
    press(' ');
    uint64_t expectedTotal[128] = {};
    uint32_t expectedHits[128] = {};
    uint32_t expectedWrong[128] = {};
    RandomGenerator thinking(42);
    uint64_t elapsedInDrill = 0;
    while (elapsedInDrill < 5ull * 3600 * 1000) { // five hours
        const uint32_t ms = 1 + thinking.draw(3000);
        const char wrong = engine.TargetChar == 'a' ? 'b' : 'a'; // not in this pool
        clock.ticks += ms / 2;
        press(wrong);
        if (ms % 3 == 0) {
            press('\xa5'); // a byte above ASCII counts as a wrong key too
            ++expectedWrong[engine.TargetChar];
        }
        clock.ticks += ms - ms / 2;
        expectedTotal[engine.TargetChar] += ms;
        ++expectedHits[engine.TargetChar];
        answer();
        elapsedInDrill += ms;
    }
    for (int c = FirstCode; c <= LastCode; ++c) {
        SCOPED_TRACE(static_cast<char>(c));
        EXPECT_EQ(engine.Stats[c].Total, static_cast<uint32_t>(expectedTotal[c]));
        EXPECT_EQ(engine.Stats[c].Hits, expectedHits[c]);
        EXPECT_EQ(engine.wrongKeys().count(c, 0xa5), expectedWrong[c]);
        EXPECT_EQ(engine.wrongKeys().total(c), expectedHits[c] + expectedWrong[c]);
    }
    EXPECT_GT(expectedHits['5'], 100u);
}

TEST_F(DrillEngineTest, preparePoolPreparesWithAGivenPoolAndLabel)
{
    struct Row {
        const char* name;
        std::string pool;
        bool runningBefore;
        std::string expectedPool; // empty: not prepared
        bool preparedBefore = false;
    };
    const Row table[] = {
        { "weighted pool", "aasdf", false, "aasdf" },
        { "bytes outside the practice characters dropped", std::string("a\x01 b\x7f\xa5~", 7), false, "ab~" },
        { "nothing left", " \t", false, "" },
        { "empty", "", false, "" },
        { "ignored while a drill runs", "zz", true, "" },
        { "nothing left while prepared keeps the pool prepared", " \t", false, "", true },
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.name);
        window.button = true;
        prepare({ .home = true });
        if (row.runningBefore)
            press(' ');
        else if (!row.preparedBefore)
            window.button = true; // as after the last drill's end
        engine.Stats['a'] = { 5, 1 };
        const bool prepared = !row.expectedPool.empty();
        EXPECT_EQ(engine.preparePool(row.pool, "weak"), prepared);
        EXPECT_EQ(engine.Stats['a'].Hits, prepared ? 0u : 1u);
        EXPECT_EQ(engine.rowsLabel(), prepared ? "weak" : "h");
        EXPECT_EQ(engine.Running, row.runningBefore);
        if (row.runningBefore || row.preparedBefore) {
            EXPECT_EQ(engine.Pool, HomeRow);
            EXPECT_FALSE(window.button);
            press(' ');
            if (row.preparedBefore) {
                EXPECT_NE(std::string(HomeRow).find(static_cast<char>(engine.TargetChar)), std::string::npos);
                press(' ');
            }
            continue;
        }
        EXPECT_EQ(window.button, !prepared);
        if (!prepared)
            continue;
        EXPECT_EQ(engine.Pool, row.expectedPool);
        press(' ');
        EXPECT_NE(row.expectedPool.find(static_cast<char>(engine.TargetChar)), std::string::npos);
        press(' ');
    }
}

TEST_F(DrillEngineTest, answerLogKeepsEveryAnswerInOrderWithItsWrongKeys)
{
    // A script of keys: a digit is that many hundred ms passing, '=' the right key, ' ' the
    // drill's end, anything else a wrong key. An answer is written as its ms ('!' when unanswered)
    // and each wrong key as typed@ms.
    struct Row {
        const char* name;
        std::string script;
        std::vector<std::string> expected;
    };
    const Row table[] = {
        { "right keys only", "3=5=1= ", { "300", "500", "100" } },
        { "wrong keys timed from the target's showing", "1x2y=4=", { "300 x@100 y@300", "400" } },
        { "the last target's wrong keys kept unanswered", "2=1q3w ", { "200", "! q@100 w@400" } },
        { "the last target without wrong keys leaves no answer", "2=7 ", { "200" } },
        { "a byte above ASCII, no time passing", "\xa5=", { "0 \xa5@0" } },
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        window.button = true;
        prepare();
        press(' ');
        std::vector<unsigned char> targets;
        for (char step : row.script) {
            if (step >= '1' && step <= '9')
                clock.ticks += 100u * uint32_t(step - '0');
            else if (step == '=' || step == ' ') {
                targets.push_back(engine.TargetChar);
                press(step == '=' ? static_cast<char>(engine.TargetChar) : ' ');
            } else
                press(step); // none of them in the home row
        }
        const AnswerLog& log = engine.answerLog();
        ASSERT_EQ(log.answers().size(), row.expected.size());
        for (std::size_t i = 0; i < row.expected.size(); ++i) {
            const LoggedAnswer& answer = log.answers()[i];
            std::string got = answer.answered ? std::to_string(answer.ms) : "!";
            for (const LoggedWrongKey& wrong : log.wrongKeysOf(i))
                got += " " + std::string(1, static_cast<char>(wrong.typed)) + "@" + std::to_string(wrong.ms);
            EXPECT_EQ(got, row.expected[i]) << "answer " << i;
            EXPECT_EQ(answer.target, targets[i]);
        }
        if (engine.Running)
            press(' ');
    }
    // The pool's different characters; a new prepare empties the log.
    EXPECT_EQ(engine.preparePool("aasdf", "weak"), true);
    EXPECT_EQ(engine.poolSize(), 4u);
    EXPECT_TRUE(engine.answerLog().answers().empty());
    prepare(
        { .numbers = true, .upper = true, .home = true, .lower = true, .symbols = true, .capitals = true });
    EXPECT_EQ(engine.poolSize(), 94u);
}
