// SPDX-License-Identifier: GPL-3.0-or-later
#include "figures/fingerfigures.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace touchdrill::figures {

namespace {

// The times of a group of answers as counts per millisecond below Cap and the values above it: a
// history of thousands of drills is added up in one pass without sorting millions of times, and
// every order statistic stays exact.
class Histogram {
public:
    static constexpr uint32_t Cap = 4096;

    void add(uint32_t ms)
    {
        if (ms < Cap)
            ++m_counts[ms];
        else
            m_over.push_back(ms);
        ++m_size;
    }
    void add(const Histogram& other)
    {
        for (uint32_t i = 0; i < Cap; ++i)
            m_counts[i] += other.m_counts[i];
        m_over.insert(m_over.end(), other.m_over.begin(), other.m_over.end());
        m_size += other.m_size;
    }
    // Before at(): orders the values above Cap.
    void prepare() { std::sort(m_over.begin(), m_over.end()); }
    std::size_t size() const { return m_size; }

    // The value of sorted rank `rank` (1 = smallest, at most size()).
    double at(std::size_t rank) const
    {
        std::size_t seen = 0;
        for (uint32_t i = 0; i < Cap; ++i) {
            seen += m_counts[i];
            if (seen >= rank)
                return i;
        }
        return m_over[rank - seen - 1];
    }

    // The median as quantile() interpolates it, with the interval at `confidence`.
    std::optional<Estimate> median(double confidence = 0.95) const
    {
        if (m_size == 0)
            return std::nullopt;
        const double position = 0.5 * static_cast<double>(m_size - 1);
        const auto below = static_cast<std::size_t>(position);
        double value = at(below + 1);
        if (below + 1 < m_size)
            value += (position - static_cast<double>(below)) * (at(below + 2) - value);
        Estimate estimate { value, std::nullopt };
        if (const std::optional<Ranks> ranks = quantileRanks(m_size, 0.5, confidence))
            estimate.interval = Interval { at(ranks->low), at(ranks->high) };
        return estimate;
    }

private:
    std::vector<uint32_t> m_counts = std::vector<uint32_t>(Cap);
    std::vector<uint32_t> m_over;
    std::size_t m_size = 0;
};

// The median of values as quantile() gives it, reordering them; `values` not empty.
double medianInPlace(std::span<uint32_t> values)
{
    const std::size_t n = values.size();
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(n / 2);
    std::nth_element(values.begin(), middle, values.end());
    if (n % 2 == 1)
        return *middle;
    const uint32_t lower = *std::max_element(values.begin(), middle);
    return (static_cast<double>(lower) + *middle) / 2;
}

// The median and its interval at `confidence` of a few values, reordering them.
Estimate medianWithInterval(std::span<uint32_t> values, double confidence)
{
    Estimate estimate { medianInPlace(values), std::nullopt };
    if (const std::optional<Ranks> ranks = quantileRanks(values.size(), 0.5, confidence)) {
        const auto at = [&](std::size_t rank) {
            std::nth_element(
                values.begin(), values.begin() + static_cast<std::ptrdiff_t>(rank - 1), values.end());
            return static_cast<double>(values[rank - 1]);
        };
        estimate.interval = Interval { at(ranks->low), at(ranks->high) };
    }
    return estimate;
}

constexpr std::size_t pairIndex(unsigned char previous, unsigned char target)
{
    // By target first, so that the pairs into one target lie side by side.
    return static_cast<std::size_t>(target - FirstCode) * CodeCount
        + static_cast<std::size_t>(previous - FirstCode);
}

void fillTimes(GroupFigures& group, Histogram& times)
{
    times.prepare();
    group.timed = times.size();
    group.median = times.median();
    group.accuracy = wilsonAccuracy(group.hits, group.hits + group.wrong);
}

} // namespace

std::optional<Estimate> wilsonAccuracy(uint64_t hits, uint64_t tries)
{
    if (tries == 0)
        return std::nullopt;
    constexpr double Z = 1.959963984540054; // the normal distribution's 97.5th percentile
    const double n = static_cast<double>(tries);
    const double p = static_cast<double>(hits) / n;
    const double z2n = Z * Z / n;
    const double centre = (p + z2n / 2) / (1 + z2n);
    const double half = Z * std::sqrt(p * (1 - p) / n + z2n / (4 * n)) / (1 + z2n);
    return Estimate { p, Interval { std::max(0.0, centre - half), std::min(1.0, centre + half) } };
}

FingerFigures fingerFigures(std::span<const DrillAnswers> drills, const FingerMap& map,
    const std::function<bool(int64_t)>& chosen, std::size_t windowAnswers)
{
    FingerFigures figures;
    // Per finger, then added up per hand and in all: one count per answer.
    std::array<Histogram, FingerCount> fingerTimes;
    std::array<uint64_t, CodeCount> hits {}, wrong {};
    std::array<std::array<Histogram, 2>, TransitionCount> transitions;
    std::vector<uint32_t> pairCounts(CodeCount * CodeCount);
    std::vector<uint16_t> pairOf; // per answer after a previous one, its pair
    std::vector<uint32_t> pairMs; // and its time

    std::array<Finger, CodeCount> fingerOf {};
    std::array<uint8_t, CodeCount> shiftOf {}; // 0 none, 1 left hand, 2 right hand
    for (int code = FirstCode; code <= LastCode; ++code) {
        const auto c = static_cast<unsigned char>(code);
        fingerOf[c - FirstCode] = map.finger(c);
        const std::optional<Hand> shift = map.shiftHand(c);
        shiftOf[c - FirstCode] = shift ? static_cast<uint8_t>(1 + static_cast<int>(*shift)) : 0;
    }

    // The latest drills chosen that hold windowAnswers between them.
    std::size_t first = drills.size(), most = 0;
    while (first > 0 && most < windowAnswers) {
        --first;
        if (!chosen || chosen(drills[first].drillId))
            most += drills[first].answers.size();
    }
    pairOf.reserve(most);
    pairMs.reserve(most);
    // Per group (fingers, hands, every answer, transitions) its answers in the sitting under way and
    // the medians of the sittings before, for the groups' intervals.
    constexpr std::size_t HandGroup = FingerCount, AllGroup = FingerCount + 2, TransitionGroup = AllGroup + 1;
    std::array<std::vector<uint32_t>, TransitionGroup + 2 * TransitionCount> sittingMs;
    std::array<std::vector<double>, TransitionGroup + 2 * TransitionCount> sittingMedians;
    const auto endSitting = [&] {
        for (std::size_t g = 0; g < sittingMs.size(); ++g)
            if (!sittingMs[g].empty()) {
                sittingMedians[g].push_back(medianInPlace(sittingMs[g]));
                sittingMs[g].clear();
            }
    };
    const DrillAnswers* before = nullptr;
    for (const DrillAnswers& drill : drills.subspan(first)) {
        if (chosen && !chosen(drill.drillId))
            continue;
        if (before && !sameSitting(before->startedUtcMs, before->endedUtcMs, drill.startedUtcMs)) {
            endSitting();
        }
        before = &drill;
        for (const Answer& answer : drill.answers) {
            if (!isPracticeCode(answer.target))
                continue;
            const std::size_t t = answer.target - FirstCode;
            wrong[t] += answer.wrongKeys.size();
            if (!answer.answered)
                continue;
            ++hits[t];
            const Finger to = fingerOf[t];
            fingerTimes[indexOf(to)].add(answer.ms);
            sittingMs[indexOf(to)].push_back(answer.ms);
            sittingMs[HandGroup + static_cast<std::size_t>(handOf(to))].push_back(answer.ms);
            sittingMs[AllGroup].push_back(answer.ms);
            if (!isPracticeCode(answer.previous))
                continue;
            const std::size_t p = answer.previous - FirstCode;
            const Finger from = fingerOf[p];
            const Transition kind = from == to ? Transition::SameFinger
                : handOf(from) == handOf(to)   ? Transition::SameHand
                                               : Transition::OtherHand;
            const bool shift = shiftOf[p] != shiftOf[t];
            transitions[static_cast<std::size_t>(kind)][shift].add(answer.ms);
            sittingMs[TransitionGroup + 2 * static_cast<std::size_t>(kind) + shift].push_back(answer.ms);
            const std::size_t pair = pairIndex(answer.previous, answer.target);
            ++pairCounts[pair];
            pairOf.push_back(static_cast<uint16_t>(pair));
            pairMs.push_back(answer.ms);
        }
    }
    endSitting();
    // Each group's median has the interval of its sittings' medians: the day's form moves every
    // answer of a sitting, and thousands of answers from a few sittings tell the median of those
    // sittings, not the learner's.
    const auto bySittings = [&](std::optional<Estimate>& median, std::size_t group) {
        if (median)
            median->interval = medianInterval(sittingMedians[group]);
    };

    // Fingers, hands and every answer.
    std::array<Histogram, 2> handTimes;
    Histogram allTimes;
    for (std::size_t t = 0; t < CodeCount; ++t) {
        const std::size_t f = indexOf(fingerOf[t]);
        figures.fingers[f].hits += hits[t];
        figures.fingers[f].wrong += wrong[t];
    }
    for (std::size_t f = 0; f < FingerCount; ++f) {
        const auto h = static_cast<std::size_t>(handOf(static_cast<Finger>(f)));
        handTimes[h].add(fingerTimes[f]);
        figures.hands[h].hits += figures.fingers[f].hits;
        figures.hands[h].wrong += figures.fingers[f].wrong;
        fillTimes(figures.fingers[f], fingerTimes[f]);
    }
    for (std::size_t h = 0; h < 2; ++h) {
        allTimes.add(handTimes[h]);
        figures.all.hits += figures.hands[h].hits;
        figures.all.wrong += figures.hands[h].wrong;
        fillTimes(figures.hands[h], handTimes[h]);
    }
    fillTimes(figures.all, allTimes);
    for (std::size_t f = 0; f < FingerCount; ++f)
        bySittings(figures.fingers[f].median, f);
    bySittings(figures.hands[0].median, HandGroup);
    bySittings(figures.hands[1].median, HandGroup + 1);
    bySittings(figures.all.median, AllGroup);

    if (figures.all.median) {
        const double overall = figures.all.median->value;
        constexpr double EachOfEight = 1 - 0.05 / FingerCount;
        for (std::size_t f = 0; f < FingerCount; ++f) {
            const std::optional<Estimate> strict = fingerTimes[f].median(EachOfEight);
            if (!strict || !strict->interval || !(strict->interval->low > overall))
                continue;
            const double above = strict->value - overall;
            if (!figures.slowFinger || above > figures.slowFinger->aboveMs)
                figures.slowFinger = SlowFinger { static_cast<Finger>(f), above };
        }
    }

    for (std::size_t k = 0; k < TransitionCount; ++k)
        for (std::size_t s = 0; s < 2; ++s) {
            transitions[k][s].prepare();
            figures.transitions[k][s] = { transitions[k][s].size(), transitions[k][s].median() };
            bySittings(figures.transitions[k][s].median, TransitionGroup + 2 * k + s);
        }

    // Pairs: the times grouped by pair (a counting sort), then each pair's median.
    std::vector<std::size_t> start(pairCounts.size() + 1);
    std::partial_sum(pairCounts.begin(), pairCounts.end(), start.begin() + 1);
    std::vector<uint32_t> byPair(pairMs.size());
    {
        std::vector<std::size_t> next(start.begin(), start.end() - 1);
        for (std::size_t i = 0; i < pairMs.size(); ++i)
            byPair[next[pairOf[i]]++] = pairMs[i];
    }
    const auto timesOf = [&](std::size_t pair) {
        return std::span<uint32_t>(byPair).subspan(start[pair], pairCounts[pair]);
    };
    // Every pair with enough answers: its median and how far it lies from its target's median
    // after any previous key, on a log scale, with that difference's sampling variance.
    struct Ranked {
        std::size_t pair;
        double median, targetMedian, log, variance;
        double shrunk = 0; // log, shrunk towards the target's
    };
    std::vector<Ranked> ranked;
    std::vector<uint32_t> scratch;
    std::array<std::size_t, CodeCount> enough {}; // per target, its pairs with enough answers
    std::array<double, CodeCount> targetMedian {};
    for (std::size_t t = 0; t < CodeCount; ++t) {
        scratch.assign(byPair.begin() + static_cast<std::ptrdiff_t>(start[t * CodeCount]),
            byPair.begin() + static_cast<std::ptrdiff_t>(start[(t + 1) * CodeCount]));
        if (scratch.empty())
            continue;
        targetMedian[t] = medianInPlace(scratch);
        for (std::size_t p = 0; p < CodeCount; ++p) {
            const std::size_t pair = t * CodeCount + p;
            if (pairCounts[pair] < MinPairAnswers)
                continue;
            ++enough[t];
            const Estimate median = medianWithInterval(timesOf(pair), 0.95);
            const bool known
                = median.value > 0 && targetMedian[t] > 0 && median.interval && median.interval->low > 0;
            const double error
                = known ? std::log(median.interval->high / median.interval->low) / (2 * 1.96) : 0;
            ranked.push_back({ pair, median.value, targetMedian[t],
                known ? std::log(median.value / targetMedian[t]) : 0, error * error });
        }
    }
    // The slowest of thousands of pairs are mostly the luckiest draws: each pair's difference from
    // its target is shrunk by how much of the pairs' spread their sampling explains (empirical
    // Bayes), and the pairs are ranked and shown by the shrunk medians, with the interval that
    // shrinking leaves.
    double sum = 0, squares = 0, noise = 0;
    for (const Ranked& r : ranked) {
        sum += r.log;
        squares += r.log * r.log;
        noise += r.variance;
    }
    double between = 0;
    if (ranked.size() > 1) {
        const double n = static_cast<double>(ranked.size());
        between = std::max(0.0, (squares - sum * sum / n) / (n - 1) - noise / n);
    }
    const auto keepOf
        = [between](const Ranked& r) { return r.variance > 0 ? between / (between + r.variance) : 1.0; };
    for (Ranked& r : ranked)
        r.shrunk = keepOf(r) * r.log;

    // A target's slowness comes from one previous key when its slowest pair's interval lies above
    // the target's median, at 5 % over every pair of every target tested (Bonferroni).
    const double tested = static_cast<double>(ranked.size());
    for (std::size_t t = 0; t < CodeCount; ++t) {
        const Ranked* slowest = nullptr;
        for (const Ranked& r : ranked)
            if (r.pair / CodeCount == t && (!slowest || r.median > slowest->median))
                slowest = &r;
        if (!slowest)
            continue;
        const Estimate strict = medianWithInterval(timesOf(slowest->pair), 1 - 0.05 / tested);
        if (strict.interval && strict.interval->low > targetMedian[t])
            figures.slowFrom[t] = static_cast<unsigned char>(FirstCode + slowest->pair % CodeCount);
    }
    figures.pairsRanked = ranked.size();
    figures.mostPairAnswers = *std::max_element(pairCounts.begin(), pairCounts.end());
    const std::size_t shown = std::min(SlowestPairs, ranked.size());
    // The slowest first; on a tie, by previous key and then target, so that the order is stable.
    std::partial_sort(ranked.begin(), ranked.begin() + static_cast<std::ptrdiff_t>(shown), ranked.end(),
        [](const Ranked& a, const Ranked& b) {
            const double slowA = a.targetMedian * std::exp(a.shrunk),
                         slowB = b.targetMedian * std::exp(b.shrunk);
            if (slowA != slowB)
                return slowA > slowB;
            const auto key = [](std::size_t pair) { return std::pair(pair % CodeCount, pair / CodeCount); };
            return key(a.pair) < key(b.pair);
        });
    for (std::size_t i = 0; i < shown; ++i) {
        const Ranked& r = ranked[i];
        const double half = 1.96 * std::sqrt(keepOf(r) * r.variance);
        figures.slowestPairs.push_back({ static_cast<unsigned char>(FirstCode + r.pair % CodeCount),
            static_cast<unsigned char>(FirstCode + r.pair / CodeCount), pairCounts[r.pair],
            Estimate { r.targetMedian * std::exp(r.shrunk),
                Interval { r.targetMedian * std::exp(r.shrunk - half),
                    r.targetMedian * std::exp(r.shrunk + half) } },
            r.median });
    }
    return figures;
}

std::function<bool(int64_t)> drillsOfKind(const std::vector<DrillTotals>& drills, const std::string& rows)
{
    std::vector<int64_t> ids;
    for (const DrillTotals& drill : drills)
        if (drill.rows == rows)
            ids.push_back(drill.id);
    std::sort(ids.begin(), ids.end());
    return [ids = std::move(ids)](int64_t id) { return std::binary_search(ids.begin(), ids.end(), id); };
}

std::string slowFingerSentence(const FingerFigures& figures)
{
    if (!figures.slowFinger)
        return {};
    return fingerName(figures.slowFinger->finger) + "が遅い（中央値 +"
        + std::to_string(std::lround(figures.slowFinger->aboveMs)) + " ms）";
}

std::string transitionName(Transition transition, bool shiftChange)
{
    static constexpr const char* Names[] = { "同じ指", "同じ手の別の指", "反対の手" };
    return std::string(Names[static_cast<std::size_t>(transition)]) + (shiftChange ? "（Shift あり）" : "");
}

} // namespace touchdrill::figures
