// SPDX-License-Identifier: GPL-3.0-or-later
// The figures of fingers, hands and transitions over the answers of one kind of drill: what the
// progress window's finger view and transition table show, worked out in one call.
//
// Times are the answered answers' milliseconds (an answer cut off by the drill's end has none).
// Each median's 95 % interval is that of its sittings' medians (medianInterval()): the day's form
// moves every answer of a sitting, and thousands of answers from a few sittings would otherwise
// give an interval a few ms wide about the median of those sittings alone. None before
// EnoughAnswers sittings. The accuracy is hits / (hits + wrong keys), as everywhere in the history,
// with the Wilson score interval at 95 %, which treats each key typed as one try.
//
// The slow finger: a finger is named only when its median's interval over its answers lies wholly
// above the median of every answer of the kind (all fingers pooled). The two come from the same
// drills, so the day's form moves both alike. Eight fingers are asked at once, so that interval is
// taken at 1 - 0.05 / 8 (Bonferroni): a learner whose fingers are all alike is told of a slow one
// in at most 5 % of histories, not in the 1 - 0.975^8 = 18 % eight 95 % intervals give. Of several
// such fingers, the one furthest above is named.
//
// Transitions: each answered answer after the first of its drill is classed by its target's finger
// against that of the target before it: the same finger (the same key included), another finger
// of the same hand, or the other hand. An answer on which the Shift key changes (one of the two
// characters is a Shift character and the other not, or both are but held by different hands) is
// counted apart, in the Shift row of its class, since pressing or moving Shift costs time of its
// own. The Shift finger is not the finger of the class: 'A' after 'q' is the left little finger
// twice, with Shift pressed.
//
// Pairs: every ordered pair (previous -> target) with at least MinPairAnswers answers. The slowest
// of thousands of pairs by their answers' medians are mostly the luckiest draws (a third slower
// than their target for a learner whose times do not depend on the key before), so each pair's
// difference from its target's median (on a log scale) is shrunk by how much of the pairs' spread
// its own sampling explains (empirical Bayes), and the ten slowest by the shrunk medians are shown,
// slowest first, with the interval that shrinking leaves. A target's slowness comes from one
// previous key when its slowest pair's interval over its answers lies wholly above the target's
// median over all its answers after a previous key (its drills' first answers aside), at
// 1 - 0.05 / (every pair tested, of every target): chance alone marks a key in at most 5 % of
// histories.
#pragma once

#include "figures/answerstats.h"
#include "figures/fingermap.h"
#include "figures/progressfigures.h"
#include "history/historydigest.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace touchdrill::figures {

// The figures cover the latest drills of a kind that hold this many answers: a learner changes,
// and a finger slow a year ago says little about today. As many as this, because an every-row
// drill brings some 8,900 ordered pairs, and only at 100,000 answers do most of them reach
// MinPairAnswers (11 on average). It is 167 drills of every row, 1,667 of the home row.
inline constexpr std::size_t FingerWindow = 100'000;
inline constexpr std::size_t MinPairAnswers = 10;
inline constexpr std::size_t SlowestPairs = 10;

// The times and the accuracy of a group of answers (a finger's, a hand's, every one).
struct GroupFigures {
    std::size_t timed = 0; // answered answers, the times' sample
    std::optional<Estimate> median; // with its 95 % interval from EnoughAnswers answers
    uint64_t hits = 0;
    uint64_t wrong = 0;
    std::optional<Estimate> accuracy; // 0..1; none without hits or wrong keys
};

enum class Transition : uint8_t { SameFinger, SameHand, OtherHand };
inline constexpr std::size_t TransitionCount = 3;

struct TimeGroup {
    std::size_t timed = 0;
    std::optional<Estimate> median;
};

struct PairFigures {
    unsigned char previous = 0;
    unsigned char target = 0;
    std::size_t timed = 0;
    Estimate median; // shrunk towards its target's, with the interval shrinking leaves
    double answersMedian = 0; // the median of its answers as they are
};

struct SlowFinger {
    Finger finger = Finger::LeftLittle;
    double aboveMs = 0; // its median less the median of every answer
};

struct FingerFigures {
    std::array<GroupFigures, FingerCount> fingers;
    std::array<GroupFigures, 2> hands; // by Hand
    GroupFigures all;
    std::optional<SlowFinger> slowFinger;
    // By Transition: [0] without a change of Shift, [1] with one.
    std::array<std::array<TimeGroup, 2>, TransitionCount> transitions;
    std::vector<PairFigures> slowestPairs; // at most SlowestPairs, slowest first
    std::size_t pairsRanked = 0; // the pairs with enough answers they were picked from
    std::size_t mostPairAnswers = 0; // of the pair answered most: how near the first is to ranking
    // Per target ('!'..'~' at code - FirstCode): the previous key its slowness comes from, 0 for
    // none.
    std::array<unsigned char, CodeCount> slowFrom {};
};

// The figures over the latest of `drills` (oldest first) for which `chosen` (by drill id) is true,
// every drill without it: the latest that hold at least `windowAnswers` answers between them.
FingerFigures fingerFigures(std::span<const DrillAnswers> drills, const FingerMap& map,
    const std::function<bool(int64_t drillId)>& chosen = {}, std::size_t windowAnswers = FingerWindow);

// The drills of one kind among a history's, for fingerFigures' `chosen`.
std::function<bool(int64_t)> drillsOfKind(const std::vector<DrillTotals>& drills, const std::string& rows);

// 「右手の小指が遅い（中央値 +85 ms）」, or empty when no finger is slow.
std::string slowFingerSentence(const FingerFigures& figures);

// 「同じ指」「同じ手の別の指」「反対の手」, with 「（Shift あり）」 for the Shift row.
std::string transitionName(Transition transition, bool shiftChange);

// The Wilson score interval of `hits` in `tries` at 95 %; none for no tries.
std::optional<Estimate> wilsonAccuracy(uint64_t hits, uint64_t tries);

} // namespace touchdrill::figures
