// SPDX-License-Identifier: GPL-3.0-or-later
// A scratch folder for one test, removed with everything in it when the test ends.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#ifdef _WIN32
#include <windows.h>
#endif

namespace touchdrill {

class TempDir {
public:
#ifdef _WIN32
    // A Japanese name, so that every test that uses one goes through paths that the ANSI code
    // page cannot hold.
    TempDir()
    {
        const std::filesystem::path base = std::filesystem::temp_directory_path();
        for (unsigned attempt = 0;; ++attempt) {
            const std::filesystem::path folder = base
                / fsPath("touchdrill-テスト-" + std::to_string(::GetCurrentProcessId()) + "-"
                    + std::to_string(attempt));
            if (std::filesystem::create_directory(folder)) {
                m_path = utf8(folder);
                break;
            }
        }
    }
#else
    TempDir()
    {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/touchdrill-test-XXXXXX";
        if (!::mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp failed");
        m_path = pattern;
    }
#endif
    ~TempDir()
    {
        std::filesystem::remove_all(fsPath(m_path));
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string path(const std::string& name) const
    {
        return m_path + '/' + name;
    }

    void write(const std::string& name, const std::string& bytes) const
    {
        std::ofstream(fsPath(path(name)), std::ios::binary) << bytes;
    }

    std::optional<std::string> read(const std::string& name) const
    {
        std::ifstream in(fsPath(path(name)), std::ios::binary);
        if (!in)
            return std::nullopt;
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    // Catches temporary files left behind by a write.
    std::set<std::string> entries() const
    {
        return names(m_path);
    }

    static std::set<std::string> names(const std::string& folder)
    {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(fsPath(folder)))
            names.insert(utf8(entry.path().filename()));
        return names;
    }

    // The program's UTF-8 paths as the standard library's, and back; narrow strings there are in
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
    std::string m_path;
};

} // namespace touchdrill
