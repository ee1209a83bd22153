// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/filenames.h"

#include <gtest/gtest.h>

namespace touchdrill {
namespace {

TEST(SiblingPath, ReplacesOnlyTheFileNamesLastExtension)
{
    struct Row {
        const char* name;
        const char* exe;
        const char* extension;
        const char* expected;
    };
    const Row rows[] = {
        { "no extension gets one appended", "/usr/bin/touchdrill", ".ini", "/usr/bin/touchdrill.ini" },
        { "extension replaced", "/x/TouchDrill.x86", ".ini", "/x/TouchDrill.ini" },
        { "best-times file", "/x/TouchDrill.x86", ".bst", "/x/TouchDrill.bst" },
        { "only the last extension", "/x/t.tar.gz", ".ini", "/x/t.tar.ini" },
        { "dot in a folder name is not an extension", "/a.b/touchdrill", ".ini", "/a.b/touchdrill.ini" },
        { "hidden file keeps its name", "/a/.hidden", ".ini", "/a/.hidden.ini" },
        { "hidden file with an extension", "/a/.hidden.bin", ".ini", "/a/.hidden.ini" },
        { "trailing dot", "/a/touchdrill.", ".ini", "/a/touchdrill.ini" },
        { "relative name", "touchdrill.bin", ".ini", "touchdrill.ini" },
        { "relative hidden name", ".hidden", ".ini", ".hidden.ini" },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(siblingPath(row.exe, row.extension), row.expected);
    }
}

} // namespace
} // namespace touchdrill
