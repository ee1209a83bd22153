// SPDX-License-Identifier: GPL-3.0-or-later
#include "figures/weakkeys.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace touchdrill::figures {

namespace {

constexpr double Infinite = std::numeric_limits<double>::infinity();

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    if (n % 2 == 1)
        return values[n / 2];
    // Two infinite middles would give inf - inf; their mean is infinite too.
    const double a = values[n / 2 - 1];
    const double b = values[n / 2];
    return std::isinf(a) || std::isinf(b) ? std::max(a, b) : (a + b) / 2;
}

} // namespace

double weaknessCost(const KeySummary& key)
{
    // Never answered lately: nothing can be slower.
    const std::optional<double> time = key.answersKept ? key.medianMs() : key.recentMs;
    return time && key.recentHits > 0 && key.accuracy && *key.accuracy > 0 ? *time / *key.accuracy : Infinite;
}

bool anyAnswersKept(const std::vector<KeySummary>& keys)
{
    return std::any_of(keys.begin(), keys.end(), [](const KeySummary& key) { return key.answersKept; });
}

bool ranksAsWeakKey(const KeySummary& key, bool anyKept)
{
    if (key.drills == 0)
        return false;
    return anyKept ? key.answersKept && key.enoughAnswers() : key.enoughForAccuracy();
}

std::vector<WeakKey> weakKeys(const std::vector<KeySummary>& keys)
{
    // Each ranked character's log cost and its sampling variance.
    struct Ranked {
        WeakKey key;
        double log = 0, variance = 0, shrunk = 0;
    };
    std::vector<Ranked> ranked;
    const bool anyKept = anyAnswersKept(keys);
    for (const KeySummary& key : keys) {
        if (!ranksAsWeakKey(key, anyKept))
            continue;
        const double cost = weaknessCost(key);
        double variance = 0; // known as it is: the averages of old, which have no error to go by
        if (anyKept && std::isfinite(cost)) {
            const double tries = static_cast<double>(key.recentAnswers());
            variance = key.medianLogError * key.medianLogError
                + (1 - *key.accuracy) / (*key.accuracy * std::max(tries, 1.0));
        }
        // A median of 0 ms (every answer within the millisecond) costs as little as 1 ms: a log
        // of minus infinity would take the middle and the spread with it.
        ranked.push_back({ { key.code, cost, 0 }, std::log(std::max(cost, 1.0)), variance, 0 });
    }
    if (ranked.empty())
        return {};

    std::vector<double> logs;
    for (const Ranked& key : ranked)
        logs.push_back(key.log);
    const double middle = median(logs);
    // The spread between the characters' true costs: what their finite costs spread, less what
    // their sampling adds.
    double sum = 0, squares = 0, noise = 0;
    std::size_t finite = 0;
    for (const Ranked& key : ranked)
        if (std::isfinite(key.log)) {
            sum += key.log;
            squares += key.log * key.log;
            noise += key.variance;
            ++finite;
        }
    double between = 0;
    if (finite > 1) {
        const double n = static_cast<double>(finite);
        between = std::max(0.0, (squares - sum * sum / n) / (n - 1) - noise / n);
    }
    const double critical = normalCritical(0.05 / static_cast<double>(ranked.size()));
    std::vector<Ranked> weak, others;
    for (Ranked& key : ranked) {
        const double keep = key.variance == 0 ? 1.0 : between / (between + key.variance);
        key.shrunk = std::isfinite(key.log) ? middle + keep * (key.log - middle) : key.log;
        key.key.cost = std::exp(key.shrunk);
        const double error = std::sqrt(key.variance);
        key.key.weak = std::isinf(key.log)
            || (key.log > middle && (error == 0 || (key.log - middle) / error > critical));
        (key.key.weak ? weak : others).push_back(key);
    }
    const auto costlier = [](const Ranked& a, const Ranked& b) { return a.shrunk > b.shrunk; };
    std::stable_sort(weak.begin(), weak.end(), costlier);
    std::stable_sort(others.begin(), others.end(), costlier);
    std::vector<WeakKey> out;
    for (std::size_t i = 0; i < weak.size() && i < MaxWeakKeys; ++i) {
        WeakKey key = weak[i].key;
        const double ratio = std::isfinite(key.cost) ? std::exp(weak[i].shrunk - middle) : MaxWeight;
        key.weight
            = std::clamp(static_cast<int>(std::lround(std::min(ratio, double(MaxWeight)))), 1, MaxWeight);
        out.push_back(key);
    }
    const std::size_t fill = out.empty() ? others.size() : MinWeakKeys;
    for (std::size_t i = 0; i < others.size() && out.size() < fill; ++i) {
        WeakKey key = others[i].key;
        key.weight = 1;
        key.weak = false;
        out.push_back(key);
    }
    return out;
}

bool anyWeak(const std::vector<WeakKey>& keys)
{
    return std::any_of(keys.begin(), keys.end(), [](const WeakKey& key) { return key.weak; });
}

std::string weakKeyPool(const std::vector<WeakKey>& keys)
{
    std::vector<WeakKey> byCode = keys;
    std::sort(
        byCode.begin(), byCode.end(), [](const WeakKey& a, const WeakKey& b) { return a.code < b.code; });
    std::string pool;
    for (const WeakKey& key : byCode)
        pool.append(static_cast<std::size_t>(std::max(key.weight, 0)), static_cast<char>(key.code));
    return pool;
}

std::vector<WeakKey> fingerKeys(const FingerMap& map, Finger finger, const std::vector<KeySummary>& practised)
{
    const std::string characters = map.characters(finger);
    std::vector<KeySummary> own;
    for (const KeySummary& key : practised)
        if (characters.find(static_cast<char>(key.code)) != std::string::npos)
            own.push_back(key);
    std::vector<WeakKey> keys = weakKeys(own);
    if (keys.empty())
        for (const char c : characters)
            keys.push_back({ static_cast<unsigned char>(c), 0, 1, false });
    return keys;
}

std::string fingerPool(const FingerMap& map, Finger finger, const std::vector<KeySummary>& practised)
{
    return weakKeyPool(fingerKeys(map, finger, practised));
}

std::vector<WeakKey> pairWeakKeys(const std::vector<WeakKey>& weak, const FingerFigures& figures)
{
    std::vector<WeakKey> out = weak;
    for (WeakKey& key : out) {
        if (!isPracticeCode(key.code))
            continue;
        const unsigned char from = figures.slowFrom[key.code - FirstCode];
        const bool inPool = from != 0 && std::any_of(weak.begin(), weak.end(), [from](const WeakKey& w) {
            return w.code == from && w.weight > 0;
        });
        if (inPool)
            key.weight = std::min(key.weight * PairBoost, PairBoost * MaxWeight);
    }
    return out;
}

} // namespace touchdrill::figures
