// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/scratchfolder.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace touchdrill::testing {

namespace fs = std::filesystem;

ScratchFolder::ScratchFolder(const fs::path& base)
{
    std::string pattern = (base / "touchdrill-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("cannot make a scratch folder under " + base.string());
    m_root = pattern;
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
    std::ofstream out(path(name), std::ios::binary | std::ios::trunc);
    out << bytes;
    out.close();
    if (!out)
        throw std::runtime_error("cannot write " + path(name));
}

std::optional<std::string> ScratchFolder::read(const std::string& name) const
{
    std::ifstream in(path(name), std::ios::binary);
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
        result.insert(entry.path().filename().string());
    return result;
}

} // namespace touchdrill::testing
