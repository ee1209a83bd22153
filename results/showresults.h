// SPDX-License-Identifier: GPL-3.0-or-later
// The end of a drill: result lines into the results list, best averages kept in the best-times file.
#pragma once

#include "drill/keystats.h"

#include <string>

namespace touchdrill {

// The results list as the end of a drill sees it; the window implements it on its list control.
struct ResultList {
    virtual ~ResultList() = default;
    virtual void clear() = 0;
    virtual void add(const std::string& line) = 0;
    virtual void repaint() = 0;
};

// `best` holds the bests this run has loaded or reached, for the whole run. The bests of the file
// at bstPath, where it can be read, join them (the lower non-zero of the two per character). The
// list's lines are replaced with one ResultLine per character that has hits, in code order, each
// with the best known before this drill; `best` takes this drill's average where it is lower or
// where there was none, except an average of 0 ms, which is no measurement. Then the file is
// rewritten with `best` and the list repainted, so an improvement made while the file could not be
// written is stored by the next rewrite that succeeds.
// Throws IoError after repainting the filled list. A file that cannot be read (too short, a FIFO,
// no read permission) is left byte for byte as it is and the read's error is thrown; a failed
// rewrite leaves the old file whole.
void ShowResults(const std::string& bstPath, const KeyStats& stats, BestTimes& best, ResultList& list);

// The bests of the file at bstPath, where there is one, join `best`: per character the lower
// non-zero of the two, as ShowResults joins them. Throws IoError when the file cannot be read;
// `best` is then as it was.
void joinStoredBests(const std::string& bstPath, BestTimes& best);

} // namespace touchdrill
