// SPDX-License-Identifier: GPL-3.0-or-later
// The rules of a file's replacement that hold on every system, shared by the POSIX writer
// (atomicfile.cpp) and the Windows one (atomicfile_win.cpp), which hold only the system's calls:
// how the temporary files are named and known again, when a leftover one is stale, and how a
// failure is thrown.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace touchdrill::detail {

// A temporary file is "<name>.tmp-" and this many characters of its system's alphabet.
inline constexpr std::size_t TemporarySuffixLength = 6;

// A temporary file left by a process killed before its rename is older than any rewrite could
// take: a later replacement removes it. A younger one may be another copy's rewrite in progress.
inline constexpr int64_t StaleTemporarySeconds = 600;

// How the system spells names: what separates folders, which characters a suffix takes, and whether
// names differ by case.
struct NameRules {
    std::string_view separators;
    std::string_view alphabet;
    bool ignoreCase;
};

// Temporary files are named after the file; a long name is cut so that theirs still fits.
std::string temporaryPrefix(const std::string& target, const NameRules& rules);
// A fresh suffix; `seed` tells this process from another started at the same moment.
std::string randomSuffix(const NameRules& rules, uint64_t seed);
// Whether `name` is one of the temporary files `prefix` (a temporaryPrefix()) begins.
bool isTemporaryName(const std::string& name, const std::string& prefix, const NameRules& rules);

[[noreturn]] void failWrite(int err);

} // namespace touchdrill::detail
