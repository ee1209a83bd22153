// SPDX-License-Identifier: GPL-3.0-or-later
// A simulated learner's response times for the tests and benchmarks: an ex-Gaussian per key (a
// normal part plus an exponential tail of slow answers), drawn from a seeded generator so that a
// run gives the same times on every machine.
#pragma once

#include "drill/practiceset.h"
#include "history/drillrecord.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <numbers>
#include <random>
#include <string>
#include <vector>

namespace touchdrill::testing {

struct ExGaussian {
    double mu = 450; // the normal part's mean, ms
    double sigma = 60; // its standard deviation, ms
    double tau = 200; // the exponential tail's mean, ms
};

class Learner {
public:
    explicit Learner(uint64_t seed)
        : m_random(seed)
    {
    }

    // Uniform on (0, 1), never 0, from the generator's bits alone (std:: distributions differ
    // between standard libraries).
    double uniform() { return (static_cast<double>(m_random() >> 11) + 0.5) * 0x1p-53; }

    // One answer's milliseconds, rounded and held to 0..2^32-1, times `scale` (0.8 is 20 % faster).
    uint32_t ms(const ExGaussian& key, double scale = 1)
    {
        const double normal
            = std::sqrt(-2 * std::log(uniform())) * std::cos(2 * std::numbers::pi * uniform());
        const double t = scale * (key.mu + key.sigma * normal - key.tau * std::log(uniform()));
        return static_cast<uint32_t>(std::lround(std::clamp(t, 0.0, 4294967295.0)));
    }

    // 0..n-1
    uint32_t below(uint32_t n) { return static_cast<uint32_t>(uniform() * n); }

private:
    std::mt19937_64 m_random;
};

// A learner who practises as people do: sittings of 3 to 5 drills a minute apart, a day apart,
// each sitting's times scaled by the day's form (log-normal, `form` its SD), warm-up (10 % at a
// drill's start, fading over 20 answers) and fatigue (4 % over 600 answers), successive answers
// leaning alike (AR(1), 0.3, of a 5 % log deviation), 3 % of answers with a wrong key first.
struct Kind {
    std::string rows, keys;
    std::vector<ExGaussian> times; // per key
    uint32_t answers = 600;
};
// The home row, the little fingers and the reach to g and h slowest; every row (47 keys, the
// backslash once), a quarter slower off the home row by a fixed pattern. Plausible, not fitted.
inline Kind homeRow(uint32_t answers)
{
    return { "h", "asdfghjkl",
        { { 490, 70, 250 }, { 460, 60, 210 }, { 430, 55, 180 }, { 400, 50, 150 }, { 470, 65, 220 },
            { 470, 65, 220 }, { 400, 50, 150 }, { 430, 55, 180 }, { 460, 60, 210 } },
        answers };
}
inline Kind everyRow(uint32_t answers = 600)
{
    Kind kind { "nuhlsc", {}, {}, answers };
    for (const char c : buildPool({ true, true, true, true, true, true }))
        if (kind.keys.find(c) == std::string::npos) {
            const double reach = 1 + 0.25 * static_cast<double>(kind.keys.size() * 7 % 5) / 4;
            kind.keys += c;
            kind.times.push_back({ 600 * reach, 80 * reach, 260 * reach });
        }
    return kind;
}
inline constexpr int64_t FirstDrillUtcMs = 1'796'083'200'000; // 2026-12-01T00:00Z

// `sittings` sittings of drills with every answer; scale(sitting, key) multiplies a key's times.
inline std::vector<history::DrillRecord> practise(Learner& learner, const Kind& kind, double form,
    int sittings, const std::function<double(int, std::size_t)>& scale = {})
{
    std::vector<history::DrillRecord> out;
    for (int s = 0; s < sittings; ++s) {
        const double day = std::exp(form * std::sqrt(-2 * std::log(learner.uniform()))
            * std::cos(2 * std::numbers::pi * learner.uniform()));
        int64_t at = FirstDrillUtcMs + s * int64_t { 86'400'000 };
        for (uint32_t d = 3 + learner.below(3); d > 0; --d) {
            history::DrillRecord& drill = out.emplace_back();
            drill.id = static_cast<int64_t>(out.size());
            drill.startedUtcMs = at;
            drill.rows = kind.rows;
            drill.poolSize = static_cast<uint32_t>(kind.keys.size());
            drill.answers.emplace();
            std::vector<history::KeyRecord> keys(kind.keys.size());
            double lean = 0, elapsed = 0;
            for (uint32_t i = 0; i < kind.answers; ++i) {
                const std::size_t key = learner.below(static_cast<uint32_t>(kind.keys.size()));
                lean = 0.3 * lean
                    + 0.0477 * std::sqrt(-2 * std::log(learner.uniform()))
                        * std::cos(2 * std::numbers::pi * learner.uniform());
                const double factor = day * (1 + 0.1 * std::exp(-static_cast<double>(i) / 20)) * (1 + 0.04 * i / 600.0)
                    * std::exp(lean) * (scale ? scale(s, key) : 1);
                const auto target = static_cast<unsigned char>(kind.keys[key]);
                history::Answer answer { target, i ? drill.answers->back().target : uint8_t { 0 },
                    learner.ms(kind.times[key], factor), {}, true };
                history::KeyRecord& record = keys[key];
                record.code = target;
                if (learner.uniform() < 0.03) {
                    const auto typed = static_cast<unsigned char>(kind.keys[(key + 1) % kind.keys.size()]);
                    answer.wrongKeys.push_back({ typed, answer.ms / 2 });
                    ++record.wrong;
                    ++record.wrongKeys[typed];
                }
                ++record.hits;
                record.totalMs += answer.ms;
                elapsed += answer.ms;
                drill.answers->push_back(std::move(answer));
            }
            drill.endedUtcMs = at + static_cast<int64_t>(elapsed);
            at = drill.endedUtcMs + 60'000;
            for (const history::KeyRecord& key : keys)
                if (key.hits)
                    drill.keys.push_back(key);
            std::sort(drill.keys.begin(), drill.keys.end(),
                [](const history::KeyRecord& a, const history::KeyRecord& b) { return a.code < b.code; });
        }
    }
    return out;
}

// TOUCHDRILL_SIMULATION_SCALE=10 runs ten times a simulation's histories, for docs/figures.md.
inline int simulationScale()
{
    const char* value = std::getenv("TOUCHDRILL_SIMULATION_SCALE");
    return value ? std::max(1, std::atoi(value)) : 1;
}

} // namespace touchdrill::testing
