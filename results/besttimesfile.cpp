#include "besttimesfile.h"

#include "besttimesfile_p.h"
#include "ioerror.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace touchdrill {

namespace detail {
SaveFault saveFault = nullptr;
} // namespace detail

namespace {

[[noreturn]] void throwErrno(int err)
{
    throw IoError(ioCodeFromErrno(err));
}

int injectedFault(detail::SaveStep step, const std::string& tempPath)
{
    return detail::saveFault ? detail::saveFault(step, tempPath) : 0;
}

// Closes the descriptor on every way out; close() reports the outcome where it matters.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd)
        : m_fd(fd)
    {
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }

    int get() const { return m_fd; }

    // Returns 0 or the errno of the close. EINTR still frees the descriptor on Linux and the
    // data is not lost by it, so it counts as success.
    int close()
    {
        const int rc = ::close(m_fd);
        m_fd = -1;
        return rc != 0 && errno != EINTR ? errno : 0;
    }

private:
    int m_fd;
};

std::string folderOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Renaming over a symbolic link would replace the link, not the file the user pointed it at.
std::string rewriteTarget(const std::string& path)
{
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
        return path;
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved)
        return path;
    std::string target(resolved);
    std::free(resolved);
    return target;
}

constexpr char TemporaryAlphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";

std::string randomSuffix()
{
    static std::mt19937_64 generator(
        static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()
            ^ (static_cast<int64_t>(::getpid()) << 32)));
    std::string suffix(6, 'x');
    for (char& c : suffix)
        c = TemporaryAlphabet[generator() % (sizeof TemporaryAlphabet - 1)];
    return suffix;
}

// Creates a new file beside `target` with O_EXCL, so the system applies the umask to 0666 as it
// would for any new file.
int createTemporary(const std::string& target, std::string& tempPath)
{
    if (const int fault = injectedFault(detail::SaveStep::Create, {}))
        throwErrno(fault);
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempPath = target + ".tmp-" + randomSuffix();
        const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
        if (fd >= 0)
            return fd;
        if (errno != EEXIST && errno != EINTR)
            throwErrno(errno);
    }
    throwErrno(EEXIST);
}

void writeAll(int fd, const BestTimesBytes& bytes, const std::string& tempPath)
{
    std::size_t written = 0;
    while (written < bytes.size()) {
        const int fault = injectedFault(detail::SaveStep::Write, tempPath);
        if (fault == detail::ShortWrite)
            throw IoError(IoDiskFull);
        if (fault)
            throwErrno(fault);
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throwErrno(errno);
        }
        if (n == 0)
            throw IoError(IoDiskFull);
        written += static_cast<std::size_t>(n);
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

// A process killed between creating its temporary file and the rename leaves that file behind.
// Once it is older than any rewrite could take, it can only be such a leftover: remove it, so the
// user's folder does not fill with them. A younger one may belong to another copy of the program
// writing right now and is left alone.
void removeStaleTemporaries(const std::string& target)
{
    constexpr time_t StaleAfterSeconds = 600;
    const std::string folder = folderOf(target);
    const auto slash = target.rfind('/');
    const std::string prefix = (slash == std::string::npos ? target : target.substr(slash + 1)) + ".tmp-";
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return;
    const time_t now = ::time(nullptr);
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0
            || name.find_first_not_of(TemporaryAlphabet, prefix.size()) != std::string::npos)
            continue;
        const std::string path = folder + "/" + name;
        struct stat st;
        if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && now - st.st_mtime > StaleAfterSeconds)
            ::unlink(path.c_str());
    }
    ::closedir(dir);
}

} // namespace

BestTimesBytes encodeBestTimes(const BestTimes& best)
{
    BestTimesBytes bytes {};
    for (std::size_t i = 0; i < best.size(); ++i) {
        for (std::size_t b = 0; b < 4; ++b)
            bytes[4 * i + b] = static_cast<unsigned char>((best[i] >> (8 * b)) & 0xFFu);
    }
    return bytes;
}

BestTimes decodeBestTimes(const BestTimesBytes& bytes)
{
    BestTimes best {};
    for (std::size_t i = 0; i < best.size(); ++i) {
        uint32_t value = 0;
        for (std::size_t b = 0; b < 4; ++b)
            value |= static_cast<uint32_t>(bytes[4 * i + b]) << (8 * b);
        best[i] = value;
    }
    return best;
}

bool bestTimesFileExists(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

void loadBestTimes(const std::string& path, BestTimes& best)
{
    // O_NONBLOCK keeps a FIFO of that name from hanging the open; it changes nothing for a file.
    FileDescriptor file(::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (file.get() < 0)
        throwErrno(errno);
    struct stat st;
    if (::fstat(file.get(), &st) != 0)
        throwErrno(errno);
    if (!S_ISREG(st.st_mode))
        throw IoError(ioCodeFromErrno(EISDIR));

    BestTimesBytes bytes;
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(file.get(), bytes.data() + got, bytes.size() - got);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throwErrno(errno);
        }
        if (n == 0)
            throw IoError(IoReadPastEnd);
        got += static_cast<std::size_t>(n);
    }
    if (const int err = file.close())
        throwErrno(err);
    best = decodeBestTimes(bytes);
}

void saveBestTimes(const std::string& path, const BestTimes& best)
{
    if (path.empty())
        throwErrno(ENOENT);
    const std::string target = rewriteTarget(path);
    const BestTimesBytes bytes = encodeBestTimes(best);

    struct stat old;
    const bool keepMode = ::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode);

    std::string tempPath;
    FileDescriptor temp(createTemporary(target, tempPath));
    try {
        // Some file systems keep no modes; the contents matter more than the permission bits.
        if (keepMode)
            ::fchmod(temp.get(), old.st_mode & 0777);
        writeAll(temp.get(), bytes, tempPath);

        int err = injectedFault(detail::SaveStep::Sync, tempPath);
        if (!err && ::fsync(temp.get()) != 0
            && errno != EINVAL) // EINVAL: nothing to flush on this file system
            err = errno;
        if (err)
            throwErrno(err);

        err = injectedFault(detail::SaveStep::Close, tempPath);
        if (!err)
            err = temp.close();
        if (err)
            throwErrno(err);

        err = injectedFault(detail::SaveStep::Rename, tempPath);
        if (!err && ::rename(tempPath.c_str(), target.c_str()) != 0)
            err = errno;
        if (err)
            throwErrno(err);
    } catch (...) {
        if (temp.get() >= 0)
            temp.close();
        ::unlink(tempPath.c_str());
        throw;
    }
    flushFolder(folderOf(target));
    removeStaleTemporaries(target);
}

} // namespace touchdrill
