// SPDX-License-Identifier: GPL-3.0-or-later
#include "results/showresults.h"

#include "results/besttimesfile.h"
#include "results/resultline.h"

#include <exception>

namespace touchdrill {

namespace {

// 0 is no best, so it never wins.
uint32_t lowerNonZero(uint32_t a, uint32_t b)
{
    if (a == 0 || b == 0)
        return a | b;
    return a < b ? a : b;
}

} // namespace

void joinStoredBests(const std::string& bstPath, BestTimes& best)
{
    if (!bestTimesFileExists(bstPath))
        return;
    BestTimes stored {};
    loadBestTimes(bstPath, stored);
    for (std::size_t i = 0; i < best.size(); ++i)
        best[i] = lowerNonZero(best[i], stored[i]);
}

void ShowResults(const std::string& bstPath, const KeyStats& stats, BestTimes& best, ResultList& list)
{
    std::exception_ptr unreadable;
    try {
        joinStoredBests(bstPath, best);
    } catch (const std::exception&) {
        unreadable = std::current_exception();
    }

    list.clear();
    try {
        for (int code = FirstCode; code <= LastCode; ++code) {
            const KeyStat& stat = stats[code];
            if (stat.Hits == 0)
                continue;
            const uint32_t average = stat.Total / stat.Hits;
            uint32_t& known = best[static_cast<std::size_t>(code - FirstCode)];
            list.add(formatResultLine(code, average, known));
            // 0 ms (keys typed ahead of the target) measures nothing and would read as no best.
            if (average != 0 && (average < known || known == 0))
                known = average;
        }
        // A file that could not be read may still be recovered by hand: it is never overwritten.
        if (unreadable)
            std::rethrow_exception(unreadable);
        saveBestTimes(bstPath, best);
    } catch (...) {
        // The new lines stay in the list, so it must show them before the error box does.
        list.repaint();
        throw;
    }
    list.repaint();
}

} // namespace touchdrill
