// SPDX-License-Identifier: GPL-3.0-or-later
// The Windows file layer, run under Windows (or Wine): UTF-8 paths with Japanese names, binary
// files, the atomic writer's rules, the INI file's line ends, the portable folder's test by trying,
// and the history's export that must not overwrite the history itself.
#include "fileio/atomicfile.h"
#include "fileio/atomicfile_p.h"
#include "fileio/sysfile.h"
#include "history/historydb.h"
#include "history/historyexport.h"
#include "history/historyimport.h"
#include "results/besttimesfile.h"
#include "results/ioerror.h"
#include "settings/filelocations.h"
#include "settings/inifile.h"
#include "tests/support/scratchfolder.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cerrno>
#include <optional>
#include <sstream>

namespace touchdrill {
using touchdrill::testing::ScratchFolder;

namespace {

std::wstring wide(const std::string& utf8)
{
    return ScratchFolder::fsPath(utf8).wstring();
}

void setReadOnly(const std::string& path)
{
    ::SetFileAttributesW(wide(path).c_str(), FILE_ATTRIBUTE_READONLY);
}

// Sets the file's last write time `seconds` into the past.
void age(const std::string& path, int64_t seconds)
{
    const HANDLE file = ::CreateFileW(
        wide(path).c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    FILETIME now {};
    ::GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER t {};
    t.LowPart = now.dwLowDateTime;
    t.HighPart = now.dwHighDateTime;
    t.QuadPart -= static_cast<uint64_t>(seconds) * 10'000'000;
    const FILETIME then { t.LowPart, t.HighPart };
    ::SetFileTime(file, nullptr, nullptr, &then);
    ::CloseHandle(file);
}

TEST(WindowsFiles, JapaneseNamesAndEveryByteSurviveAWriteAndARead)
{
    ScratchFolder dir; // itself named in Japanese
    // "\n", "\r\n" and 0x1A are what the C runtime's text mode would change or stop at.
    const std::string bytes = std::string("a\nb\r\nc\x1a"
                                          "d\0e",
                                  9)
        + "\xff";
    for (const char* name : { "練習.bin", "名前 空白.ini", "plain.txt" }) {
        SCOPED_TRACE(name);
        replaceFile(dir.path(name), bytes);
        EXPECT_EQ(dir.read(name), bytes);
        struct stat info { };
        ASSERT_EQ(sysfile::stat(dir.path(name), info), 0);
        EXPECT_EQ(info.st_size, static_cast<off_t>(bytes.size()));
    }

    BestTimes best {};
    best[0] = 0x1A; // every byte value that text mode mangles, in the 376-byte file
    best[1] = 0x0A0D0A0D;
    best[93] = 0xFFFFFFFF;
    saveBestTimes(dir.path("練習.bst"), best);
    EXPECT_EQ(dir.read("練習.bst")->size(), BestTimesFileSize);
    BestTimes back {};
    loadBestTimes(dir.path("練習.bst"), back);
    EXPECT_EQ(back, best);
}

// A file that another program holds open, sharing nothing.
HANDLE held = INVALID_HANDLE_VALUE;

TEST(WindowsFiles, ReplacingAFileFollowsTheWritersRules)
{
    struct Row {
        const char* name;
        void (*prepare)(const ScratchFolder& dir); // the target is dir.path("t")
        int err; // 0: replaced
        std::optional<std::string> left; // the target's contents afterwards
    };
    const Row rows[] = {
        { "a new file is made", [](const ScratchFolder&) {}, 0, "new" },
        { "an existing file is replaced", [](const ScratchFolder& dir) { dir.write("t", "old contents"); }, 0,
            "new" },
        { "the read-only attribute refuses, and the file stays",
            [](const ScratchFolder& dir) {
                dir.write("t", "old");
                setReadOnly(dir.path("t"));
            },
            EACCES, "old" },
        { "a folder there is refused",
            [](const ScratchFolder& dir) {
                std::filesystem::create_directory(ScratchFolder::fsPath(dir.path("t")));
            },
            EISDIR, std::nullopt },
        { "a file held open by another program that shares nothing is refused",
            [](const ScratchFolder& dir) {
                dir.write("t", "held");
                held = ::CreateFileW(
                    wide(dir.path("t")).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
            },
            EACCES, std::nullopt },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScratchFolder dir;
        row.prepare(dir);
        int err = 0;
        try {
            replaceFile(dir.path("t"), "new");
        } catch (const FileWriteError& error) {
            err = error.error();
        }
        if (held != INVALID_HANDLE_VALUE)
            ::CloseHandle(held);
        held = INVALID_HANDLE_VALUE;
        EXPECT_EQ(err, row.err);
        if (row.left) {
            EXPECT_EQ(dir.read("t"), row.left);
        }
        for (const std::string& name : dir.entries())
            EXPECT_EQ(name.find(".tmp-"), std::string::npos) << name;
        ::SetFileAttributesW(wide(dir.path("t")).c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

TEST(WindowsFiles, AFailedMoveLeavesTheFileAndNoTemporary)
{
    ScratchFolder dir;
    dir.write("t", "old");
    detail::writeFault
        = [](detail::WriteStep step, int) { return step == detail::WriteStep::Rename ? ENOSPC : 0; };
    EXPECT_THROW(replaceFile(dir.path("t"), "new"), FileWriteError);
    detail::writeFault = [](detail::WriteStep step, int) {
        return step == detail::WriteStep::Write ? detail::StoredNothing : 0;
    };
    try {
        saveBestTimes(dir.path("t"), BestTimes {});
        ADD_FAILURE() << "a write that stored nothing was taken for success";
    } catch (const IoError& error) {
        EXPECT_EQ(error.code(), IoDiskFull);
    }
    detail::writeFault = nullptr;
    EXPECT_EQ(dir.read("t"), "old");
    EXPECT_EQ(dir.entries(), std::set<std::string> { "t" });
}

TEST(WindowsFiles, LeftoversOfAKillGoOnceOlderThanAnyRewrite)
{
    ScratchFolder dir;
    dir.write("t.ini.tmp-old123", "left by a kill");
    age(dir.path("t.ini.tmp-old123"), 3600);
    dir.write("t.ini.tmp-young1", "another copy writing now");
    age(dir.path("t.ini.tmp-young1"), 60);
    dir.write("u.ini.tmp-other1", "another file's");
    age(dir.path("u.ini.tmp-other1"), 3600);
    replaceFile(dir.path("t.ini"), "x");
    EXPECT_EQ(dir.entries(), (std::set<std::string> { "t.ini", "t.ini.tmp-young1", "u.ini.tmp-other1" }));
}

TEST(WindowsFiles, ANewIniFileGetsWindowsLineEndsAndAnOldOneKeepsItsOwn)
{
    struct Row {
        const char* name;
        std::optional<std::string> before;
        std::string after;
    };
    const Row rows[] = {
        { "new file", std::nullopt, "[Form]\r\nLeft=10\r\n" },
        { "empty file", "", "[Form]\r\nLeft=10\r\n" },
        { "an LF file stays LF", "[Form]\nTop=5\n", "[Form]\nTop=5\nLeft=10\n" },
        { "a CRLF file stays CRLF", "[Other]\r\nA=1\r\n", "[Other]\r\nA=1\r\n[Form]\r\nLeft=10\r\n" },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScratchFolder dir;
        if (row.before)
            dir.write("設定.ini", *row.before);
        ASSERT_TRUE(writeIniString(dir.path("設定.ini"), "Form", "Left", "10"));
        EXPECT_EQ(dir.read("設定.ini"), row.after);
        EXPECT_EQ(readIniString(dir.path("設定.ini"), "Form", "Left", ""), "10");
    }
}

TEST(WindowsFiles, TheRealSystemTriesTheFolderAndReadsTheAttribute)
{
    ScratchFolder dir;
    dir.write("w.bst", "x");
    dir.write("r.bst", "x");
    setReadOnly(dir.path("r.bst"));
    const FileLocations::System real = FileLocations::System::real();
    EXPECT_TRUE(real.canCreateIn(dir.path("")));
    EXPECT_FALSE(real.canCreateIn(dir.path("missing")));
    EXPECT_TRUE(real.canWrite(dir.path("w.bst")));
    EXPECT_FALSE(real.canWrite(dir.path("r.bst")));
    EXPECT_FALSE(real.canWrite(dir.path("none.bst")));
    EXPECT_TRUE(real.exists(dir.path("r.bst")));
    EXPECT_EQ(dir.entries(), (std::set<std::string> { "r.bst", "w.bst" })); // the trial left nothing
    ::SetFileAttributesW(wide(dir.path("r.bst")).c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(WindowsFiles, TheExportRefusesTheHistoryItselfUnderAnyNameOnly)
{
    ScratchFolder dir;
    const std::string history = dir.path("練習.sqlite");
    history::DrillRecord drill;
    drill.startedUtcMs = 1'700'000'000'000;
    drill.endedUtcMs = drill.startedUtcMs + 60'000;
    drill.rows = "h";
    drill.keys.push_back({ 'a', 3, 900, 1, { { 's', 1 } } });
    history::HistoryDb::open(history, true)->record(drill);
    std::string backslashed = history;
    for (char& c : backslashed)
        if (c == '/')
            c = '\\';
    EXPECT_TRUE(sysfile::sameFile(history, backslashed));
    EXPECT_THROW(history::exportHistoryFile(history, backslashed), std::runtime_error);

    // Any other file, existing or not, takes the export; on Windows no two files share an
    // inode number of 0.
    dir.write("old.csv", "old");
    for (const char* name : { "old.csv", "書き出し.csv" }) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(sysfile::sameFile(history, dir.path(name)));
        history::exportHistoryFile(history, dir.path(name));
        const std::string csv = dir.read(name).value_or("");
        EXPECT_NE(csv.find(",a,3,900,"), std::string::npos) << csv;
        EXPECT_NE(csv.find("\r\n"), std::string::npos);
    }
    std::ostringstream out;
    history::exportHistory(history, "-", out);
    EXPECT_EQ(out.str(), dir.read("old.csv"));

    // The merge opens the other file by a URI it makes of the path, backslashes, colon and all.
    EXPECT_EQ(history::importHistory(dir.path("取り込み先.sqlite"), backslashed).added, 1u);
}

} // namespace
} // namespace touchdrill
