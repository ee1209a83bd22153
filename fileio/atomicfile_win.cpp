// SPDX-License-Identifier: GPL-3.0-or-later
// Replacing a whole file on Windows: a temporary file beside it, written, flushed and moved over
// it, or the file rewritten in place. The same rules as on POSIX systems, in Windows' terms:
// - A folder at the path fails with EISDIR. A file with the read-only attribute, or one this user
//   may not open for writing, fails with EACCES and is left as it is.
// - The new contents go to "<name>.tmp-XXXXXX" in the same folder, are flushed to the disk
//   (FlushFileBuffers) and moved over the file with MoveFileExW, replacing it and returning only
//   once the move is on the disk. Windows has no unnamed files: a kill between the creation and
//   the move leaves the temporary file, which a later replacement removes once it is older than
//   ten minutes (a younger one may be another copy's rewrite in progress).
// - When the folder takes no new file, or the move is refused, an existing file is rewritten in
//   place: room for the new contents reserved first, then from its start, cut to the new length
//   and flushed. The pieces wait meanwhile in a temporary file that is deleted when it is closed.
// Errors carry the errno that the Windows error maps to, so the messages are the same as on POSIX.
#include "fileio/atomicfile.h"

#include "fileio/atomicfile_p.h"
#include "fileio/atomicrules.h"
#include "fileio/sysfile.h"
#include "fileio/sysfile_win.h"

#include <windows.h>

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <vector>

namespace touchdrill {

namespace {

using detail::WriteStep;
using sysfile::widePath;

// Both slashes separate, and names ignore case: a suffix takes lower-case letters and digits.
constexpr detail::NameRules Names { "/\\", "abcdefghijklmnopqrstuvwxyz0123456789", true };

[[noreturn]] void fail(int err)
{
    detail::failWrite(err);
}

[[noreturn]] void failWithLastError()
{
    fail(sysfile::errnoFromWindowsError(::GetLastError()));
}

int injected(WriteStep step)
{
    return detail::writeFault ? detail::writeFault(step, -1) : 0;
}

class Handle {
public:
    explicit Handle(HANDLE handle = INVALID_HANDLE_VALUE)
        : m_handle(handle)
    {
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() { reset(); }

    HANDLE get() const { return m_handle; }
    bool valid() const { return m_handle != INVALID_HANDLE_VALUE; }
    void reset(HANDLE handle = INVALID_HANDLE_VALUE)
    {
        if (valid())
            ::CloseHandle(m_handle);
        m_handle = handle;
    }
    // Returns 0 or the errno of the close.
    int close()
    {
        const bool closed = ::CloseHandle(m_handle) != 0;
        m_handle = INVALID_HANDLE_VALUE;
        return closed ? 0 : sysfile::errnoFromWindowsError(::GetLastError());
    }

private:
    HANDLE m_handle;
};

std::string::size_type lastSeparator(const std::string& path)
{
    return path.find_last_of("/\\");
}

std::string folderOf(const std::string& path)
{
    const auto slash = lastSeparator(path);
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
}

std::string temporaryPrefix(const std::string& target)
{
    return detail::temporaryPrefix(target, Names);
}

std::string randomSuffix()
{
    return detail::randomSuffix(Names, static_cast<uint64_t>(::GetCurrentProcessId()));
}

void writeAll(HANDLE file, std::string_view data)
{
    while (!data.empty()) {
        const int fault = injected(WriteStep::Write);
        if (fault == detail::StoredNothing)
            fail(0);
        if (fault)
            fail(fault);
        const DWORD chunk = data.size() > (1u << 30) ? (1u << 30) : static_cast<DWORD>(data.size());
        DWORD written = 0;
        if (!::WriteFile(file, data.data(), chunk, &written, nullptr))
            failWithLastError();
        if (written == 0)
            fail(0);
        data.remove_prefix(written);
    }
}

void syncFile(HANDLE file)
{
    if (const int err = injected(WriteStep::Sync))
        fail(err);
    if (!::FlushFileBuffers(file))
        failWithLastError();
}

void closeFile(Handle& file)
{
    int err = injected(WriteStep::Close);
    if (!err)
        err = file.close();
    if (err)
        fail(err);
}

bool takesNoNewFile(int err)
{
    return err == EACCES || err == EPERM;
}

// The temporary file: deleted again on every way out unless it was moved over the file.
class Temporary {
public:
    Temporary() = default;
    Temporary(const Temporary&) = delete;
    Temporary& operator=(const Temporary&) = delete;
    ~Temporary()
    {
        m_file.reset();
        if (!m_path.empty())
            ::DeleteFileW(widePath(m_path).c_str());
    }

    Handle& file() { return m_file; }
    const std::string& path() const { return m_path; }
    void setPath(const std::string& path) { m_path = path; }
    void moved() { m_path.clear(); }

private:
    Handle m_file;
    std::string m_path;
};

// Returns 0 or an errno.
int createNamed(const std::string& prefix, Temporary& temp)
{
    if (const int fault = injected(WriteStep::CreateNamed))
        return fault;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string path = prefix + randomSuffix();
        const HANDLE file = ::CreateFileW(widePath(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
            CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            temp.file().reset(file);
            temp.setPath(path);
            return 0;
        }
        const DWORD error = ::GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
            return sysfile::errnoFromWindowsError(error);
    }
    return EEXIST;
}

// The pieces of an in-place rewrite wait in the user's temporary folder, deleted on the close.
int createSpool(Temporary& temp)
{
    wchar_t folder[MAX_PATH + 1] = {};
    if (::GetTempPathW(MAX_PATH + 1, folder) == 0)
        return sysfile::errnoFromWindowsError(::GetLastError());
    wchar_t name[MAX_PATH + 1] = {};
    if (::GetTempFileNameW(folder, L"tdr", 0, name) == 0)
        return sysfile::errnoFromWindowsError(::GetLastError());
    const HANDLE file = ::CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
        FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        ::DeleteFileW(name);
        return sysfile::errnoFromWindowsError(error);
    }
    temp.file().reset(file);
    return 0;
}

int64_t sizeOf(HANDLE file)
{
    LARGE_INTEGER size {};
    if (!::GetFileSizeEx(file, &size))
        failWithLastError();
    return size.QuadPart;
}

void seekToStart(HANDLE file)
{
    LARGE_INTEGER start {};
    if (!::SetFilePointerEx(file, start, nullptr, FILE_BEGIN))
        failWithLastError();
}

// Copies the whole of `from`, read from its start, to `to` at its position. Returns the length.
int64_t copyAll(HANDLE from, HANDLE to)
{
    seekToStart(from);
    std::vector<char> buffer(std::size_t(1) << 16);
    int64_t total = 0;
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(from, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr))
            failWithLastError();
        if (got == 0)
            return total;
        writeAll(to, std::string_view(buffer.data(), got));
        total += got;
    }
}

bool isTemporaryName(const std::string& name, const std::string& prefix)
{
    return detail::isTemporaryName(name, prefix, Names);
}

// Leftovers of a process killed before its move: older than any rewrite could take.
void removeStaleTemporaries(const std::string& target)
{
    const std::string folder = folderOf(target);
    const std::string prefix = temporaryPrefix(target);
    WIN32_FIND_DATAW found {};
    const HANDLE search = ::FindFirstFileW(widePath(folder + "/" + prefix + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    FILETIME nowTime {};
    ::GetSystemTimeAsFileTime(&nowTime);
    const auto ticks = [](const FILETIME& t) {
        return static_cast<int64_t>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
    };
    const int64_t now = ticks(nowTime);
    do {
        const std::string name = sysfile::utf8(found.cFileName);
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !isTemporaryName(name, prefix))
            continue;
        if ((now - ticks(found.ftLastWriteTime)) / 10'000'000 > detail::StaleTemporarySeconds)
            ::DeleteFileW(widePath(folder + "/" + name).c_str());
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
}

} // namespace

struct FileReplacement::State {
    std::string target;
    std::string prefix;
    Handle existing; // the file to replace, open for writing; invalid when there is none
    Temporary temp;
    bool inPlace = false;
    bool committed = false;

    bool hasOld() const { return existing.valid(); }
    void rewriteInPlace(HANDLE from);
};

void FileReplacement::State::rewriteInPlace(HANDLE from)
{
    // Room for the new contents first, so that a disk too full for them leaves the file as it was.
    FILE_ALLOCATION_INFO room {};
    room.AllocationSize.QuadPart = sizeOf(from);
    if (!::SetFileInformationByHandle(existing.get(), FileAllocationInfo, &room, sizeof room)) {
        const int err = sysfile::errnoFromWindowsError(::GetLastError());
        if (err == ENOSPC || err == EDQUOT)
            fail(err);
    }
    seekToStart(existing.get());
    copyAll(from, existing.get());
    if (!::SetEndOfFile(existing.get()))
        failWithLastError();
    syncFile(existing.get());
    closeFile(existing);
}

FileReplacement::FileReplacement(const std::string& path)
    : m_state(std::make_unique<State>())
{
    State& s = *m_state;
    if (path.empty())
        fail(ENOENT);
    s.target = path;
    const std::wstring wide = widePath(path);
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY)
            fail(EISDIR);
        // The user's way of keeping a file as it is; a move would get past it.
        if (attributes & FILE_ATTRIBUTE_READONLY)
            fail(EACCES);
        const HANDLE file = ::CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            const DWORD error = ::GetLastError();
            if (error != ERROR_FILE_NOT_FOUND)
                fail(sysfile::errnoFromWindowsError(error));
        } else {
            s.existing.reset(file);
            if (::GetFileType(file) != FILE_TYPE_DISK)
                fail(EACCES);
        }
    } else if (const DWORD error = ::GetLastError(); error != ERROR_FILE_NOT_FOUND) {
        fail(sysfile::errnoFromWindowsError(error));
    }

    s.prefix = folderOf(s.target) + '/' + temporaryPrefix(s.target);
    if (const int err = createNamed(s.prefix, s.temp)) {
        if (!s.hasOld() || !takesNoNewFile(err) || createSpool(s.temp) != 0)
            fail(err);
        s.inPlace = true;
    }
}

FileReplacement::~FileReplacement() = default;

void FileReplacement::write(std::string_view data)
{
    if (m_state->committed)
        fail(EBADF);
    writeAll(m_state->temp.file().get(), data);
}

void FileReplacement::commit()
{
    State& s = *m_state;
    if (s.committed)
        fail(EBADF);
    s.committed = true;
    if (s.inPlace) {
        s.rewriteInPlace(s.temp.file().get());
        return;
    }
    syncFile(s.temp.file().get());
    closeFile(s.temp.file());
    // The open handle on the old file would make the move fail; the rewrite in place reopens it.
    const bool hadOld = s.hasOld();
    s.existing.reset();

    int err = injected(WriteStep::Rename);
    if (!err
        && !::MoveFileExW(widePath(s.temp.path()).c_str(), widePath(s.target).c_str(),
            MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        err = sysfile::errnoFromWindowsError(::GetLastError());
    if (err) {
        if (!hadOld || !takesNoNewFile(err))
            fail(err);
        s.existing.reset(::CreateFileW(widePath(s.target).c_str(), GENERIC_READ | GENERIC_WRITE,
            FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!s.existing.valid())
            failWithLastError();
        Handle contents(::CreateFileW(widePath(s.temp.path()).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!contents.valid())
            failWithLastError();
        s.rewriteInPlace(contents.get());
        return;
    }
    s.temp.moved();
    removeStaleTemporaries(s.target);
}

} // namespace touchdrill
