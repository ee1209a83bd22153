// SPDX-License-Identifier: GPL-3.0-or-later
#include "results/besttimesfile.h"

#include "fileio/atomicfile.h"
#include "fileio/sysfile.h"
#include "results/ioerror.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace touchdrill {

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
    return sysfile::stat(path, st) == 0 && !S_ISDIR(st.st_mode);
}

void loadBestTimes(const std::string& path, BestTimes& best)
{
    // O_NONBLOCK keeps a FIFO of that name from hanging the open; it changes nothing for a file.
    const int fd = sysfile::open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        throw IoError::fromErrno(errno);
    BestTimesBytes bytes;
    int err = 0;
    struct stat st;
    if (::fstat(fd, &st) != 0)
        err = errno;
    else if (!S_ISREG(st.st_mode))
        err = EISDIR;
    std::size_t got = 0;
    bool pastEnd = false;
    while (!err && !pastEnd && got < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno != EINTR)
            err = errno;
        else if (n == 0)
            pastEnd = true;
        else if (n > 0)
            got += static_cast<std::size_t>(n);
    }
    // A file opened for reading only has nothing to lose at its close.
    ::close(fd);
    if (err)
        throw IoError::fromErrno(err);
    if (pastEnd)
        throw IoError(IoReadPastEnd);
    best = decodeBestTimes(bytes);
}

void saveBestTimes(const std::string& path, const BestTimes& best)
{
    const BestTimesBytes bytes = encodeBestTimes(best);
    try {
        replaceFile(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    } catch (const FileWriteError& error) {
        if (error.error() == 0)
            throw IoError(IoDiskFull);
        throw IoError::fromErrno(error.error());
    }
}

} // namespace touchdrill
