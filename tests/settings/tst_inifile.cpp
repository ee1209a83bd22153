// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/inifile.h"

#include "tests/support/permissionchecks.h"
#include "tests/support/scratchfolder.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace touchdrill {
namespace {

using testing::ScratchFolder;

using namespace std::string_literals;

const std::string Dflt = "<default>";

TEST(ReadIniString, Table)
{
    struct Row {
        const char* name;
        std::optional<std::string> file; // nullopt: no file
        const char* section;
        const char* key;
        std::string expected;
    };
    const std::string longValue(3000, 'v');
    const Row rows[] = {
        { "missing file", std::nullopt, "Form", "Top", Dflt },
        { "empty file", "", "Form", "Top", Dflt },
        { "missing section", "[Other]\nTop=1\n", "Form", "Top", Dflt },
        { "key only in another section", "[Other]\nTop=1\n[Form]\nLeft=2\n", "Form", "Top", Dflt },
        { "key before any section", "Top=1\n[Form]\n", "Form", "Top", Dflt },
        { "plain", "[Form]\nTop=12\n", "Form", "Top", "12" },
        { "names without regard to case", "[fORM]\ntOP=12\n", "Form", "Top", "12" },
        { "blanks around names and value", "  [ Form ]\t\n\t Top \t= \t1 2 \t\n", "Form", "Top", "1 2" },
        { "CRLF line ends", "[Form]\r\nTop=12\r\nLeft=3\r\n", "Form", "Top", "12" },
        { "no trailing line end", "[Form]\nTop=12", "Form", "Top", "12" },
        { "double quotes removed", "[Form]\nTop=\" 12 \"\n", "Form", "Top", " 12 " },
        { "single quotes removed", "[Form]\nTop='12'\n", "Form", "Top", "12" },
        { "mismatched quotes kept", "[Form]\nTop=\"12'\n", "Form", "Top", "\"12'" },
        { "lone quote kept", "[Form]\nTop=\"\n", "Form", "Top", "\"" },
        { "empty value is not the default", "[Form]\nTop=\n", "Form", "Top", "" },
        { "value keeps later equals signs", "[Form]\nTop=a=b\n", "Form", "Top", "a=b" },
        { "no comments after a value", "[Form]\nTop=1 ; why\n", "Form", "Top", "1 ; why" },
        { "commented-out key", "[Form]\n; Top=1\n", "Form", "Top", Dflt },
        { "longer key name", "[Form]\nTop2=1\n", "Form", "Top", Dflt },
        { "first duplicate key wins", "[Form]\nTop=1\nTop=2\n", "Form", "Top", "1" },
        { "only the first section of a name", "[Form]\nLeft=1\n[Other]\n[FORM]\nTop=2\n", "Form", "Top",
            Dflt },
        { "unclosed bracket is no section", "[Other\n[Form\nTop=1\n", "Form", "Top", Dflt },
        { "byte order mark", "\xEF\xBB\xBF[Form]\nTop=12\n", "Form", "Top", "12" },
        { "NUL and high bytes", "[B\0\xff]\nk=\0\n[Form]\nTop=\xff\0x\n"s, "Form", "Top", "\xff\0x"s },
        { "long value cut", "[Form]\nTop=" + longValue + "\n", "Form", "Top", longValue.substr(0, 2047) },
        { "quotes removed before cutting", "[Form]\nTop=\"" + longValue + "\"\n", "Form", "Top",
            longValue.substr(0, 2047) },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScratchFolder dir;
        if (row.file)
            dir.write("t.ini", *row.file);
        EXPECT_EQ(readIniString(dir.path("t.ini"), row.section, row.key, Dflt), row.expected);
        // The whole section, read by the same rules: its first key of that name has the value.
        const auto entries = readIniSection(dir.path("t.ini"), row.section);
        const auto first = std::find_if(entries.begin(), entries.end(), [&](const auto& entry) {
            return std::equal(entry.first.begin(), entry.first.end(), row.key, row.key + strlen(row.key),
                [](char a, char b) { return std::tolower(a) == std::tolower(b); });
        });
        EXPECT_EQ(first == entries.end() ? Dflt : first->second, row.expected);
    }
}

TEST(ReadIniSection, EveryKeyInOrder)
{
    ScratchFolder dir;
    dir.write("t.ini",
        "[Form]\nTop=1\n[Fingers]\r\n6=left-index\r\n; 7=left-index\r\nno equals sign\r\n"
        "[=right-little\r\n 0x3d = 'right-ring' \r\n6=right-index\r\n[Other]\r\nx=left-ring\r\n"
        "[fingers]\nq=left-ring\n");
    const std::vector<std::pair<std::string, std::string>> expected { { "6", "left-index" },
        { "[", "right-little" }, { "0x3d", "right-ring" }, { "6", "right-index" } };
    EXPECT_EQ(readIniSection(dir.path("t.ini"), "Fingers"), expected);
    EXPECT_TRUE(readIniSection(dir.path("t.ini"), "Missing").empty());
    EXPECT_TRUE(readIniSection(dir.path("none.ini"), "Fingers").empty());
}

TEST(ReadIniString, LongDefaultIsCutAndOddFilesAreLeftAlone)
{
    ScratchFolder dir;
    EXPECT_EQ(readIniString(dir.path("none"), "Form", "Top", std::string(3000, 'd')).size(), 2047u);
    // A folder, and a FIFO that nobody writes to (which must not block the reader).
    EXPECT_EQ(readIniString(dir.path(""), "Form", "Top", Dflt), Dflt);
    ASSERT_EQ(::mkfifo(dir.path("fifo").c_str(), 0600), 0);
    EXPECT_EQ(readIniString(dir.path("fifo"), "Form", "Top", Dflt), Dflt);
    EXPECT_FALSE(writeIniString(dir.path("fifo"), "Form", "Top", "1"));
    // A sparse file claiming a size far beyond any INI file is neither loaded nor replaced.
    dir.write("huge.ini", "[Form]\nTop=1\n");
    std::filesystem::resize_file(dir.path("huge.ini"), 1ull << 32);
    EXPECT_EQ(readIniString(dir.path("huge.ini"), "Form", "Top", Dflt), Dflt);
    EXPECT_FALSE(writeIniString(dir.path("huge.ini"), "Form", "Top", "2"));
    EXPECT_EQ(std::filesystem::file_size(dir.path("huge.ini")), 1ull << 32);
}

TEST(ReadIniString, LargeFiles)
{
    ScratchFolder dir;
    std::string text = "[Big]\nk=" + std::string(100000, '\0') + "\n";
    for (int i = 0; i < 5000; ++i)
        text += "[S" + std::to_string(i) + "]\nTop=" + std::to_string(i) + "\n";
    text += "[Form]\nTop=" + std::string(100000, 'x') + "\n";
    dir.write("t.ini", text);
    EXPECT_EQ(readIniString(dir.path("t.ini"), "s4999", "top", Dflt), "4999");
    EXPECT_EQ(readIniString(dir.path("t.ini"), "Form", "Top", Dflt).size(), 2047u);
    ASSERT_TRUE(writeIniString(dir.path("t.ini"), "S2500", "Top", "x"));
    text.replace(text.find("[S2500]\nTop=") + 12, 4, "x");
    EXPECT_EQ(dir.read("t.ini"), text);
}

TEST(WriteIniString, KeepsEveryOtherByte)
{
    struct Row {
        const char* name;
        std::optional<std::string> before; // nullopt: no file
        std::string value;
        std::string after; // the whole file
    };
    const Row rows[] = {
        { "creates the file", std::nullopt, "5", "[Form]\nTop=5\n" },
        { "empty file", "", "5", "[Form]\nTop=5\n" },
        { "replaces in place", "; mine\n[Other]\nTop=1\n\n[Form]\nLeft=3\n  Top = 10  \n\n; end\n[Z]\nq=r\n",
            "5", "; mine\n[Other]\nTop=1\n\n[Form]\nLeft=3\n  Top = 5  \n\n; end\n[Z]\nq=r\n" },
        { "key name spelling kept", "[FORM]\ntop=1\n", "5", "[FORM]\ntop=5\n" },
        { "key appended after the last non-blank line", "[Other]\nTop=1\n[Form]\nLeft=3\n\n\n[Z]\n", "5",
            "[Other]\nTop=1\n[Form]\nLeft=3\nTop=5\n\n\n[Z]\n" },
        { "key right after a bare header", "[Form]\n\n[Next]\n", "5", "[Form]\nTop=5\n\n[Next]\n" },
        { "comment counts as a line of the section", "[Form]\n;Top=1\n", "5", "[Form]\n;Top=1\nTop=5\n" },
        { "section appended", "[Other]\na=1\n", "5", "[Other]\na=1\n[Form]\nTop=5\n" },
        { "CRLF key replaced", "[Form]\r\nTop=1\r\nLeft=2\r\n", "5", "[Form]\r\nTop=5\r\nLeft=2\r\n" },
        { "CRLF key appended", "[Form]\r\nLeft=2\r\n\r\n[Z]\r\n", "5",
            "[Form]\r\nLeft=2\r\nTop=5\r\n\r\n[Z]\r\n" },
        { "CRLF section appended", "[Other]\r\na=1\r\n", "5", "[Other]\r\na=1\r\n[Form]\r\nTop=5\r\n" },
        { "last line without line end, replaced", "[Form]\nTop=1", "5", "[Form]\nTop=5" },
        { "last line without line end, key added", "[Form]\r\nLeft=1", "5", "[Form]\r\nLeft=1\r\nTop=5\r\n" },
        { "last line ends in a lone CR, key added", "[Form]\r\nLeft=1\r", "5",
            "[Form]\r\nLeft=1\r\nTop=5\r\n" },
        { "last line ends in a lone CR, section added", "[Other]\na=1\r", "5",
            "[Other]\na=1\r\n[Form]\nTop=5\n" },
        { "last line without line end, section added", "[Other]\na=1", "5", "[Other]\na=1\n[Form]\nTop=5\n" },
        { "first of duplicate keys", "[Form]\nTop=1\nTop=2\n", "5", "[Form]\nTop=5\nTop=2\n" },
        { "first of duplicate sections", "[Form]\nLeft=1\n[Other]\n[form]\nTop=2\n", "5",
            "[Form]\nLeft=1\nTop=5\n[Other]\n[form]\nTop=2\n" },
        { "quoted value replaced", "[Form]\nTop=\"1\"\n", "5", "[Form]\nTop=5\n" },
        { "empty value filled", "[Form]\nTop =\n", "5", "[Form]\nTop =5\n" },
        { "value that needs quotes", "[Form]\nTop=1\n", " a ", "[Form]\nTop=\" a \"\n" },
        { "quoted value keeps its quotes", "[Form]\nTop=1\n", "'q'", "[Form]\nTop=\"'q'\"\n" },
        { "byte order mark kept", "\xEF\xBB\xBF[Form]\nTop=1\n", "5", "\xEF\xBB\xBF[Form]\nTop=5\n" },
        { "only a byte order mark", "\xEF\xBB\xBF", "5", "\xEF\xBB\xBF[Form]\nTop=5\n" },
        { "unclosed bracket is no section", "[Form\nTop=1\n", "5", "[Form\nTop=1\n[Form]\nTop=5\n" },
        { "binary bytes kept", "[B]\nk=\0\xff\r\n[Form]\nTop=1"s, "5", "[B]\nk=\0\xff\r\n[Form]\nTop=5"s },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScratchFolder dir;
        if (row.before)
            dir.write("t.ini", *row.before);
        ASSERT_TRUE(writeIniString(dir.path("t.ini"), "Form", "Top", row.value));
        EXPECT_EQ(dir.read("t.ini"), row.after);
        EXPECT_EQ(readIniString(dir.path("t.ini"), "Form", "Top", Dflt), row.value);
        EXPECT_EQ(dir.entries(), std::set<std::string> { "t.ini" });
    }
}

TEST(WriteIniString, RefusesWhatCannotBeWrittenOrReadBack)
{
    struct Row {
        const char* name;
        std::string file; // relative to the scratch folder
        const char* section;
        const char* key;
        const char* value;
    };
    const Row rows[] = {
        { "missing folder", "none/t.ini", "Form", "Top", "1" },
        { "parent is a file", "t.ini/t.ini", "Form", "Top", "1" },
        { "path is a folder", "sub", "Form", "Top", "1" },
        { "empty key", "t.ini", "Form", "", "1" },
        { "key with equals sign", "t.ini", "Form", "a=b", "1" },
        { "key read as a comment", "t.ini", "Form", ";Top", "1" },
        { "key read as a section", "t.ini", "Form", "[Top", "1" },
        { "key with outer blank", "t.ini", "Form", "Top ", "1" },
        { "section with closing bracket", "t.ini", "Fo]rm", "Top", "1" },
        { "empty section", "t.ini", "", "Top", "1" },
        { "line feed in value", "t.ini", "Form", "Top", "1\n[Evil]" },
        { "carriage return in value", "t.ini", "Form", "Top", "1\r" },
        { "line feed in key", "t.ini", "Form", "T\nop", "1" },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScratchFolder dir;
        const std::string before = "[Form]\nTop=0\n";
        dir.write("t.ini", before);
        std::filesystem::create_directory(dir.path("sub"));
        EXPECT_FALSE(writeIniString(dir.path(row.file), row.section, row.key, row.value));
        EXPECT_EQ(dir.read("t.ini"), before);
        EXPECT_EQ(dir.entries(), (std::set<std::string> { "sub", "t.ini" }));
    }
}

TEST(WriteIniString, KeepsModeAndFollowsLinks)
{
    ScratchFolder dir;
    dir.write("t.ini", "[Form]\nTop=1\n");
    ASSERT_EQ(::chmod(dir.path("t.ini").c_str(), 0640), 0);
    ASSERT_TRUE(writeIniString(dir.path("t.ini"), "Form", "Top", "2"));
    struct stat info { };
    ASSERT_EQ(::stat(dir.path("t.ini").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);

    // A relative link, and one whose target does not exist yet.
    std::filesystem::create_directory(dir.path("real"));
    dir.write("real/t.ini", "[Form]\nTop=1\n");
    ASSERT_EQ(::symlink("real/t.ini", dir.path("link.ini").c_str()), 0);
    ASSERT_EQ(::symlink("real/new.ini", dir.path("dangling.ini").c_str()), 0);
    ASSERT_TRUE(writeIniString(dir.path("link.ini"), "Form", "Top", "3"));
    ASSERT_TRUE(writeIniString(dir.path("dangling.ini"), "Form", "Top", "4"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.path("link.ini")));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.path("dangling.ini")));
    EXPECT_EQ(dir.read("real/t.ini"), "[Form]\nTop=3\n");
    EXPECT_EQ(dir.read("real/new.ini"), "[Form]\nTop=4\n");

    ASSERT_EQ(::symlink("loop.ini", dir.path("loop.ini").c_str()), 0);
    EXPECT_FALSE(writeIniString(dir.path("loop.ini"), "Form", "Top", "5"));
}

TEST(WriteIniString, AsAUserWithoutRoot)
{
    struct Row {
        const char* name;
        mode_t fileMode; // 0: no file
        mode_t folderMode;
        bool written;
    };
    const Row rows[] = {
        { "read-only file left as it is", 0444, 0755, false },
        { "folder that takes no new file: rewritten in place", 0640, 0555, true },
        { "folder that takes no new file, and no file", 0, 0555, false },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScratchFolder dir;
        std::filesystem::create_directory(dir.path("f"));
        const std::string before = "[Form]\nTop=1\n";
        if (row.fileMode) {
            dir.write("f/t.ini", before);
            ASSERT_EQ(::chmod(dir.path("f/t.ini").c_str(), row.fileMode), 0);
        }
        struct stat old { };
        ::stat(dir.path("f/t.ini").c_str(), &old);
        ASSERT_EQ(::chmod(dir.path("f").c_str(), row.folderMode), 0);
        {
            testing::PermissionChecks checks;
            if (!checks.active())
                GTEST_SKIP() << "running as root without the right to drop capabilities";
            EXPECT_EQ(writeIniString(dir.path("f/t.ini"), "Form", "Top", "2"), row.written);
        }
        ASSERT_EQ(::chmod(dir.path("f").c_str(), 0755), 0);
        struct stat now { };
        EXPECT_EQ(::stat(dir.path("f/t.ini").c_str(), &now) == 0, row.fileMode != 0);
        if (row.fileMode) {
            EXPECT_EQ(dir.read("f/t.ini"), row.written ? "[Form]\nTop=2\n" : before);
            EXPECT_EQ(now.st_ino, old.st_ino);
            EXPECT_EQ(now.st_mode, old.st_mode);
        }
        EXPECT_EQ(ScratchFolder::names(dir.path("f")).size(), row.fileMode ? 1u : 0u)
            << "nothing left beside the file";
    }
}

TEST(WriteIniString, RemovesTemporaryFilesThatAKilledWriteLeft)
{
    ScratchFolder dir;
    dir.write("t.ini", "[Form]\nTop=1\n");
    const timespec anHourAgo[2] = { { ::time(nullptr) - 3600, 0 }, { ::time(nullptr) - 3600, 0 } };
    // Also the names of earlier versions: ".t.ini.tmp<pid>-<serial>".
    const std::set<std::string> young { "t.ini.tmp-young1", ".t.ini.tmp77-1" };
    for (const char* name :
        { "t.ini.tmp-Ab3dE9", "t.ini.tmp-young1", "t.ini.tmp-not_us", "u.ini.tmp-Ab3dE9", ".t.ini.tmp1234-0",
            ".t.ini.tmp77-1", ".t.ini.tmp12a4-0", ".t.ini.tmp1234-", ".u.ini.tmp1234-0" }) {
        dir.write(name, "x");
        if (!young.count(name)) {
            ASSERT_EQ(::utimensat(AT_FDCWD, dir.path(name).c_str(), anHourAgo, 0), 0);
        }
    }
    ASSERT_TRUE(writeIniString(dir.path("t.ini"), "Form", "Top", "2"));
    EXPECT_EQ(dir.entries(),
        (std::set<std::string> { "t.ini", "t.ini.tmp-young1", "t.ini.tmp-not_us", "u.ini.tmp-Ab3dE9",
            ".t.ini.tmp77-1", ".t.ini.tmp12a4-0", ".t.ini.tmp1234-", ".u.ini.tmp1234-0" }));
}

} // namespace
} // namespace touchdrill
