// SPDX-License-Identifier: GPL-3.0-or-later
// The best-times file: 94 little-endian unsigned 32-bit best averages, rewritten atomically.
#pragma once

#include "drill/keystats.h"

#include <array>
#include <cstddef>
#include <string>

namespace touchdrill {

constexpr std::size_t BestTimesFileSize = 4 * CodeCount; // 376 bytes, nothing else
using BestTimesBytes = std::array<unsigned char, BestTimesFileSize>;

// The file form of a table: the entry of code c at byte offset 4 * (c - 33), least significant byte first.
BestTimesBytes encodeBestTimes(const BestTimes& best);
BestTimes decodeBestTimes(const BestTimesBytes& bytes);

// True when something other than a folder answers to the path (a file, or a link to one).
bool bestTimesFileExists(const std::string& path);

// Opens the existing file for reading only and reads its first 376 bytes into `best`. Throws
// IoError; on failure `best` is left as it was.
void loadBestTimes(const std::string& path, BestTimes& best);

// Replaces the file with the 376 bytes of `best`, by the rules of replaceFile(): the old contents
// stay whole until the new ones are complete, a link is written through to its target, and an
// existing file keeps its owner and mode and must be writable. Throws IoError.
void saveBestTimes(const std::string& path, const BestTimes& best);

} // namespace touchdrill
