// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileio/atomicfile_p.h"
#include "results/besttimesfile.h"
#include "results/ioerror.h"
#include "tests/support/filebytes.h"
#include "tests/support/permissionchecks.h"
#include "tests/support/scratchfolder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace touchdrill;
using namespace touchdrill::testing;

namespace {

BestTimes someBests()
{
    BestTimes best {};
    best['!' - FirstCode] = 0x04030201;
    best['a' - FirstCode] = 432;
    best['~' - FirstCode] = 0xA1B2C3D4;
    return best;
}

const Bytes someBestsFile = handMadeFile({ { '!', 0x04030201 }, { 'a', 432 }, { '~', 0xA1B2C3D4 } });

int expectIoError(const std::function<void()>& call, std::string* text = nullptr)
{
    try {
        call();
    } catch (const IoError& error) {
        if (text)
            *text = error.what();
        return error.code();
    }
    ADD_FAILURE() << "no IoError";
    return 0;
}

// Resets the fault hook even when an assertion leaves the test early.
struct FaultScope {
    explicit FaultScope(detail::WriteFault fault) { detail::writeFault = fault; }
    ~FaultScope() { detail::writeFault = nullptr; }
};

} // namespace

TEST(BestTimesFile, bytesAreLittleEndianAtFourTimesCodeMinus33)
{
    ScratchFolder folder;
    const std::string path = folder.path("t.bst");
    saveBestTimes(path, someBests());
    EXPECT_EQ(readBytes(path), someBestsFile);

    writeBytes(path, someBestsFile);
    BestTimes loaded;
    loaded.fill(7);
    loadBestTimes(path, loaded);
    EXPECT_EQ(loaded, someBests());
}

TEST(BestTimesFile, longFileIsReadForItsFirst376BytesAndCutByTheRewrite)
{
    ScratchFolder folder;
    const std::string path = folder.path("t.bst");
    Bytes longer = someBestsFile;
    longer.resize(500, 0xEE);
    writeBytes(path, longer);

    BestTimes best {};
    loadBestTimes(path, best);
    EXPECT_EQ(best, someBests());
    saveBestTimes(path, best);
    EXPECT_EQ(readBytes(path), someBestsFile);
}

TEST(BestTimesFile, shortFileFailsWithCode100AndLeavesTheTableAlone)
{
    ScratchFolder folder;
    const std::string path = folder.path("t.bst");
    for (std::size_t size : { 0, 4, 375 }) {
        SCOPED_TRACE(size);
        writeBytes(path, handMadeFile({ { '!', 99 } }, size));
        BestTimes best = someBests();
        EXPECT_EQ(expectIoError([&] { loadBestTimes(path, best); }), 100);
        EXPECT_EQ(best, someBests());
    }
}

TEST(BestTimesFile, whatCountsAsAnExistingFile)
{
    ScratchFolder folder;
    writeBytes(folder.path("file"), someBestsFile);
    std::filesystem::create_directory(folder.path("folder"));
    std::filesystem::create_symlink(folder.path("file"), folder.path("link"));
    std::filesystem::create_symlink(folder.path("gone"), folder.path("dangling"));
    const std::pair<const char*, bool> table[] = {
        { "file", true },
        { "link", true },
        { "missing", false },
        { "folder", false },
        { "dangling", false },
    };
    for (const auto& [name, exists] : table) {
        SCOPED_TRACE(name);
        EXPECT_EQ(bestTimesFileExists(folder.path(name)), exists);
    }
}

TEST(BestTimesFile, refusedOpensAndCreatesReportTheirCodes)
{
    ScratchFolder folder;
    const std::string readOnly = folder.path("readonly.bst");
    writeBytes(readOnly, someBestsFile);
    ::chmod(readOnly.c_str(), 0444);
    const std::string lockedFolder = folder.path("locked");
    std::filesystem::create_directory(lockedFolder);
    const std::string lockedFile = lockedFolder + "/t.bst";
    writeBytes(lockedFile, someBestsFile);
    ::chmod(lockedFolder.c_str(), 0555);
    writeBytes(folder.path("plain"), someBestsFile);
    std::filesystem::create_directory(folder.path("dir.bst"));
    ASSERT_EQ(::mkfifo(folder.path("fifo.bst").c_str(), 0644), 0);

    PermissionChecks checks;
    if (!checks.active())
        GTEST_SKIP() << "running as root without the right to drop capabilities";

    BestTimes best {};
    loadBestTimes(readOnly, best);
    EXPECT_EQ(best, someBests()) << "a read-only file is read";
    EXPECT_EQ(expectIoError([&] { saveBestTimes(readOnly, BestTimes {}); }), 5)
        << "read-only file: the rewrite is refused, though the folder would let a rename replace it";
    EXPECT_EQ(expectIoError([&] { saveBestTimes(lockedFolder + "/new.bst", best); }), 5)
        << "unwritable folder";
    EXPECT_EQ(expectIoError([&] { saveBestTimes(folder.path("dir.bst"), best); }), 5) << "folder in the way";
    EXPECT_EQ(expectIoError([&] { loadBestTimes(folder.path("dir.bst"), best); }), 5) << "folder in the way";
    EXPECT_EQ(expectIoError([&] { loadBestTimes(folder.path("fifo.bst"), best); }), 5)
        << "not a file, and no hang";
    EXPECT_EQ(expectIoError([&] { saveBestTimes(folder.path("fifo.bst"), best); }), 5) << "not a file";
    EXPECT_EQ(expectIoError([&] { saveBestTimes(folder.path("nowhere/t.bst"), best); }), 2)
        << "missing folder";
    EXPECT_EQ(expectIoError([&] { saveBestTimes(folder.path("plain/t.bst"), best); }), 3)
        << "path through a file";
    EXPECT_EQ(expectIoError([&] { loadBestTimes(folder.path("missing.bst"), best); }), 2);
    EXPECT_EQ(best, someBests());

    // A folder that takes no new file beside a writable file: the file is rewritten in place.
    struct stat before;
    ASSERT_EQ(::stat(lockedFile.c_str(), &before), 0);
    saveBestTimes(lockedFile, BestTimes {});
    EXPECT_EQ(readBytes(lockedFile), Bytes(376, 0));
    struct stat after;
    ASSERT_EQ(::stat(lockedFile.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);

    EXPECT_EQ(readBytes(readOnly), someBestsFile);
    EXPECT_TRUE(std::filesystem::is_directory(folder.path("dir.bst")));
    EXPECT_EQ(folder.namesExcept("").size(), 5u) << "a temporary file was left behind";
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(lockedFolder), {}), 1);
}

TEST(BestTimesFile, failedRewriteKeepsTheOldFileAndLeavesNoTemporary)
{
    struct Row {
        const char* name;
        detail::WriteStep step;
        int err;
        int code;
        const char* text;
    };
    const Row table[] = {
        { "create: disk full", detail::WriteStep::CreateNamed, ENOSPC, 112, "I/O エラー (112)" },
        { "write: quota", detail::WriteStep::Write, EDQUOT, 112, "I/O エラー (112)" },
        { "write: nothing stored, no error", detail::WriteStep::Write, detail::StoredNothing, 101,
            "ディスクがいっぱいです" },
        { "write: device error", detail::WriteStep::Write, EIO, 1117, "I/O エラー (1117)" },
        { "flush: disk full", detail::WriteStep::Sync, ENOSPC, 112, "I/O エラー (112)" },
        { "close: deferred error", detail::WriteStep::Close, EIO, 1117, "I/O エラー (1117)" },
        { "rename: folder in the way", detail::WriteStep::Rename, EISDIR, 5,
            "ファイルへのアクセスが拒否されました" },
        { "rename: folder with files in the way", detail::WriteStep::Rename, ENOTEMPTY, 5,
            "ファイルへのアクセスが拒否されました" },
        { "rename: an errno equal to one of the program's codes", detail::WriteStep::Rename, ENETDOWN, 100,
            "I/O エラー (100)" },
    };
    static const Row* current = nullptr;
    static bool tempSeen = false;
    static std::string tempPrefix;
    FaultScope fault([](detail::WriteStep step, int fd) {
        // The step works on the temporary file: it is open, or it has its name by the rename.
        for (const auto& entry :
            std::filesystem::directory_iterator(std::filesystem::path(tempPrefix).parent_path()))
            tempSeen = tempSeen || entry.path().string().starts_with(tempPrefix);
        tempSeen = tempSeen || fd >= 0;
        // Where the folder has no unnamed files, the named temporary file is what fails.
        const bool create
            = current->step == detail::WriteStep::CreateNamed && step == detail::WriteStep::CreateUnnamed;
        return step == current->step || create ? current->err : 0;
    });
    ScratchFolder folder;
    const std::string path = folder.path("t.bst");
    tempPrefix = path + ".tmp-";
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        current = &row;
        tempSeen = false;
        writeBytes(path, someBestsFile);
        std::string text;
        EXPECT_EQ(expectIoError([&] { saveBestTimes(path, BestTimes {}); }, &text), row.code);
        EXPECT_EQ(text, row.text);
        EXPECT_EQ(readBytes(path), someBestsFile);
        EXPECT_EQ(tempSeen, row.step != detail::WriteStep::CreateNamed);
        EXPECT_EQ(folder.namesExcept("t.bst"), std::vector<std::string> {});
    }
}

TEST(BestTimesFile, crashBeforeTheRenameLeavesTheOldFileWhole)
{
    ScratchFolder folder;
    const std::string path = folder.path("t.bst");
    writeBytes(path, someBestsFile);

    const pid_t child = ::fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        // The process dies between the flushed temporary file and the rename, cleaning up nothing.
        detail::writeFault = [](detail::WriteStep step, int) -> int {
            if (step == detail::WriteStep::Rename)
                ::_exit(42);
            return 0;
        };
        try {
            saveBestTimes(path, BestTimes {});
        } catch (...) {
        }
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 42) << "the crash point was not reached";

    EXPECT_EQ(readBytes(path), someBestsFile);
    BestTimes best {};
    loadBestTimes(path, best);
    EXPECT_EQ(best, someBests());

    // What the crash left is the complete new contents under another name, never the file itself.
    const auto leftovers = folder.namesExcept("t.bst");
    ASSERT_EQ(leftovers.size(), 1u);
    EXPECT_EQ(leftovers[0].rfind("t.bst.tmp-", 0), 0u);
    EXPECT_EQ(readBytes(folder.path(leftovers[0])), Bytes(376, 0));

    // And the next rewrite is not hindered by it; a leftover that young may still be another
    // copy's rewrite in progress, so it stays.
    saveBestTimes(path, BestTimes {});
    EXPECT_EQ(readBytes(path), Bytes(376, 0));
    EXPECT_EQ(folder.namesExcept("t.bst"), leftovers);

    // An hour later it can only be a leftover, and the next rewrite removes it, and nothing else.
    const timespec anHourAgo[2] = { { ::time(nullptr) - 3600, 0 }, { ::time(nullptr) - 3600, 0 } };
    ASSERT_EQ(::utimensat(AT_FDCWD, folder.path(leftovers[0]).c_str(), anHourAgo, 0), 0);
    writeBytes(folder.path("t.bst.tmp-not_us"), Bytes(3, 1)); // a name the program never makes
    ASSERT_EQ(::utimensat(AT_FDCWD, folder.path("t.bst.tmp-not_us").c_str(), anHourAgo, 0), 0);
    saveBestTimes(path, someBests());
    EXPECT_EQ(readBytes(path), someBestsFile);
    EXPECT_EQ(folder.namesExcept("t.bst"), std::vector<std::string> { "t.bst.tmp-not_us" });
}

TEST(BestTimesFile, rewriteKeepsModeAndWritesThroughALink)
{
    ScratchFolder folder;
    const mode_t oldMask = ::umask(022);
    const std::string fresh = folder.path("fresh.bst");
    saveBestTimes(fresh, someBests());
    ::umask(oldMask);
    struct stat st;
    ASSERT_EQ(::stat(fresh.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u) << "a new file gets 0666 less the umask";

    const std::string target = folder.path("private.bst");
    writeBytes(target, Bytes(376, 0));
    ::chmod(target.c_str(), 0600);
    const std::string link = folder.path("link.bst");
    std::filesystem::create_symlink(target, link);
    saveBestTimes(link, someBests());
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(readBytes(target), someBestsFile);
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}
