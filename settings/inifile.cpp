#include "settings/inifile.h"

#include <atomic>
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

// New lines follow the file's first line end, so a CRLF file stays CRLF throughout.
std::string_view lineEndOf(std::string_view text)
{
    const std::size_t newline = text.find('\n');
    return newline != std::string_view::npos && newline > 0 && text[newline - 1] == '\r' ? "\r\n" : "\n";
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
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
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

std::string parentDirectory(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Renaming over a symbolic link would replace the link with a plain file and leave its target
// stale, so the file actually replaced is the one the link chain ends at (which may not exist
// yet, as writing through a dangling link would create it).
bool resolveLinks(const std::string& path, std::string& target)
{
    target = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat info { };
        if (::lstat(target.c_str(), &info) != 0)
            return errno == ENOENT;
        if (!S_ISLNK(info.st_mode))
            return true;
        std::vector<char> buffer(static_cast<std::size_t>(info.st_size) + 256);
        const ssize_t length = ::readlink(target.c_str(), buffer.data(), buffer.size());
        if (length <= 0 || static_cast<std::size_t>(length) >= buffer.size())
            return false;
        const std::string link(buffer.data(), static_cast<std::size_t>(length));
        target = link.front() == '/' ? link : parentDirectory(target) + '/' + link;
    }
    return false; // a loop of links
}

bool writeAll(int fd, std::string_view data)
{
    while (!data.empty()) {
        const ssize_t written = ::write(fd, data.data(), data.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// A crash at any moment leaves either the old file or the new one, never a mixture.
bool replaceFile(const std::string& path, std::string_view text, const struct stat* oldInfo)
{
    const std::size_t slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty())
        return false;
    const std::string directory = parentDirectory(path);

    static std::atomic<unsigned> serial { 0 };
    std::string tempPath;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        // Cut long names so the temporary name still fits the file system's limit.
        tempPath = directory + "/." + name.substr(0, 200) + ".tmp" + std::to_string(::getpid()) + '-'
            + std::to_string(serial++);
        fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
        if (fd < 0 && errno != EEXIST)
            return false;
    }
    if (fd < 0)
        return false;

    bool ok = writeAll(fd, text) && ::fsync(fd) == 0;
    if (ok && oldInfo) {
        ok = ::fchmod(fd, oldInfo->st_mode & 07777) == 0;
        // Only root may give a file to another owner. Anyone else normally replaces a file of
        // their own, so a refusal here is no reason to fail the write.
        if (ok && (oldInfo->st_uid != ::geteuid() || oldInfo->st_gid != ::getegid()))
            (void)::fchown(fd, oldInfo->st_uid, oldInfo->st_gid);
    }
    ok = ::close(fd) == 0 && ok;
    if (!ok || ::rename(tempPath.c_str(), path.c_str()) != 0) {
        ::unlink(tempPath.c_str());
        return false;
    }

    // The new contents are in place either way; syncing the folder only makes the rename
    // itself survive a power cut, so its outcome changes nothing for the caller.
    const int dirFd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        (void)::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
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

bool writeIniString(
    const std::string& path, std::string_view section, std::string_view key, std::string_view value)
{
    if (!writableSection(section) || !writableKey(key) || hasLineBreak(value))
        return false;

    std::string target;
    if (!resolveLinks(path, target))
        return false;

    std::string text;
    struct stat info { };
    const FileState state = readWholeFile(target, text, info);
    if (state == FileState::Unreadable)
        return false; // replacing a file we could not read would lose its other settings
    const bool exists = state == FileState::Read;
    // Renaming would get past a file made read-only, which the user did to keep it as it is.
    if (exists && ::access(target.c_str(), W_OK) != 0)
        return false;

    const std::string updated = withKeySet(text, section, key, encodedValue(value));
    return replaceFile(target, updated, exists ? &info : nullptr);
}

void flushIniCache(const std::string& /*path*/) { }

} // namespace touchdrill
