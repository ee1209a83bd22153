// SPDX-License-Identifier: GPL-3.0-or-later
// A simulated learner for the tests and benchmarks, drawn from a seeded generator so that a run
// gives the same times on every machine.
//
// Each key's answers are an ex-Gaussian (a normal part plus an exponential tail of slow answers).
// A Learner draws those alone; a Practice makes whole histories the way a person practises: drills
// in sittings of three to five in a row, a day apart, each sitting's times scaled by the day's form
// (a log-normal factor), warm-up at a drill's start and fatigue towards its end, successive answers
// that lean the same way, and learning that brings times down along an exponential curve.
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
    double normal()
    {
        return std::sqrt(-2 * std::log(uniform())) * std::cos(2 * std::numbers::pi * uniform());
    }

    // One answer's milliseconds, rounded and held to 0..2^32-1, times `scale` (0.8 is 20 % faster).
    uint32_t ms(const ExGaussian& key, double scale = 1)
    {
        const double t = scale * (key.mu + key.sigma * normal() - key.tau * std::log(uniform()));
        return static_cast<uint32_t>(std::lround(std::clamp(t, 0.0, 4294967295.0)));
    }

    // 0..n-1
    uint32_t below(uint32_t n) { return static_cast<uint32_t>(uniform() * n); }

private:
    std::mt19937_64 m_random;
};

// How a learner's times move beside each key's own spread.
struct Habits {
    double daysForm = 0; // standard deviation of the log of a sitting's factor: 0, 0.03 ... 0.08
    double warmUp = 0.10; // a drill's first answer this much slower, fading over 20 answers
    double fatigue = 0.04; // this much slower after 600 answers, growing evenly
    double lean = 0.3; // correlation of successive answers' deviations (log scale, 5 % of it)
    double learned = 0; // the share of time practice takes off in the end
    double learningDrills = 30; // drills to go 63 % of that way
    uint32_t drillsPerSittingLow = 3, drillsPerSittingHigh = 5;
};

// One kind of drill: its rows, its keys and their times, its answers per drill.
struct Kind {
    std::string rows;
    std::string keys;
    std::vector<ExGaussian> times; // per key
    uint32_t answers = 600;
    double accuracy = 0.97; // each answer is right at the first try with this probability
};

// The home row, a s d f g h j k l: the normal part near 400 to 500 ms, slowest for the little
// fingers and the index fingers' reach to g and h, an exponential tail of 150 to 250 ms.
// Plausible values for a learner who types by touch, not fitted to recorded answers.
inline Kind homeRow(uint32_t answers)
{
    return { "h", "asdfghjkl",
        { { 490, 70, 250 }, { 460, 60, 210 }, { 430, 55, 180 }, { 400, 50, 150 }, { 470, 65, 220 },
            { 470, 65, 220 }, { 400, 50, 150 }, { 430, 55, 180 }, { 460, 60, 210 } },
        answers };
}

// Every row with capitals and symbols, the main window's whole pool: slower, since there is more to
// choose from, the keys off the home row and the Shift characters slower still, by a fixed pattern.
inline Kind everyRow(uint32_t answers = 600)
{
    Kind kind { "nuhlsc", {}, {}, answers };
    for (const char c : buildPool({ true, true, true, true, true, true }))
        if (kind.keys.find(c) == std::string::npos) // the backslash has two keys
            kind.keys += c;
    for (std::size_t i = 0; i < kind.keys.size(); ++i) {
        const double reach = 1 + 0.25 * static_cast<double>(i * 7 % 5) / 4; // 1 .. 1.25
        kind.times.push_back({ 600 * reach, 80 * reach, 260 * reach });
    }
    return kind;
}

inline constexpr int64_t FirstDrillUtcMs = 1'796'083'200'000; // 2026-12-01T00:00Z

// Histories of drills of one kind as a Learner with Habits would leave them, with every answer kept.
class Practice {
public:
    Practice(Learner& learner, Habits habits, Kind kind)
        : m_learner(learner)
        , m_habits(habits)
        , m_kind(std::move(kind))
    {
    }

    // `sittings` sittings of drills; scale(sitting, key index) multiplies a key's times (1: none).
    std::vector<history::DrillRecord> drills(
        int sittings, const std::function<double(int, std::size_t)>& scale = {})
    {
        std::vector<history::DrillRecord> out;
        for (int s = 0; s < sittings; ++s, ++m_sittings) {
            // A day apart, three to five drills with the day's own form.
            int64_t at = FirstDrillUtcMs + int64_t { m_sittings } * 86'400'000;
            const uint32_t drills = m_habits.drillsPerSittingLow
                + m_learner.below(m_habits.drillsPerSittingHigh - m_habits.drillsPerSittingLow + 1);
            const double form = std::exp(m_habits.daysForm * m_learner.normal());
            for (uint32_t d = 0; d < drills; ++d) {
                const double learning
                    = 1 - m_habits.learned * (1 - std::exp(-m_drills / m_habits.learningDrills));
                out.push_back(drill(at, form * learning,
                    [&](std::size_t key) { return scale ? scale(m_sittings, key) : 1.0; }));
                at = out.back().endedUtcMs + 60'000; // a minute between drills of one sitting
            }
        }
        return out;
    }

    int sittings() const { return m_sittings; }

private:
    history::DrillRecord drill(
        int64_t startedUtcMs, double factor, const std::function<double(std::size_t)>& scale)
    {
        history::DrillRecord drill;
        drill.id = ++m_drills;
        drill.startedUtcMs = startedUtcMs;
        drill.rows = m_kind.rows;
        drill.poolSize = static_cast<uint32_t>(m_kind.keys.size());
        drill.answers.emplace();
        std::vector<history::KeyRecord> keys(m_kind.keys.size());
        unsigned char previous = 0;
        double lean = 0, elapsed = 0;
        for (uint32_t i = 0; i < m_kind.answers; ++i) {
            const std::size_t key = m_learner.below(static_cast<uint32_t>(m_kind.keys.size()));
            const auto target = static_cast<unsigned char>(m_kind.keys[key]);
            lean = m_habits.lean * lean
                + std::sqrt(1 - m_habits.lean * m_habits.lean) * 0.05 * m_learner.normal();
            const double warm = 1 + m_habits.warmUp * std::exp(-static_cast<double>(i) / 20);
            const double tired = 1 + m_habits.fatigue * i / 600.0;
            const double s = factor * warm * tired * std::exp(lean) * scale(key);
            history::Answer answer { target, previous, m_learner.ms(m_kind.times[key], s), {}, true };
            history::KeyRecord& record = keys[key];
            record.code = target;
            while (m_learner.uniform() > m_kind.accuracy) {
                const auto typed = static_cast<unsigned char>(m_kind.keys[(key + 1) % m_kind.keys.size()]);
                answer.wrongKeys.push_back({ typed, answer.ms / 2 });
                ++record.wrong;
                ++record.wrongKeys[typed];
            }
            ++record.hits;
            record.totalMs += answer.ms;
            elapsed += answer.ms;
            drill.answers->push_back(std::move(answer));
            previous = target;
        }
        drill.endedUtcMs = startedUtcMs + static_cast<int64_t>(elapsed);
        for (const history::KeyRecord& key : keys)
            if (key.hits)
                drill.keys.push_back(key);
        std::sort(drill.keys.begin(), drill.keys.end(),
            [](const history::KeyRecord& a, const history::KeyRecord& b) { return a.code < b.code; });
        return drill;
    }

    Learner& m_learner;
    Habits m_habits;
    Kind m_kind;
    int m_sittings = 0;
    int m_drills = 0;
};

// TOUCHDRILL_SIMULATION_SCALE=10 runs ten times a simulation's histories, for the tables in
// docs/figures.md; TOUCHDRILL_SIMULATION_FORMS=0,0.03,0.05,0.08 runs the day-to-day forms given
// instead of the simulation's own.
inline int simulationScale()
{
    const char* value = std::getenv("TOUCHDRILL_SIMULATION_SCALE");
    return value ? std::max(1, std::atoi(value)) : 1;
}
inline std::vector<double> simulationForms(std::vector<double> otherwise)
{
    const char* value = std::getenv("TOUCHDRILL_SIMULATION_FORMS");
    if (!value)
        return otherwise;
    std::vector<double> out;
    for (char* end = nullptr; *value; value = *end ? end + 1 : end)
        out.push_back(std::strtod(value, &end));
    return out;
}

} // namespace touchdrill::testing
