// SPDX-License-Identifier: GPL-3.0-or-later
// The one writer of the program's files: the real flush and write calls, and the rules of a replace.
#include "fileio/atomicfile.h"
#include "fileio/atomicfile_p.h"
#include "permissionchecks.h"
#include "testfiles.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <optional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace touchdrill;
using namespace touchdrill::testing;

// Linked with --wrap: the writer's fsync and write calls land here first.
extern "C" {
int __real_fsync(int fd);
ssize_t __real_write(int fd, const void* buf, size_t count);
int __wrap_fsync(int fd);
ssize_t __wrap_write(int fd, const void* buf, size_t count);
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

ino_t inodeOf(const std::string& path)
{
    struct stat st { };
    return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

} // namespace

extern "C" int __wrap_fsync(int fd)
{
    struct stat st;
    if (armedFor(fd, st)) {
        calls.flushes.push_back({ st.st_ino, st.st_size, readBytes(calls.target) });
        if (calls.fsyncErr) {
            errno = calls.fsyncErr;
            return -1;
        }
    }
    return __real_fsync(fd);
}

extern "C" ssize_t __wrap_write(int fd, const void* buf, size_t count)
{
    struct stat st;
    if (armedFor(fd, st) && calls.writeErr) {
        if (calls.writeErr < 0)
            return 0;
        errno = calls.writeErr;
        return -1;
    }
    return __real_write(fd, buf, count);
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
    };
    const Row table[] = {
        { "new contents flushed before the rename", false, 0, 0, -1, true },
        { "in place: the file itself flushed", true, 0, 0, -1, true },
        { "flush fails", false, EIO, 0, EIO, false },
        { "in place: flush fails after the write", true, ENOSPC, 0, ENOSPC, true },
        { "write stores nothing", false, 0, -1, 0, false },
        { "write fails", false, 0, EDQUOT, EDQUOT, false },
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        TempFolder folder;
        const std::string path = folder.path("t.bst");
        writeBytes(path, oldBytes);
        const ino_t oldInode = inodeOf(path);
        if (row.lockedFolder)
            ::chmod(folder.root().c_str(), 0555);
        PermissionChecks checks;
        if (row.lockedFolder && !checks.active())
            GTEST_SKIP() << "running as root without the right to drop capabilities";

        calls = RealCalls { true, path, row.fsyncErr, row.writeErr, {} };
        EXPECT_EQ(replaceError(path), row.expected);
        calls.armed = false;

        const Bytes after = readBytes(path);
        EXPECT_EQ(after, row.newContents ? Bytes(newText.begin(), newText.end()) : oldBytes);
        if (row.expected == -1) {
            ASSERT_EQ(calls.flushes.size(), 1u);
            const Flush& flush = calls.flushes.front();
            EXPECT_EQ(flush.inode, inodeOf(path)) << "the file flushed is the file now in place";
            EXPECT_EQ(flush.size, static_cast<off_t>(newText.size()));
            EXPECT_EQ(inodeOf(path) == oldInode, row.lockedFolder);
            if (!row.lockedFolder) {
                EXPECT_EQ(flush.targetThen, oldBytes) << "flushed before the rename";
            }
        }
        EXPECT_EQ(folder.namesExcept("t.bst"), std::vector<std::string> {});
    }
}

TEST(AtomicFile, rulesOfAReplace)
{
    const bool root = ::geteuid() == 0;
    struct Row {
        const char* name;
        std::function<void(TempFolder&)> setUp;
        const char* path;
        bool dropRights; // bound by permission bits, and unable to give files away
        int expected; // -1: replaced
        bool inPlace;
        uid_t owner; // of the file afterwards
        mode_t mode;
    };
    const uid_t me = ::geteuid();
    const uid_t other = root ? 65534 : me;
    auto plainFile = [](mode_t mode, uid_t owner) {
        return [=](TempFolder& f) {
            writeBytes(f.path("t"), oldBytes);
            if (owner != ::geteuid()) {
                ASSERT_EQ(::chown(f.path("t").c_str(), owner, owner), 0);
            }
            ::chmod(f.path("t").c_str(), mode); // after the chown, which clears the set-id bits
        };
    };
    const Row table[] = {
        { "new file: 0666 less the umask", [](TempFolder&) {}, "t", true, -1, false, me, 0644 },
        { "owner and mode carry over", plainFile(04751, other), "t", false, -1, false, other, 04751 },
        { "folder that takes no new file: in place",
            [&](TempFolder& f) {
                plainFile(0604, me)(f);
                ::chmod(f.root().c_str(), 0555);
            },
            "t", true, -1, true, me, 0604 },
        { "owner that cannot be given: in place", plainFile(0666, other), "t", true, -1, root, other, 0666 },
        { "read-only file", plainFile(0444, me), "t", true, EACCES, false, me, 0444 },
        { "link written through, dangling or not",
            [](TempFolder& f) { std::filesystem::create_symlink("sub/t", f.path("link")); }, "link", true, -1,
            false, me, 0644 },
        { "folder in the way", [](TempFolder& f) { std::filesystem::create_directories(f.path("t/x")); }, "t",
            true, EISDIR, false, me, 0 },
        { "FIFO in the way", [](TempFolder& f) { ::mkfifo(f.path("t").c_str(), 0666); }, "t", true, EACCES,
            false, me, 0 },
        { "loop of links", [](TempFolder& f) { std::filesystem::create_symlink("loop", f.path("loop")); },
            "loop", true, ELOOP, false, me, 0 },
    };
    const mode_t oldMask = ::umask(022);
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        TempFolder folder;
        std::filesystem::create_directory(folder.path("sub"));
        row.setUp(folder);
        const std::string file = std::string(row.path) == "link" ? folder.path("sub/t") : folder.path("t");
        const ino_t before = inodeOf(file);
        const auto names = folder.namesExcept("t");
        {
            std::optional<PermissionChecks> checks;
            if (row.dropRights && !checks.emplace().active())
                GTEST_SKIP() << "running as root without the right to drop capabilities";
            EXPECT_EQ(replaceError(folder.path(row.path)), row.expected);
        }
        struct stat st { };
        if (row.expected == -1) {
            EXPECT_EQ(readBytes(file), Bytes(newText.begin(), newText.end()));
            ASSERT_EQ(::lstat(file.c_str(), &st), 0);
            EXPECT_EQ(st.st_ino == before, row.inPlace);
            EXPECT_EQ(st.st_uid, row.owner);
            EXPECT_EQ(st.st_mode & 07777, row.mode);
        } else if (row.mode) {
            EXPECT_EQ(readBytes(file), oldBytes);
        }
        EXPECT_EQ(folder.namesExcept("t"), names) << "nothing left beside the file";
    }
    ::umask(oldMask);
}

TEST(AtomicFile, killWhileWritingLeavesNothing)
{
    // Where the file system has unnamed files, the temporary file gets a name only when it is
    // complete; elsewhere (forced here) it has one from the start.
    for (const bool unnamed : { true, false }) {
        SCOPED_TRACE(unnamed ? "unnamed temporary file" : "named temporary file");
        TempFolder folder;
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
