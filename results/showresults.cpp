#include "showresults.h"

#include "besttimesfile.h"
#include "resultline.h"

#include <algorithm>

namespace touchdrill {

void ShowResults(const std::string& bstPath, const KeyStats& stats, BestTimes& best, ResultList& list)
{
    if (bestTimesFileExists(bstPath))
        loadBestTimes(bstPath, best);
    else
        best.fill(0);

    list.clear();
    try {
        for (int code = FirstCode; code <= LastCode; ++code) {
            const KeyStat& stat = stats[code];
            if (stat.Hits == 0)
                continue;
            const uint32_t average = stat.Total / stat.Hits;
            uint32_t& stored = best[static_cast<std::size_t>(code - FirstCode)];
            list.add(formatResultLine(code, average, stored));
            if (average < stored || stored == 0)
                stored = std::max<uint32_t>(average, 1);
        }
        saveBestTimes(bstPath, best);
    } catch (...) {
        // The new lines stay in the list, so it must show them before the error box does.
        list.repaint();
        throw;
    }
    list.repaint();
}

} // namespace touchdrill
