// SPDX-License-Identifier: GPL-3.0-or-later
// Scratch folders and file bytes for the best-times tests.
#pragma once

#include "keystats.h"
#include "permissionchecks.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace touchdrill::testing {

using Bytes = std::vector<unsigned char>;

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    std::string path(const std::string& name) const { return (m_root / name).string(); }
    const std::filesystem::path& root() const { return m_root; }
    // Names in the folder other than `except`: what a rewrite left behind.
    std::vector<std::string> namesExcept(const std::string& except) const;

private:
    std::filesystem::path m_root;
};

void writeBytes(const std::string& path, const Bytes& bytes);
Bytes readBytes(const std::string& path);

// The file form written out by hand: value v of code c at offset 4 * (c - 33), low byte first.
Bytes handMadeFile(const std::vector<std::pair<int, uint32_t>>& entries, std::size_t size = 376);

} // namespace touchdrill::testing
