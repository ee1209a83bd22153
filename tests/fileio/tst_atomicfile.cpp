// SPDX-License-Identifier: GPL-3.0-or-later
// The one writer of the program's files: the real flush and write calls, and the rules of a replace.
#include "fileio/atomicfile.h"
#include "fileio/atomicfile_p.h"
#include "tests/support/filebytes.h"
#include "tests/support/permissionchecks.h"
#include "tests/support/scratchfolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace touchdrill;
using namespace touchdrill::testing;

// Linked with --wrap: the writer's fsync, write and close calls land here first.
extern "C" {
int __real_fsync(int fd);
ssize_t __real_write(int fd, const void* buf, size_t count);
int __real_close(int fd);
int __real_fallocate(int fd, int mode, off_t offset, off_t len);
int __wrap_fsync(int fd);
ssize_t __wrap_write(int fd, const void* buf, size_t count);
int __wrap_close(int fd);
int __wrap_fallocate(int fd, int mode, off_t offset, off_t len);
}

namespace {

struct Flush {
    ino_t inode;
    off_t size;
    Bytes targetThen; // what the file to replace held at that moment
};

// What the real calls do while a test arms them; only calls on regular files count.
struct RealCalls {
    bool armed = false;
    std::string target;
    int fsyncErr = 0;
    int writeErr = 0; // -1: the write stores nothing and reports no error
    std::vector<Flush> flushes;
    std::size_t writable = 0; // bytes stored before writeErr takes effect, as on a disk that fills
    int fallocateErr = 0;
    int closeErr = 0; // for files open for writing; the descriptor is freed all the same
    int createErr = 0; // through the writer's seam: no temporary file can be made
    std::vector<Bytes> folderFlushes; // what the file to replace held at each flush of a folder
} calls;

bool armedFor(int fd, struct stat& st)
{
    return calls.armed && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
}

const Bytes oldBytes(300, 'o');
const std::string newText(5000, 'n');

int replaceError(const std::string& path, std::string_view contents = newText)
{
    try {
        replaceFile(path, contents);
    } catch (const FileWriteError& error) {
        return error.error();
    }
    return -1;
}

// The same contents through the streaming form, a thousand bytes at a time.
int streamError(const std::string& path)
{
    try {
        FileReplacement file(path);
        for (std::size_t at = 0; at < newText.size(); at += 1000)
            file.write(std::string_view(newText).substr(at, 1000));
        file.commit();
    } catch (const FileWriteError& error) {
        return error.error();
    }
    return -1;
}

ino_t inodeOf(const std::string& path)
{
    struct stat st { };
    return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

} // namespace

extern "C" int __wrap_fsync(int fd)
{
    struct stat st;
    if (calls.armed && ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode))
        calls.folderFlushes.push_back(readBytes(calls.target));
    if (armedFor(fd, st)) {
        calls.flushes.push_back({ st.st_ino, st.st_size, readBytes(calls.target) });
        if (calls.fsyncErr) {
            errno = calls.fsyncErr;
            return -1;
        }
    }
    return __real_fsync(fd);
}

extern "C" int __wrap_fallocate(int fd, int mode, off_t offset, off_t len)
{
    struct stat st;
    if (armedFor(fd, st) && calls.fallocateErr) {
        errno = calls.fallocateErr;
        return -1;
    }
    return __real_fallocate(fd, mode, offset, len);
}

extern "C" ssize_t __wrap_write(int fd, const void* buf, size_t count)
{
    struct stat st;
    if (armedFor(fd, st) && calls.writeErr) {
        if (calls.writable > 0) {
            const ssize_t n = __real_write(fd, buf, std::min(count, calls.writable));
            if (n > 0)
                calls.writable -= static_cast<std::size_t>(n);
            return n;
        }
        if (calls.writeErr < 0)
            return 0;
        errno = calls.writeErr;
        return -1;
    }
    return __real_write(fd, buf, count);
}

extern "C" int __wrap_close(int fd)
{
    struct stat st;
    const bool fails = armedFor(fd, st) && calls.closeErr && (::fcntl(fd, F_GETFL) & O_ACCMODE) != O_RDONLY;
    const int rc = __real_close(fd);
    if (fails) {
        errno = calls.closeErr;
        return -1;
    }
    return rc;
}

TEST(AtomicFile, realFlushAndWriteCalls)
{
    struct Row {
        const char* name;
        bool lockedFolder; // the folder takes no new file: the file is rewritten in place
        int fsyncErr;
        int writeErr;
        int expected; // -1: replaced
        bool newContents; // what the file holds afterwards
        bool streamed = false; // written in pieces through FileReplacement
        std::size_t writable = 0; // bytes stored before the write error
        int fallocateErr = 0; // room for the contents cannot be taken
        int closeErr = 0;
        int createErr = 0;
        std::size_t oldSize = oldBytes.size();
    };
    const Row table[] = {
        { "new contents flushed before the rename", false, 0, 0, -1, true },
        { "in place: the file itself flushed", true, 0, 0, -1, true },
        { "flush fails", false, EIO, 0, EIO, false },
        { "in place: flush fails after the write", true, ENOSPC, 0, ENOSPC, true },
        { "write stores nothing", false, 0, -1, 0, false },
        { "write fails", false, 0, EDQUOT, EDQUOT, false },
        { "close fails, as a write-back on a network file system can", false, 0, 0, EIO, false, false, 0, 0,
            EIO },
        { "in place: the folder refuses a new file with EPERM", false, 0, 0, -1, true, false, 0, 0, 0,
            EPERM },
        { "in place: a longer old file cut to the new length", true, 0, 0, -1, true, false, 0, 0, 0, 0,
            3 * newText.size() },
        { "streamed: the disk fills after the first pieces", false, 0, ENOSPC, ENOSPC, false, true, 2500 },
        { "in place, streamed: the disk fills after the first pieces", true, 0, ENOSPC, ENOSPC, false, true,
            2500 },
        { "in place, streamed: the file itself flushed", true, 0, 0, -1, true, true },
        { "in place: no room for the new contents keeps the file", true, 0, 0, ENOSPC, false, false, 0,
            ENOSPC },
        { "in place: a file system that reserves no room", true, 0, 0, -1, true, false, 0, EOPNOTSUPP },
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        ScratchFolder folder;
        const std::string path = folder.path("t.bst");
        const Bytes old(row.oldSize, 'o');
        writeBytes(path, old);
        const ino_t oldInode = inodeOf(path);
        const bool inPlace = row.lockedFolder || row.createErr;
        if (row.lockedFolder)
            ::chmod(folder.root().c_str(), 0555);
        PermissionChecks checks;
        if (row.lockedFolder && !checks.active())
            GTEST_SKIP() << "running as root without the right to drop capabilities";

        calls = RealCalls { true, path, row.fsyncErr, row.writeErr, {}, row.writable, row.fallocateErr,
            row.closeErr, row.createErr, {} };
        detail::writeFault = [](detail::WriteStep step, int) {
            const bool create
                = step == detail::WriteStep::CreateUnnamed || step == detail::WriteStep::CreateNamed;
            return create ? calls.createErr : 0;
        };
        EXPECT_EQ(row.streamed ? streamError(path) : replaceError(path), row.expected);
        detail::writeFault = nullptr;
        calls.armed = false;

        const Bytes after = readBytes(path);
        EXPECT_EQ(after, row.newContents ? Bytes(newText.begin(), newText.end()) : old);
        if (row.expected == -1) {
            ASSERT_EQ(calls.flushes.size(), 1u);
            const Flush& flush = calls.flushes.front();
            EXPECT_EQ(flush.inode, inodeOf(path)) << "the file flushed is the file now in place";
            EXPECT_EQ(flush.size, static_cast<off_t>(newText.size()));
            EXPECT_EQ(inodeOf(path) == oldInode, inPlace);
            if (!inPlace) {
                EXPECT_EQ(flush.targetThen, old) << "flushed before the rename";
                EXPECT_EQ(calls.folderFlushes, std::vector<Bytes> { after })
                    << "the folder flushed after the rename";
            }
        }
        EXPECT_EQ(folder.namesExcept("t.bst"), std::vector<std::string> {});
    }
}

TEST(AtomicFile, ownerAndModeCarryOverOrTheFileIsRewrittenInPlace)
{
    const uid_t me = ::geteuid();
    const uid_t other = me == 0 ? 65534 : me; // only root can make a file of another user
    struct Row {
        const char* name;
        uid_t owner;
        mode_t mode;
        bool lockedFolder;
        bool dropRights; // bound by permission bits, and unable to give files away
        bool inPlace;
    };
    const Row table[] = {
        { "replaced: owner and mode carry over", other, 04751, false, false, false },
        { "owner that cannot be given: in place", other, 0666, false, true, me == 0 },
        { "folder that takes no new file: in place", me, 0604, true, true, true },
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        ScratchFolder folder;
        const std::string path = folder.path("t");
        writeBytes(path, oldBytes);
        ASSERT_EQ(::chown(path.c_str(), row.owner, row.owner == me ? ::getegid() : row.owner), 0);
        ASSERT_EQ(::chmod(path.c_str(), row.mode), 0); // after the chown, which clears the set-id bits
        if (row.lockedFolder)
            ::chmod(folder.root().c_str(), 0555);
        const ino_t before = inodeOf(path);
        {
            std::optional<PermissionChecks> checks;
            if (row.dropRights && !checks.emplace().active())
                GTEST_SKIP() << "running as root without the right to drop capabilities";
            EXPECT_EQ(replaceError(path), -1);
        }
        EXPECT_EQ(readBytes(path), Bytes(newText.begin(), newText.end()));
        struct stat st { };
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_ino == before, row.inPlace);
        EXPECT_EQ(st.st_uid, row.owner);
        EXPECT_EQ(st.st_mode & 07777, row.mode);
        EXPECT_EQ(folder.namesExcept("t"), std::vector<std::string> {}) << "nothing left beside the file";
    }
}

TEST(AtomicFile, killWhileWritingLeavesNothing)
{
    // Where the file system has unnamed files, the temporary file gets a name only when it is
    // complete; elsewhere (forced here) it has one from the start.
    for (const bool unnamed : { true, false }) {
        SCOPED_TRACE(unnamed ? "unnamed temporary file" : "named temporary file");
        ScratchFolder folder;
        const std::string path = folder.path("t.ini");
        writeBytes(path, oldBytes);
        if (unnamed) {
            const int probe = ::open(folder.root().c_str(), O_TMPFILE | O_WRONLY, 0600);
            if (probe < 0)
                GTEST_SKIP() << "no O_TMPFILE in " << folder.root();
            ::close(probe);
        }
        const pid_t child = ::fork();
        ASSERT_NE(child, -1);
        if (child == 0) {
            static bool noUnnamedFiles;
            noUnnamedFiles = !unnamed;
            detail::writeFault = [](detail::WriteStep step, int) -> int {
                if (step == detail::WriteStep::Sync)
                    ::_exit(42);
                return step == detail::WriteStep::CreateUnnamed && noUnnamedFiles ? EOPNOTSUPP : 0;
            };
            replaceError(path);
            ::_exit(0);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 42) << "the kill point was not reached";
        EXPECT_EQ(readBytes(path), oldBytes);
        const auto leftovers = folder.namesExcept("t.ini");
        EXPECT_EQ(leftovers.size(), unnamed ? 0u : 1u);
        for (const auto& name : leftovers)
            EXPECT_EQ(name.rfind("t.ini.tmp-", 0), 0u);
    }
}
