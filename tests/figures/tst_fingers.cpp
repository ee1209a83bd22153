// SPDX-License-Identifier: GPL-3.0-or-later
// The finger map against a table of the keyboard written out by hand, its [Fingers] overrides,
// and the figures of fingers, hands and transitions, checked by hand-made drills and by simulated
// learners with one slow finger or none.
#include "figures/fingerfigures.h"
#include "figures/fingermap.h"
#include "figures/weakkeys.h"

#include "drill/practiceset.h"
#include "tests/support/learnermodel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <iostream>
#include <map>

using namespace touchdrill::history;
using namespace touchdrill::figures;
using touchdrill::CodeCount;
using touchdrill::FirstCode;
using touchdrill::LastCode;
using touchdrill::testing::ExGaussian;
using touchdrill::testing::Learner;

namespace {

// Each finger's keys as they sit on the board, left to right and top to bottom, each key's plain
// character followed by its Shift character (the 0 key has none; ¥ and ろ both type '\').
const std::map<Finger, std::string> ByHand {
    { Finger::LeftLittle, "1!qQaAzZ" },
    { Finger::LeftRing, "2\"wWsSxX" },
    { Finger::LeftMiddle, "3#eEdDcC" },
    { Finger::LeftIndex, "4$5%rRtTfFgGvVbB" },
    { Finger::RightIndex, "6&7'yYuUhHjJnNmM" },
    { Finger::RightMiddle, "8(iIkK,<" },
    { Finger::RightRing, "9)oOlL.>" },
    { Finger::RightLittle, "0-=^~\\|pP@`[{;+:*]}/?_" },
};
const std::string ShiftCharacters = "!\"#$%&'()=~|`{+*}<>?_ABCDEFGHIJKLMNOPQRSTUVWXYZ";

Answer answer(char target, char previous, uint32_t ms, std::size_t wrongKeys = 0, bool answered = true)
{
    Answer a;
    a.target = static_cast<unsigned char>(target);
    a.previous = static_cast<unsigned char>(previous);
    a.ms = ms;
    a.wrongKeys.assign(wrongKeys, WrongKey { 'x', ms / 2 });
    a.answered = answered;
    return a;
}

std::pair<unsigned char, unsigned char> pairOf(char previous, char target)
{
    return { static_cast<unsigned char>(previous), static_cast<unsigned char>(target) };
}

// One drill of these targets in order, each answered in `ms`.
DrillAnswers drillOf(std::string_view targets, uint32_t ms, int64_t id = 1)
{
    DrillAnswers drill { id, {} };
    char previous = 0;
    for (const char c : targets) {
        drill.answers.push_back(answer(c, previous, ms));
        previous = c;
    }
    return drill;
}

} // namespace

TEST(FingerMap, everyCharacterHasTheFingerOfItsKey)
{
    std::string seen;
    for (const auto& [finger, characters] : ByHand) {
        std::string sorted = characters;
        std::sort(sorted.begin(), sorted.end());
        EXPECT_EQ(FingerMap::standard().characters(finger), sorted) << fingerKey(finger);
        EXPECT_EQ(fingerPool(FingerMap::standard(), finger), sorted);
        seen += characters;
    }
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen.size(), 94u);
    EXPECT_EQ(std::unique(seen.begin(), seen.end()), seen.end());

    for (int code = FirstCode; code <= LastCode; ++code) {
        const auto c = static_cast<unsigned char>(code);
        const bool shifted = ShiftCharacters.find(static_cast<char>(c)) != std::string::npos;
        EXPECT_EQ(FingerMap::standard().shifted(c), shifted) << c;
        // Shift is held by the other hand's little finger.
        const Hand own = handOf(FingerMap::standard().finger(c));
        EXPECT_EQ(FingerMap::standard().shiftHand(c),
            shifted ? std::optional(own == Hand::Left ? Hand::Right : Hand::Left) : std::nullopt)
            << c;
    }
}

TEST(FingerMap, overridesTakeWhatTheyCanAndSayWhatTheyLeft)
{
    using Entries = std::vector<std::pair<std::string, std::string>>;
    struct Row {
        const char* name;
        Entries entries;
        std::map<char, Finger> changed; // every other character keeps its finger
        std::string status;
    };
    const std::string ignored1 = "[Fingers] の 1 行を無視しました: ";
    const Row table[] = {
        { "a plain character, its Shift character kept", { { "6", "left-index" } },
            { { '6', Finger::LeftIndex } }, "" },
        { "codes for what an INI key cannot hold",
            { { "0x3d", "left-little" }, { "0X3B", "left-ring" }, { "0x5b", "right-index" } },
            { { '=', Finger::LeftLittle }, { ';', Finger::LeftRing }, { '[', Finger::RightIndex } }, "" },
        { "finger names ignore case, characters do not", { { "Q", "Left-Ring" } },
            { { 'Q', Finger::LeftRing } }, "" },
        { "no such finger", { { "6", "thumb" } }, {}, ignored1 + "6=thumb" },
        { "a character named twice: the first wins", { { "6", "left-index" }, { "0x36", "right-ring" } },
            { { '6', Finger::LeftIndex } }, ignored1 + "0x36=right-ring" },
        { "keys that name no practice character, three shown",
            { { "", "left-index" }, { "ab", "left-index" }, { "0x20", "left-index" },
                { "0x7f", "left-index" }, { "0xg1", "left-index" }, { "a", "left-index" } },
            { { 'a', Finger::LeftIndex } },
            "[Fingers] の 5 行を無視しました: =left-index、ab=left-index、0x20=left-index ほか 2 行" },
        { "exactly three: all shown, none more counted",
            { { "", "left-index" }, { "ab", "left-index" }, { "0x20", "left-index" } }, {},
            "[Fingers] の 3 行を無視しました: =left-index、ab=left-index、0x20=left-index" },
        { "a long line is cut between characters", { { "7", "xあああああああああああ" } }, {},
            ignored1 + "7=xあああああああああ…" },
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        const FingerMap::Applied applied = FingerMap::standard().withOverrides(row.entries);
        EXPECT_EQ(applied.status, row.status);
        for (int code = FirstCode; code <= LastCode; ++code) {
            const auto c = static_cast<char>(code);
            const auto changed = row.changed.find(c);
            EXPECT_EQ(applied.map.finger(static_cast<unsigned char>(c)),
                changed != row.changed.end() ? changed->second
                                             : FingerMap::standard().finger(static_cast<unsigned char>(c)))
                << c;
            EXPECT_EQ(applied.map.shifted(static_cast<unsigned char>(c)),
                FingerMap::standard().shifted(static_cast<unsigned char>(c)));
        }
    }
}

TEST(FingerFigures, transitionsAreClassedByFingerAndShift)
{
    struct Row {
        const char* pair; // previous, target
        Transition transition;
        bool shiftChange;
    };
    const Row table[] = {
        { "fr", Transition::SameFinger, false }, { "ff", Transition::SameFinger, false }, // the same key
        { "fd", Transition::SameHand, false }, { "fj", Transition::OtherHand, false },
        { "56", Transition::OtherHand, false }, { "p\\", Transition::SameFinger, false },
        { "qA", Transition::SameFinger, true }, // Shift goes down
        { "A!", Transition::SameFinger, false }, // held by the right hand for both
        { "AS", Transition::SameHand, false },
        { "AP", Transition::OtherHand, true }, // Shift moves to the other hand
        { "Pa", Transition::OtherHand, true }, // Shift comes up
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.pair);
        const DrillAnswers drill = drillOf(row.pair, 500);
        const FingerFigures figures = fingerFigures(std::span(&drill, 1), FingerMap::standard());
        for (std::size_t t = 0; t < TransitionCount; ++t)
            for (std::size_t s = 0; s < 2; ++s)
                EXPECT_EQ(figures.transitions[t][s].timed,
                    t == static_cast<std::size_t>(row.transition) && s == row.shiftChange ? 1u : 0u);
    }
    // An override moves the transition: 6 typed with the left index finger follows 5 on it.
    const DrillAnswers drill = drillOf("56", 500);
    const FingerMap moved = FingerMap::standard().withOverrides({ { "6", "left-index" } }).map;
    EXPECT_EQ(fingerFigures(std::span(&drill, 1), moved).transitions[0][0].timed, 1u);
}

// The histograms give the same medians as timeFigures() sorting the times, times beyond the
// histogram's range included (drills without times: one sitting, too few for an interval); the accuracy
// counts a cut-off answer's wrong keys, not its time; drills of another kind are left out.
TEST(FingerFigures, fingersHandsAndAllAgreeWithTheKeysFigures)
{
    Learner learner(22);
    const std::string pool = touchdrill::buildPool({ true, true, true, true, true, true });
    std::vector<DrillAnswers> drills;
    std::array<std::vector<uint32_t>, FingerCount> fingerMs;
    std::array<std::vector<uint32_t>, 2> handMs;
    std::vector<uint32_t> allMs;
    std::array<uint64_t, FingerCount> hits {}, wrong {};
    for (int64_t id = 1; id <= 4; ++id) {
        DrillAnswers drill { id, {} };
        unsigned char previous = 0;
        for (int i = 0; i < 300; ++i) {
            const auto target
                = static_cast<unsigned char>(pool[learner.below(static_cast<uint32_t>(pool.size()))]);
            // A slow beginner's times, many of them beyond four seconds.
            Answer a = answer(static_cast<char>(target), static_cast<char>(previous),
                learner.ms({ 2500, 600, 1500 }), learner.below(3) == 0 ? 1 : 0, i < 299);
            drill.answers.push_back(a);
            previous = target;
            if (id == 4)
                continue; // another kind's drill
            const std::size_t f = indexOf(FingerMap::standard().finger(target));
            wrong[f] += a.wrongKeys.size();
            if (!a.answered)
                continue;
            ++hits[f];
            fingerMs[f].push_back(a.ms);
            handMs[static_cast<std::size_t>(handOf(static_cast<Finger>(f)))].push_back(a.ms);
            allMs.push_back(a.ms);
        }
        drills.push_back(std::move(drill));
    }
    const std::vector<DrillTotals> totals { { {}, 1, 0, "nuhlsc" }, { {}, 2, 0, "nuhlsc" },
        { {}, 3, 0, "nuhlsc" }, { {}, 4, 0, "h" } };
    const FingerFigures figures
        = fingerFigures(drills, FingerMap::standard(), drillsOfKind(totals, "nuhlsc"));

    const auto same = [](const GroupFigures& group, const std::vector<uint32_t>& ms) {
        const TimeFigures expected = timeFigures(ms);
        EXPECT_EQ(group.timed, ms.size());
        ASSERT_TRUE(group.median && expected.median);
        EXPECT_DOUBLE_EQ(group.median->value, expected.median->value);
        EXPECT_FALSE(group.median->interval);
    };
    for (std::size_t f = 0; f < FingerCount; ++f) {
        SCOPED_TRACE(fingerKey(static_cast<Finger>(f)));
        same(figures.fingers[f], fingerMs[f]);
        EXPECT_EQ(figures.fingers[f].hits, hits[f]);
        EXPECT_EQ(figures.fingers[f].wrong, wrong[f]);
        EXPECT_DOUBLE_EQ(figures.fingers[f].accuracy->value, double(hits[f]) / double(hits[f] + wrong[f]));
    }
    same(figures.hands[0], handMs[0]);
    same(figures.hands[1], handMs[1]);
    same(figures.all, allMs);
    EXPECT_EQ(figures.all.hits, 3u * 299);
    EXPECT_GT(*std::max_element(allMs.begin(), allMs.end()), 4096u);
}

// The figures cover the latest drills of the kind holding the window's answers, older ones and
// other kinds left out.
TEST(FingerFigures, theLatestDrillsOfTheKind)
{
    const std::vector<DrillAnswers> drills { drillOf("aaaaaaaaaa", 100, 1), drillOf("aaaaaaaaaa", 200, 2),
        drillOf("aaaaaaaaaa", 300, 3) };
    struct Row {
        const char* name;
        std::size_t window;
        std::function<bool(int64_t)> chosen;
        std::size_t timed;
        double median;
    };
    const Row table[] = {
        { "every drill", SIZE_MAX, {}, 30, 200 },
        { "the latest two hold the window", 15, {}, 20, 250 },
        { "the latest drill holds it", 10, {}, 10, 300 },
        { "a drill of another kind counts no answers", 15, [](int64_t id) { return id != 3; }, 20, 150 },
    };
    for (const Row& row : table) {
        const FingerFigures figures = fingerFigures(drills, FingerMap::standard(), row.chosen, row.window);
        EXPECT_EQ(figures.all.timed, row.timed) << row.name;
        EXPECT_EQ(figures.all.median->value, row.median) << row.name;
    }
}

TEST(FingerFigures, wilsonIntervals)
{
    struct Row {
        uint64_t hits, tries;
        double low, high;
    };
    // The Wilson score interval at 95 %, to four places, worked out apart from the code.
    const Row table[] = { { 8, 10, 0.4902, 0.9433 }, { 10, 10, 0.7225, 1.0 }, { 0, 10, 0.0, 0.2775 },
        { 95, 100, 0.8882, 0.9785 } };
    for (const Row& row : table) {
        const std::optional<Estimate> accuracy = wilsonAccuracy(row.hits, row.tries);
        ASSERT_TRUE(accuracy && accuracy->interval);
        EXPECT_NEAR(accuracy->interval->low, row.low, 5e-4) << row.hits << "/" << row.tries;
        EXPECT_NEAR(accuracy->interval->high, row.high, 5e-4) << row.hits << "/" << row.tries;
    }
    EXPECT_FALSE(wilsonAccuracy(0, 0));
}

// Pairs: only those with ten answers are ranked, the slowest first; a key slow after one other is
// marked, and the drill of slow transitions weighs it more only when that other key is drilled too.
TEST(FingerFigures, slowPairsAndTheirDrill)
{
    std::string targets;
    for (int i = 0; i < 40; ++i)
        targets += "dkjkf";
    DrillAnswers drill = drillOf(targets, 400);
    for (Answer& a : drill.answers) {
        if (a.previous == 'd' && a.target == 'k')
            a.ms = 900; // k is slow after d, not after j
        if (a.previous == 'k' && a.target == 'f')
            a.ms = 500;
    }
    // Nine answers of s after k, slower still, are too few to rank.
    for (int i = 0; i < 9; ++i) {
        drill.answers.push_back(answer('k', drill.answers.back().target, 400));
        drill.answers.push_back(answer('s', 'k', 3000));
    }
    const FingerFigures figures = fingerFigures(std::span(&drill, 1), FingerMap::standard());
    ASSERT_GE(figures.slowestPairs.size(), 2u);
    EXPECT_EQ(std::pair(figures.slowestPairs[0].previous, figures.slowestPairs[0].target), pairOf('d', 'k'));
    EXPECT_EQ(figures.slowestPairs[0].median.value, 900);
    EXPECT_EQ(figures.slowestPairs[0].timed, 40u);
    EXPECT_EQ(std::pair(figures.slowestPairs[1].previous, figures.slowestPairs[1].target), pairOf('k', 'f'));
    for (const PairFigures& pair : figures.slowestPairs)
        EXPECT_GE(pair.timed, MinPairAnswers);
    EXPECT_EQ(figures.slowFrom['k' - FirstCode], 'd');
    EXPECT_EQ(figures.slowFrom['f' - FirstCode], 0) << "f is slow, but it comes after k alone";
    EXPECT_EQ(figures.slowFrom['s' - FirstCode], 0);
    EXPECT_EQ(figures.mostPairAnswers, 40u) << "d → k, k → j, j → k and k → f, each of the 40 rounds";

    struct Row {
        const char* name;
        std::vector<WeakKey> weak;
        std::string pool;
    };
    const Row table[] = {
        { "the previous key is drilled", { { 'k', 0, 2 }, { 'd', 0, 1 } }, "dkkkk" },
        { "the previous key is no weak key", { { 'k', 0, 2 }, { 'j', 0, 1 } }, "jkk" },
        { "the heaviest weak key doubled too", { { 'k', 0, 4 }, { 'd', 0, 1 } }, "d" + std::string(8, 'k') },
    };
    for (const Row& row : table)
        EXPECT_EQ(weakKeyPool(pairWeakKeys(row.weak, figures)), row.pool) << row.name;
}
