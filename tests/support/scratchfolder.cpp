// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/scratchfolder.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#ifdef _WIN32
#include <windows.h>
#endif

namespace touchdrill::testing {

namespace fs = std::filesystem;

ScratchFolder::ScratchFolder(const fs::path& base)
{
#ifdef _WIN32
    // A Japanese name, so that every test that uses one goes through paths that the ANSI code page
    // cannot hold.
    for (unsigned attempt = 0;; ++attempt) {
        const fs::path folder = base
            / fsPath("touchdrill-テスト-" + std::to_string(::GetCurrentProcessId()) + "-"
                + std::to_string(attempt));
        if (fs::create_directory(folder)) {
            m_root = folder;
            return;
        }
    }
#else
    std::string pattern = (base / "touchdrill-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("cannot make a scratch folder under " + base.string());
    m_root = pattern;
#endif
}

ScratchFolder::~ScratchFolder()
{
    std::error_code ec;
    // Tests leave folders without write or search permission behind; give them back first, or
    // nothing inside them could be removed.
    fs::permissions(m_root, fs::perms::owner_all, fs::perm_options::add, ec);
    for (auto it = fs::recursive_directory_iterator(m_root, ec); it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::remove_all(m_root, ec);
}

void ScratchFolder::write(const std::string& name, const std::string& bytes) const
{
    std::ofstream out(fsPath(path(name)), std::ios::binary | std::ios::trunc);
    out << bytes;
    out.close();
    if (!out)
        throw std::runtime_error("cannot write " + path(name));
}

std::optional<std::string> ScratchFolder::read(const std::string& name) const
{
    std::ifstream in(fsPath(path(name)), std::ios::binary);
    if (!in)
        return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> ScratchFolder::namesExcept(const std::string& except) const
{
    std::vector<std::string> result;
    for (const std::string& name : entries())
        if (name != except)
            result.push_back(name);
    return result;
}

std::set<std::string> ScratchFolder::names(const fs::path& folder)
{
    std::set<std::string> result;
    for (const auto& entry : fs::directory_iterator(folder))
        result.insert(utf8(entry.path().filename()));
    return result;
}

} // namespace touchdrill::testing
