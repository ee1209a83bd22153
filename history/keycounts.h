// SPDX-License-Identifier: GPL-3.0-or-later
// A character's counts, in one drill or added up over many: the answers, their milliseconds and the
// wrong keys typed while it was the target, with the rules every figure of the history follows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace touchdrill::history {

// A character's "recent" figures cover the last this many drills in which it was the target.
inline constexpr std::size_t RecentDrills = 5;

// `Count` is uint32_t for one character in one drill, as the drill's engine and the history keep
// them (the milliseconds wrap as the results list adds them), and uint64_t for a sum over drills.
template <typename Count> struct Counts {
    Count hits = 0; // the answers, as the results list counts them
    Count totalMs = 0; // their milliseconds
    Count wrong = 0; // wrong keys typed while it was the target

    // An entry counts as one of the character's drills when it was answered or a wrong key was
    // typed while it was the target; CountsAsDrillSql is the same rule in the history's queries.
    constexpr bool countsAsDrill() const { return hits != 0 || wrong != 0; }
    // Every try, right or wrong.
    constexpr uint64_t answers() const { return uint64_t { hits } + wrong; }
    // Milliseconds per answer; nullopt without a hit.
    constexpr std::optional<double> averageMs() const
    {
        if (hits == 0)
            return std::nullopt;
        return static_cast<double>(totalMs) / static_cast<double>(hits);
    }
    // The average in whole milliseconds, cut as the results list writes it; nullopt without a hit.
    constexpr std::optional<Count> wholeAverageMs() const
    {
        if (hits == 0)
            return std::nullopt;
        return static_cast<Count>(totalMs / hits);
    }
    // hits / (hits + wrong keys), 0..1; nullopt when there was neither.
    constexpr std::optional<double> accuracy() const
    {
        if (answers() == 0)
            return std::nullopt;
        return static_cast<double>(hits) / static_cast<double>(answers());
    }

    template <typename Other> constexpr Counts& operator+=(const Counts<Other>& other)
    {
        hits += other.hits;
        totalMs += other.totalMs;
        wrong += other.wrong;
        return *this;
    }
    friend constexpr bool operator==(const Counts&, const Counts&) = default;
};

// One character in one drill.
using KeyCounts = Counts<uint32_t>;
// Added up over characters or drills.
using CountsSum = Counts<uint64_t>;

// countsAsDrill() in SQL, over a row's hits and wrong columns.
inline constexpr const char* CountsAsDrillSql = "(hits > 0 OR wrong > 0)";

} // namespace touchdrill::history
