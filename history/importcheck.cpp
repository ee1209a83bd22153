// SPDX-License-Identifier: GPL-3.0-or-later
// The import's checks of another history's drills.
#include "history/importcheck.h"

#include "drill/practiceset.h"
#include "figures/fingermap.h"

namespace touchdrill::history {

bool isDrillKind(std::string_view rows)
{
    if (rows == WeakKeysRows || rows == PairsRows || figures::fingerOfRows(rows))
        return true;
    // Each box at most once and in its order; capitals alone bring no character.
    std::size_t next = 0;
    for (const char letter : rows) {
        const std::size_t at = RowLetters.find(letter, next);
        if (at == std::string_view::npos)
            return false;
        next = at + 1;
    }
    return !rows.empty() && rows != "c";
}

DrillFault importFault(const DrillRecord& drill, int64_t nowUtcMs)
{
    if (drill.rows.size() > MaxKindBytes || !isDrillKind(drill.rows))
        return DrillFault::Kind;
    const int64_t latest = nowUtcMs > INT64_MAX - ClockLeewayMs ? INT64_MAX : nowUtcMs + ClockLeewayMs;
    if (drill.startedUtcMs < EarliestDrillUtcMs || drill.startedUtcMs > latest
        || drill.endedUtcMs < drill.startedUtcMs || drill.endedUtcMs > latest)
        return DrillFault::Time;
    if (drill.answers && drill.answers->size() > MaxDrillAnswers)
        return DrillFault::TooLong;
    uint64_t hits = 0;
    uint64_t wrong = 0;
    for (const KeyRecord& key : drill.keys) {
        hits += key.hits;
        wrong += key.wrong;
        uint64_t typed = 0;
        for (const auto& [byte, count] : key.wrongKeys)
            typed += count;
        if (typed != key.wrong)
            return DrillFault::Counts;
    }
    if (hits > MaxDrillAnswers || wrong > MaxDrillAnswers)
        return DrillFault::TooLong;
    return DrillFault::None;
}

} // namespace touchdrill::history
