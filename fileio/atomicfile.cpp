// SPDX-License-Identifier: GPL-3.0-or-later
// Replacing a whole file: a temporary file written, flushed and renamed over it, or the file rewritten in
// place.
#include "fileio/atomicfile.h"

#include "fileio/atomicfile_p.h"
#include "fileio/atomicrules.h"
#include "fileio/paths.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace touchdrill {

namespace {

using detail::WriteStep;

// Names are bytes: only '/' separates, and case tells names apart.
constexpr detail::NameRules Names { "/", "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789",
    false };

[[noreturn]] void fail(int err)
{
    detail::failWrite(err);
}

int injected(WriteStep step, int fd)
{
    return detail::writeFault ? detail::writeFault(step, fd) : 0;
}

// Closes the descriptor on every way out; close() reports the outcome where it matters.
class Descriptor {
public:
    explicit Descriptor(int fd = -1)
        : m_fd(fd)
    {
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }

    int get() const { return m_fd; }
    void reset(int fd)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }

    // Returns 0 or the errno of the close. EINTR still frees the descriptor on Linux and the data
    // is not lost by it, so it counts as success.
    int close()
    {
        const int rc = ::close(m_fd);
        m_fd = -1;
        return rc != 0 && errno != EINTR ? errno : 0;
    }

private:
    int m_fd;
};

std::string temporaryPrefix(const std::string& target)
{
    return detail::temporaryPrefix(target, Names);
}

std::string randomSuffix()
{
    return detail::randomSuffix(Names, static_cast<uint64_t>(::getpid()));
}

// Renaming over a symbolic link would replace the link with a plain file and leave its target
// stale, so the file replaced is the one the chain of links ends at, which need not exist yet:
// writing through a dangling link creates its target, as any other write through it would.
// Returns 0 or an errno.
int resolveLinks(const std::string& path, std::string& target)
{
    target = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat info { };
        if (::lstat(target.c_str(), &info) != 0)
            return errno == ENOENT ? 0 : errno;
        if (!S_ISLNK(info.st_mode))
            return 0;
        std::vector<char> buffer(static_cast<std::size_t>(info.st_size) + 256);
        const ssize_t length = ::readlink(target.c_str(), buffer.data(), buffer.size());
        if (length < 0)
            return errno;
        if (length == 0 || static_cast<std::size_t>(length) >= buffer.size())
            return ENAMETOOLONG; // the link changed under us
        const std::string link(buffer.data(), static_cast<std::size_t>(length));
        target = link.front() == '/' ? link : folderOf(target) + '/' + link;
    }
    return ELOOP;
}

void writeAll(int fd, std::string_view data)
{
    while (!data.empty()) {
        const int fault = injected(WriteStep::Write, fd);
        if (fault == detail::StoredNothing)
            fail(0);
        if (fault)
            fail(fault);
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail(errno);
        }
        if (n == 0)
            fail(0);
        data.remove_prefix(static_cast<std::size_t>(n));
    }
}

void syncFile(int fd)
{
    int err = injected(WriteStep::Sync, fd);
    if (!err && ::fsync(fd) != 0 && errno != EINVAL) // EINVAL: nothing to flush on this file system
        err = errno;
    if (err)
        fail(err);
}

void closeFile(Descriptor& file)
{
    int err = injected(WriteStep::Close, file.get());
    if (!err)
        err = file.close();
    if (err)
        fail(err);
}

bool takesNoNewFile(int err)
{
    return err == EACCES || err == EPERM;
}

// The temporary file: unlinked again on every way out unless it was renamed over the file.
class Temporary {
public:
    Temporary() = default;
    Temporary(const Temporary&) = delete;
    Temporary& operator=(const Temporary&) = delete;
    ~Temporary()
    {
        if (!m_path.empty())
            ::unlink(m_path.c_str());
    }

    Descriptor& file() { return m_file; }
    const std::string& path() const { return m_path; }
    void setPath(const std::string& path) { m_path = path; }
    void renamed() { m_path.clear(); }

private:
    Descriptor m_file;
    std::string m_path;
};

// O_TMPFILE: the file has no name until it is linked, so a kill while it is written leaves
// nothing. Returns 0 or an errno (EOPNOTSUPP and the like where the file system has no such files).
int createUnnamed(const std::string& folder, Temporary& temp)
{
    if (const int fault = injected(WriteStep::CreateUnnamed, -1))
        return fault;
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    if (fd < 0)
        return errno;
    temp.file().reset(fd);
    return 0;
}

// O_EXCL, so the system applies the umask to 0666 as it would for any new file.
int createNamed(const std::string& prefix, Temporary& temp)
{
    if (const int fault = injected(WriteStep::CreateNamed, -1))
        return fault;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string path = prefix + randomSuffix();
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
        if (fd >= 0) {
            temp.file().reset(fd);
            temp.setPath(path);
            return 0;
        }
        if (errno != EEXIST && errno != EINTR)
            return errno;
    }
    return EEXIST;
}

// Returns false when the file has no name yet; the caller then starts over with a named one.
bool giveName(const std::string& prefix, Temporary& temp)
{
    const int fd = temp.file().get();
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string path = prefix + randomSuffix();
        int err = injected(WriteStep::Link, fd);
        // Through /proc anyone may link their own unnamed file; without /proc only a process with
        // the right to open any file by its handle may.
        if (!err && ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) != 0
            && ::linkat(fd, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH) != 0)
            err = errno;
        if (!err) {
            temp.setPath(path);
            return true;
        }
        if (err != EEXIST)
            return false;
    }
    return false;
}

// The replacement must look like the file it replaces. Only root may give a file to another
// owner, so anyone else replacing someone else's file gets false here.
bool takeOver(int fd, const struct stat& old)
{
    struct stat now { };
    if (::fstat(fd, &now) != 0)
        return false;
    if ((now.st_uid != old.st_uid || now.st_gid != old.st_gid) && ::fchown(fd, old.st_uid, old.st_gid) != 0)
        return false;
    // After the chown, which clears the set-id bits.
    return ::fchmod(fd, old.st_mode & 07777) == 0;
}

// Where the file must be rewritten in place and its folder takes no new file, the contents wait in
// the system's temporary folder, unnamed or unlinked at once, so nothing is left there either.
int createSpool(Temporary& temp)
{
    const char* tmpdir = std::getenv("TMPDIR");
    const std::string folder = tmpdir && *tmpdir ? tmpdir : "/tmp";
    int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0) {
        std::string name = folder + "/touchdrill-XXXXXX";
        fd = ::mkostemp(name.data(), O_CLOEXEC);
        if (fd < 0)
            return errno;
        ::unlink(name.c_str());
    }
    temp.file().reset(fd);
    return 0;
}

// Copies the whole of `from`, read from its start, to `to` at its offset. Returns the length.
off_t copyAll(int from, int to)
{
    std::vector<char> buffer(std::size_t(1) << 16);
    off_t offset = 0;
    for (;;) {
        const ssize_t n = ::pread(from, buffer.data(), buffer.size(), offset);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail(errno);
        }
        if (n == 0)
            return offset;
        writeAll(to, std::string_view(buffer.data(), static_cast<std::size_t>(n)));
        offset += n;
    }
}

// The rename is what makes the new contents count; losing it in a crash after this point only
// brings the old file back, so a folder that cannot be flushed is no error.
void flushFolder(const std::string& folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

bool isTemporaryName(const std::string& name, const std::string& prefix)
{
    return detail::isTemporaryName(name, prefix, Names);
}

// Earlier versions wrote the placement file through ".<name>.tmp<pid>-<serial>", which a kill
// left behind just the same.
bool isEarlierTemporaryName(const std::string& name, const std::string& target)
{
    const auto slash = target.rfind('/');
    const std::string prefix
        = "." + (slash == std::string::npos ? target : target.substr(slash + 1)).substr(0, 200) + ".tmp";
    if (name.compare(0, prefix.size(), prefix) != 0)
        return false;
    const std::string_view rest = std::string_view(name).substr(prefix.size());
    const auto dash = rest.find('-');
    constexpr std::string_view Digits = "0123456789";
    return dash != std::string_view::npos && dash > 0 && dash + 1 < rest.size()
        && rest.substr(0, dash).find_first_not_of(Digits) == std::string_view::npos
        && rest.substr(dash + 1).find_first_not_of(Digits) == std::string_view::npos;
}

// A process killed between naming its temporary file and the rename leaves that file behind: a
// stale one is removed, so the user's folder does not fill with them.
void removeStaleTemporaries(const std::string& target)
{
    const std::string folder = folderOf(target);
    const std::string prefix = temporaryPrefix(target);
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return;
    const time_t now = ::time(nullptr);
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (!isTemporaryName(name, prefix) && !isEarlierTemporaryName(name, target))
            continue;
        const std::string path = folder + "/" + name;
        struct stat st { };
        if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)
            && now - st.st_mtime > detail::StaleTemporarySeconds)
            ::unlink(path.c_str());
    }
    ::closedir(dir);
}

} // namespace

struct FileReplacement::State {
    std::string target; // the file at the end of the links
    std::string prefix; // of the temporary files' paths
    Descriptor existing; // the file to replace, open for a rewrite in place; -1 when there is none
    struct stat old { };
    Temporary temp; // the new contents
    bool unnamed = false;
    bool inPlace = false; // temp is copied into the existing file at the commit
    bool committed = false;

    bool hasOld() const { return existing.get() >= 0; }
    void rewriteInPlace(int from);
};

void FileReplacement::State::rewriteInPlace(int from)
{
    // The room for the new contents is taken before the first byte of the file is overwritten, so
    // that a disk too full for them leaves the file as it was. A file system that cannot reserve
    // room is written all the same.
    struct stat spool { };
    if (::fstat(from, &spool) != 0)
        fail(errno);
    if (::fallocate(existing.get(), FALLOC_FL_KEEP_SIZE, 0, spool.st_size) != 0
        && (errno == ENOSPC || errno == EDQUOT || errno == EFBIG))
        fail(errno);
    const off_t length = copyAll(from, existing.get());
    if (::ftruncate(existing.get(), length) != 0)
        fail(errno);
    syncFile(existing.get());
    closeFile(existing);
}

FileReplacement::FileReplacement(const std::string& path)
    : m_state(std::make_unique<State>())
{
    State& s = *m_state;
    if (path.empty())
        fail(ENOENT);
    if (const int err = resolveLinks(path, s.target))
        fail(err);

    // Looked at before it is opened, so that no device or FIFO is ever opened for writing.
    if (::stat(s.target.c_str(), &s.old) == 0 && !S_ISREG(s.old.st_mode))
        fail(S_ISDIR(s.old.st_mode) ? EISDIR : EACCES);
    // Opening it for writing is the one test of write permission that binds as the file system
    // does, whoever runs the program; the descriptor serves a rewrite in place.
    const int fd = ::open(s.target.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        if (errno != ENOENT)
            fail(errno == ENXIO ? EACCES : errno);
    } else {
        s.existing.reset(fd);
        if (::fstat(fd, &s.old) != 0)
            fail(errno);
        if (!S_ISREG(s.old.st_mode))
            fail(EACCES);
    }

    const std::string folder = folderOf(s.target);
    s.prefix = folder + '/' + temporaryPrefix(s.target);
    s.unnamed = createUnnamed(folder, s.temp) == 0;
    if (!s.unnamed) {
        if (const int err = createNamed(s.prefix, s.temp)) {
            if (!s.hasOld() || !takesNoNewFile(err) || createSpool(s.temp) != 0)
                fail(err);
            s.inPlace = true;
            return;
        }
    }
    if (s.hasOld() && !takeOver(s.temp.file().get(), s.old))
        s.inPlace = true;
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
    Temporary* complete = &s.temp;
    Temporary named;
    if (s.unnamed && !giveName(s.prefix, s.temp)) {
        // An unnamed file cannot be given a name here: its contents go to a named one.
        const int err = createNamed(s.prefix, named);
        if (err && !(s.hasOld() && takesNoNewFile(err)))
            fail(err);
        if (err || (s.hasOld() && !takeOver(named.file().get(), s.old))) {
            s.rewriteInPlace(s.temp.file().get());
            return;
        }
        copyAll(s.temp.file().get(), named.file().get());
        syncFile(named.file().get());
        complete = &named;
    }
    closeFile(complete->file());

    int err = injected(WriteStep::Rename, -1);
    if (!err && ::rename(complete->path().c_str(), s.target.c_str()) != 0)
        err = errno;
    if (err) {
        // A folder with the sticky bit lets only the owner replace a file.
        if (!s.hasOld() || !takesNoNewFile(err))
            fail(err);
        Descriptor contents(::open(complete->path().c_str(), O_RDONLY | O_CLOEXEC));
        if (contents.get() < 0)
            fail(errno);
        s.rewriteInPlace(contents.get());
        return;
    }
    complete->renamed();
    flushFolder(folderOf(s.target));
    removeStaleTemporaries(s.target);
}

} // namespace touchdrill
