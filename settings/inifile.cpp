// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/inifile.h"

#include "fileio/atomicfile.h"
#include "fileio/sysfile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace touchdrill {

namespace {

constexpr std::string_view Utf8Bom = "\xEF\xBB\xBF";
constexpr off_t IniFileMaxSize = 16 * 1024 * 1024;

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

char asciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (asciiLower(a[i]) != asciiLower(b[i]))
            return false;
    }
    return true;
}

// Where a key is, or where it would go, in the text of a file. Offsets index that text.
struct KeyLocation {
    bool sectionFound = false;
    bool keyFound = false;
    std::size_t valueBegin = 0; // the value without its surrounding blanks
    std::size_t valueEnd = 0;
    std::size_t insertAt = 0; // just after the section's last non-blank line
    bool insertNeedsLineEnd = false; // that line is the file's last and has no line end
};

KeyLocation locateKey(std::string_view text, std::string_view section, std::string_view key)
{
    KeyLocation where;
    bool inSection = false;
    std::size_t pos = text.starts_with(Utf8Bom) ? Utf8Bom.size() : 0;
    while (pos < text.size()) {
        const std::size_t lineBegin = pos;
        const std::size_t newline = text.find('\n', pos);
        std::size_t contentEnd = newline == std::string_view::npos ? text.size() : newline;
        pos = newline == std::string_view::npos ? text.size() : newline + 1;
        if (contentEnd > lineBegin && text[contentEnd - 1] == '\r')
            --contentEnd;
        const std::string_view content = text.substr(lineBegin, contentEnd - lineBegin);
        const std::string_view line = trimmed(content);

        if (line.starts_with('[')) {
            const std::size_t close = line.find(']');
            if (close != std::string_view::npos) {
                // Only the first section of a name counts, so its end ends the search.
                if (inSection)
                    break;
                if (sameName(trimmed(line.substr(1, close - 1)), section)) {
                    inSection = true;
                    where.sectionFound = true;
                    where.insertAt = pos;
                    where.insertNeedsLineEnd = newline == std::string_view::npos;
                }
                continue;
            }
        }
        if (!inSection || line.empty())
            continue;
        where.insertAt = pos;
        where.insertNeedsLineEnd = newline == std::string_view::npos;
        if (line.front() == ';')
            continue;
        const std::size_t equals = content.find('=');
        if (equals == std::string_view::npos || !sameName(trimmed(content.substr(0, equals)), key))
            continue;

        std::size_t begin = lineBegin + equals + 1;
        std::size_t end = contentEnd;
        while (begin < end && isBlank(text[begin]))
            ++begin;
        while (end > begin && isBlank(text[end - 1]))
            --end;
        where.keyFound = true;
        where.valueBegin = begin;
        where.valueEnd = end;
        break;
    }
    return where;
}

bool isQuoted(std::string_view value)
{
    return value.size() >= 2 && value.front() == value.back()
        && (value.front() == '"' || value.front() == '\'');
}

// Blanks at the ends would be trimmed, and outer quotes stripped, on reading; quoting keeps them.
std::string encodedValue(std::string_view value)
{
    if (!value.empty() && (isBlank(value.front()) || isBlank(value.back()) || isQuoted(value)))
        return '"' + std::string(value) + '"';
    return std::string(value);
}

// The line end of a file that has none yet: the system's own.
#ifdef _WIN32
constexpr std::string_view NativeLineEnd = "\r\n";
#else
constexpr std::string_view NativeLineEnd = "\n";
#endif

// New lines follow the file's first line end, so a CRLF file stays CRLF throughout.
std::string_view lineEndOf(std::string_view text)
{
    const std::size_t newline = text.find('\n');
    if (newline == std::string_view::npos)
        return NativeLineEnd;
    return newline > 0 && text[newline - 1] == '\r' ? "\r\n" : "\n";
}

// What ends a last line that has no line feed before a line is added after it. A carriage return
// there already reads as the end of that line, so only the line feed is missing; a full line end
// would leave the carriage return inside the line and change its value.
std::string_view endOfLastLine(std::string_view text, std::string_view lineEnd)
{
    return text.ends_with('\r') ? "\n" : lineEnd;
}

std::string withKeySet(
    std::string_view text, std::string_view section, std::string_view key, std::string_view encoded)
{
    const std::string_view lineEnd = lineEndOf(text);
    const KeyLocation where = locateKey(text, section, key);
    std::string updated;
    updated.reserve(text.size() + section.size() + key.size() + encoded.size() + 8);
    if (where.keyFound) {
        updated.append(text.substr(0, where.valueBegin));
        updated.append(encoded);
        updated.append(text.substr(where.valueEnd));
    } else if (where.sectionFound) {
        updated.append(text.substr(0, where.insertAt));
        if (where.insertNeedsLineEnd)
            updated.append(endOfLastLine(text, lineEnd));
        updated.append(key).append("=").append(encoded).append(lineEnd);
        updated.append(text.substr(where.insertAt));
    } else {
        updated.append(text);
        const std::size_t bomLength = text.starts_with(Utf8Bom) ? Utf8Bom.size() : 0;
        if (updated.size() > bomLength && updated.back() != '\n')
            updated.append(endOfLastLine(text, lineEnd));
        updated.append("[").append(section).append("]").append(lineEnd);
        updated.append(key).append("=").append(encoded).append(lineEnd);
    }
    return updated;
}

bool hasLineBreak(std::string_view text)
{
    return text.find_first_of("\r\n") != std::string_view::npos;
}

bool readableName(std::string_view name)
{
    return !name.empty() && !hasLineBreak(name) && !isBlank(name.front()) && !isBlank(name.back());
}

bool writableSection(std::string_view section)
{
    return readableName(section) && section.find(']') == std::string_view::npos;
}

bool writableKey(std::string_view key)
{
    return readableName(key) && key.find('=') == std::string_view::npos && key.front() != '['
        && key.front() != ';';
}

enum class FileState { Read, Missing, Unreadable };

// Only regular files count: opening without blocking keeps a FIFO or device at that path from
// stalling the program, and such a thing is never taken for an INI file. Nor is anything too big
// to be one, which could otherwise exhaust memory (a sparse file can claim any size).
FileState readWholeFile(const std::string& path, std::string& text, struct stat& info)
{
    const int fd = sysfile::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return errno == ENOENT ? FileState::Missing : FileState::Unreadable;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > IniFileMaxSize) {
        ::close(fd);
        return FileState::Unreadable;
    }
    text.clear();
    text.reserve(static_cast<std::size_t>(info.st_size));
    std::vector<char> chunk(64 * 1024);
    for (;;) {
        const ssize_t got = ::read(fd, chunk.data(), chunk.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            ::close(fd);
            return FileState::Unreadable;
        }
        if (got == 0)
            break;
        text.append(chunk.data(), static_cast<std::size_t>(got));
        if (text.size() > static_cast<std::size_t>(IniFileMaxSize)) {
            ::close(fd); // it grew while we read it
            return FileState::Unreadable;
        }
    }
    ::close(fd);
    return FileState::Read;
}

} // namespace

std::string readIniString(
    const std::string& path, std::string_view section, std::string_view key, std::string_view defaultValue)
{
    std::string text;
    struct stat info { };
    if (readWholeFile(path, text, info) != FileState::Read)
        return std::string(defaultValue.substr(0, IniValueMaxLength));

    const KeyLocation where = locateKey(text, section, key);
    if (!where.keyFound)
        return std::string(defaultValue.substr(0, IniValueMaxLength));

    std::string_view value
        = std::string_view(text).substr(where.valueBegin, where.valueEnd - where.valueBegin);
    if (isQuoted(value))
        value = value.substr(1, value.size() - 2);
    return std::string(value.substr(0, IniValueMaxLength));
}

std::vector<std::pair<std::string, std::string>> readIniSection(
    const std::string& path, std::string_view section)
{
    std::vector<std::pair<std::string, std::string>> entries;
    std::string text;
    struct stat info { };
    if (readWholeFile(path, text, info) != FileState::Read)
        return entries;
    // The same walk as locateKey(), gathering every key instead of stopping at one.
    const std::string_view all(text);
    bool inSection = false;
    std::size_t pos = all.starts_with(Utf8Bom) ? Utf8Bom.size() : 0;
    while (pos < all.size()) {
        const std::size_t newline = all.find('\n', pos);
        std::string_view content
            = all.substr(pos, newline == std::string_view::npos ? all.npos : newline - pos);
        pos = newline == std::string_view::npos ? all.size() : newline + 1;
        if (content.ends_with('\r'))
            content.remove_suffix(1);
        const std::string_view line = trimmed(content);
        if (line.starts_with('[') && line.find(']') != std::string_view::npos) {
            if (inSection)
                break;
            inSection = sameName(trimmed(line.substr(1, line.find(']') - 1)), section);
            continue;
        }
        if (!inSection || line.empty() || line.front() == ';')
            continue;
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos)
            continue;
        std::string_view value = trimmed(line.substr(equals + 1));
        if (isQuoted(value))
            value = value.substr(1, value.size() - 2);
        entries.emplace_back(
            std::string(trimmed(line.substr(0, equals))), std::string(value.substr(0, IniValueMaxLength)));
    }
    return entries;
}

bool writeIniString(
    const std::string& path, std::string_view section, std::string_view key, std::string_view value)
{
    if (!writableSection(section) || !writableKey(key) || hasLineBreak(value))
        return false;

    std::string text;
    struct stat info { };
    // A link is read through to its target, as replaceFile() writes through it.
    if (readWholeFile(path, text, info) == FileState::Unreadable)
        return false; // replacing a file we could not read would lose its other settings

    try {
        replaceFile(path, withKeySet(text, section, key, encodedValue(value)));
    } catch (const FileWriteError&) {
        return false;
    }
    return true;
}

void flushIniCache(const std::string& /*path*/) { }

bool iniTooLarge(const std::string& path)
{
    struct stat info { };
    return sysfile::stat(path, info) == 0 && info.st_size > IniFileMaxSize;
}

} // namespace touchdrill
