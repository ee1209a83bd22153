// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileio/atomicrules.h"

#include "fileio/atomicfile.h"
#include "fileio/atomicfile_p.h"

#include <cctype>
#include <chrono>
#include <random>

namespace touchdrill {

namespace detail {

WriteFault writeFault = nullptr;

namespace {

char folded(char c, const NameRules& rules)
{
    return rules.ignoreCase ? static_cast<char>(std::tolower(static_cast<unsigned char>(c))) : c;
}

} // namespace

std::string temporaryPrefix(const std::string& target, const NameRules& rules)
{
    const auto slash = target.find_last_of(rules.separators);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    return name.substr(0, 200) + ".tmp-";
}

std::string randomSuffix(const NameRules& rules, uint64_t seed)
{
    static std::mt19937_64 generator(
        static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^ (seed << 32));
    std::string suffix(TemporarySuffixLength, 'x');
    for (char& c : suffix)
        c = rules.alphabet[generator() % rules.alphabet.size()];
    return suffix;
}

bool isTemporaryName(const std::string& name, const std::string& prefix, const NameRules& rules)
{
    if (name.size() != prefix.size() + TemporarySuffixLength)
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (folded(name[i], rules) != folded(prefix[i], rules))
            return false;
    for (std::size_t i = prefix.size(); i < name.size(); ++i)
        if (rules.alphabet.find(folded(name[i], rules)) == std::string_view::npos)
            return false;
    return true;
}

void failWrite(int err)
{
    throw FileWriteError(err);
}

} // namespace detail

FileWriteError::FileWriteError(int err)
    : std::runtime_error("file write failed, errno " + std::to_string(err))
    , m_err(err)
{
}

void replaceFile(const std::string& path, std::string_view contents)
{
    FileReplacement file(path);
    file.write(contents);
    file.commit();
}

} // namespace touchdrill
