// SPDX-License-Identifier: GPL-3.0-or-later
// Arbitrary file contents through load and save: a short file never changes the table, a long one
// is read for its first 376 bytes, and a save writes exactly those back.
#include "results/besttimesfile.h"
#include "results/ioerror.h"
#include "tests/support/scratchfolder.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

using namespace touchdrill;

namespace {

const std::string& scratchFile()
{
    static const testing::ScratchFolder folder;
    static const std::string path = folder.path("t.bst");
    return path;
}

void writeFile(const std::string& path, const uint8_t* data, size_t size)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || (size && ::write(fd, data, size) != static_cast<ssize_t>(size)) || ::close(fd) != 0)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string& path = scratchFile();
    writeFile(path, data, size);

    BestTimes best;
    best.fill(0x5A5A5A5A);
    const BestTimes before = best;
    try {
        loadBestTimes(path, best);
    } catch (const IoError& error) {
        if (size >= BestTimesFileSize || error.code() != IoReadPastEnd || best != before)
            std::abort();
        return 0;
    }
    if (size < BestTimesFileSize)
        std::abort();
    BestTimesBytes head;
    std::memcpy(head.data(), data, head.size());
    if (best != decodeBestTimes(head) || encodeBestTimes(best) != head)
        std::abort();

    saveBestTimes(path, best);
    BestTimes again {};
    loadBestTimes(path, again);
    if (again != best || ::truncate(path.c_str(), 0) != 0)
        std::abort();
    return 0;
}
