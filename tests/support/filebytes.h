// SPDX-License-Identifier: GPL-3.0-or-later
// File bytes for the tests of the program's files: read and written whole, and the best-times file
// made by hand.
#pragma once

#include "drill/keystats.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace touchdrill::testing {

using Bytes = std::vector<unsigned char>;

void writeBytes(const std::string& path, const Bytes& bytes);
Bytes readBytes(const std::string& path);

// The file form written out by hand: value v of code c at offset 4 * (c - 33), low byte first.
Bytes handMadeFile(const std::vector<std::pair<int, uint32_t>>& entries, std::size_t size = 376);

} // namespace touchdrill::testing
