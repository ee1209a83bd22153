// The end of a drill: result lines into the results list, best averages kept in the best-times file.
#pragma once

#include "keystats.h"

#include <string>

namespace touchdrill {

// The results list as the end of a drill sees it; the window implements it on its list control.
struct ResultList {
    virtual ~ResultList() = default;
    virtual void clear() = 0;
    virtual void add(const std::string& line) = 0;
    virtual void repaint() = 0;
};

// Loads `best` from the file at bstPath (all 0 when there is none), replaces the list's lines with
// one ResultLine per character that has hits, in code order, updates `best` where this drill was
// faster (or where there was none), rewrites the file and repaints the list.
// Throws IoError. A failed load leaves the list, `best` and the file as they were; a failed rewrite
// leaves the new lines in the list (repainted) and the updated `best`, and the old file whole.
// An average of 0 ms is stored as a best of 1 ms, since 0 in the file means "no best yet".
void ShowResults(const std::string& bstPath, const KeyStats& stats, BestTimes& best, ResultList& list);

} // namespace touchdrill
