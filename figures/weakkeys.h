// SPDX-License-Identifier: GPL-3.0-or-later
// The drills the progress window prepares: the weak keys and their pool, one finger's keys, and the
// weak keys of a drill of slow transitions. What each character weighs in them comes from its
// figures (progressfigures.h, fingerfigures.h).
#pragma once

#include "figures/fingerfigures.h"
#include "figures/fingermap.h"
#include "figures/progressfigures.h"

#include <cstddef>
#include <string>
#include <vector>

namespace touchdrill::figures {

// How strongly each weak key is drilled, and the pool that repeats it that often.
struct WeakKey {
    unsigned char code = 0;
    double cost = 0; // milliseconds per correct answer, counting each wrong key as one more try
    int weight = 0; // times the key stands in the pool
    // Whether its cost is credibly above the middle of the kind's; the others in the pool are there
    // so that the drill has some variety.
    bool weak = true;
};

inline constexpr std::size_t MinWeakKeys = 3;
inline constexpr std::size_t MaxWeakKeys = 15;
inline constexpr int MaxWeight = 4;

// A character's cost: its median time divided by its recent accuracy, what one correct answer
// costs when each wrong key counts as one more try; infinite without a median or a hit lately. The
// median, as a mean over a handful of skewed times is mostly its slowest one. A character whose
// drills of the kind all predate the kept answers costs its recent average over its accuracy, as
// before answers were kept.
double weaknessCost(const KeySummary& key);

// Whether a character takes part in the ranking of weak keys. When any of them kept answers, those
// with enough answers (enoughAnswers()) do and the ones without kept answers do not: a mean reads
// slower than the median of the same skewed answers, so the two cannot be ranked together. When
// none did (a history from before answers were kept), those with at least MinAnswers recent
// answers (enoughForAccuracy()) do, by their averages, so that the weak-key drill does not stop
// for a learner until new drills bring answers.
bool ranksAsWeakKey(const KeySummary& key, bool anyAnswersKept);
bool anyAnswersKept(const std::vector<KeySummary>& keys);

// The weak keys, costliest first. Only the characters that rank (ranksAsWeakKey()) are ranked;
// the rest are left out of the middle as well, their figures being mostly chance.
//
// A character's cost is known only as well as its answers tell it (on a log scale, its error is
// medianLogError and the accuracy's), and the costliest by their point values are mostly the
// unluckiest draws. So a character is called weak only when its cost lies above the middle of
// the kind's (the median of the costs) by more than its error allows at 5 % over all the
// characters ranked (Bonferroni), and the characters are ranked by their costs shrunk towards that
// middle, each by its own error (empirical Bayes: the spread between the characters' costs beyond
// what their errors explain, over that spread and its error). A character never answered lately
// (an infinite cost) is weak. The pool holds at most MaxWeakKeys
// weak keys, each weighing its cost over the middle, rounded, from 1 to MaxWeight; with fewer than
// MinWeakKeys the costliest others once each, not marked weak; with none, every character ranked
// once: the kind's keys evenly. A history from before answers were kept ranks the averages as
// they are.
std::vector<WeakKey> weakKeys(const std::vector<KeySummary>& keys);

// Whether any of the keys is credibly weak.
bool anyWeak(const std::vector<WeakKey>& keys);

// The practice pool: each weak key `weight` times in a row, in code order. Empty without history.
std::string weakKeyPool(const std::vector<WeakKey>& keys);

// One finger's drill: its characters that the learner has practised enough to rank
// (ranksAsWeakKey() among `practised`, the summaries of the kind shown), weighted among themselves
// as weakKeys() weighs weak keys, so that the drill leans on the finger's slow keys and not on keys
// never met; before any of them has, every character of the finger once, the Shift characters
// included. fingerPool() is weakKeyPool() of them.
std::vector<WeakKey> fingerKeys(
    const FingerMap& map, Finger finger, const std::vector<KeySummary>& practised = {});
std::string fingerPool(const FingerMap& map, Finger finger, const std::vector<KeySummary>& practised = {});

// The weak keys of a drill of slow transitions: a weak key whose slowness comes from one previous
// key (slowFrom) that is itself among the weak keys weighs PairBoost times as much, up to
// PairBoost * MaxWeight, so that the transition comes up that much more often; the pool is then
// weakKeyPool() of them. A previous key that is no weak key is not in the pool and cannot bring
// the transition, so it changes nothing.
inline constexpr int PairBoost = 2;
std::vector<WeakKey> pairWeakKeys(const std::vector<WeakKey>& weak, const FingerFigures& figures);

} // namespace touchdrill::figures
