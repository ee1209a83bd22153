// SPDX-License-Identifier: GPL-3.0-or-later
// A scratch folder for one test or benchmark, removed with everything in it when it goes.
#pragma once

#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace touchdrill::testing {

class ScratchFolder {
public:
    // A fresh folder under `base`: the system's temporary folder (TMPDIR) unless a test needs
    // another file system, such as one in memory.
    explicit ScratchFolder(const std::filesystem::path& base = std::filesystem::temp_directory_path());
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // Paths are UTF-8, as the program's own are on every system.
    std::string path(const std::string& name) const { return utf8(m_root / fsPath(name)); }
    const std::filesystem::path& root() const { return m_root; }

    // Throws when the file cannot be written, so that a test never runs on a file it lacks.
    void write(const std::string& name, const std::string& bytes) const;
    // nullopt when there is no such file.
    std::optional<std::string> read(const std::string& name) const;

    // What a write left behind, temporary files included.
    std::set<std::string> entries() const { return names(m_root); }
    std::vector<std::string> namesExcept(const std::string& except) const;
    static std::set<std::string> names(const std::filesystem::path& folder);

    // The program's UTF-8 paths as the standard library's, and back: narrow strings there are in
    // the ANSI code page on Windows.
    static std::filesystem::path fsPath(const std::string& utf8Path)
    {
        return std::filesystem::path(std::u8string(utf8Path.begin(), utf8Path.end()));
    }
    static std::string utf8(const std::filesystem::path& path)
    {
        const std::u8string text = path.generic_u8string();
        return std::string(text.begin(), text.end());
    }

private:
    std::filesystem::path m_root;
};

} // namespace touchdrill::testing
