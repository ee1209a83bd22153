// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/iniinteger.h"

#include "settings/inifile.h"
#include "tests/support/scratchfolder.h"

#include <climits>
#include <gtest/gtest.h>
#include <optional>

namespace touchdrill {
namespace {

using testing::ScratchFolder;

using namespace std::string_view_literals;

struct Row {
    const char* name;
    std::string_view text;
    std::optional<int32_t> expected; // nullopt: the default
};

const Row rows[] = {
    { "0x prefix", "0x1F", 31 },
    { "dollar prefix", "$1F", 31 },
    { "x prefix", "x1F", 31 },
    { "X prefix, lower-case digits", "X1f", 31 },
    { "all bits set is -1", "$FFFFFFFF", -1 },
    { "sign bit only", "$80000000", INT_MIN },
    { "0X largest positive", "0X7FFFFFFF", INT_MAX },
    { "minus before prefix has no effect", "-$10", 16 },
    { "plus before prefix", "+$1", 1 },
    { "minus before 0x", "-0x10", 16 },
    { "space then 0x", " 0x1F", 31 },
    { "8 significant hex digits", "$12345678", 0x12345678 },
    { "9 significant hex digits", "$123456789", std::nullopt },
    { "leading zeros are not significant", "$000000001F", 31 },
    { "leading zeros before 8 digits", "0x00FFFFFFFF", -1 },
    { "lone dollar", "$", std::nullopt },
    { "0x alone", "0x", std::nullopt },
    { "sign then lone 0x", "-0x", std::nullopt },
    { "sign after prefix", "$-1", std::nullopt },
    { "sign after 0x", "0x-1", std::nullopt },
    { "blank after prefix", "$ 1", std::nullopt },
    { "not a hex digit", "$1G", std::nullopt },
    { "largest int", "2147483647", INT_MAX },
    { "one above the largest", "2147483648", std::nullopt },
    { "smallest int", "-2147483648", INT_MIN },
    { "one below the smallest", "-2147483649", std::nullopt },
    { "far out of range", "99999999999999999999999", std::nullopt },
    { "leading zeros in decimal", "-0000000002147483648", INT_MIN },
    { "plus sign", "+2147483647", INT_MAX },
    { "leading spaces skipped", "   42", 42 },
    { "trailing space", "42 ", std::nullopt },
    { "leading tab is not a space", "\t42", std::nullopt },
    { "space after the sign", "- 7", std::nullopt },
    { "two signs", "+-7", std::nullopt },
    { "lone plus", "+", std::nullopt },
    { "lone minus", "-", std::nullopt },
    { "empty", "", std::nullopt },
    { "only spaces", "   ", std::nullopt },
    { "letters after digits", "12abc", std::nullopt },
    { "digit then x", "00x1", std::nullopt },
    { "embedded NUL", "1\0"sv, std::nullopt },
};

TEST(ParseIniInteger, Table)
{
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        // Two different defaults tell "read as the default" from "read as that number".
        if (row.expected) {
            EXPECT_EQ(parseIniInteger(row.text, 777), *row.expected);
            EXPECT_EQ(parseIniInteger(row.text, -5), *row.expected);
        } else {
            EXPECT_EQ(parseIniInteger(row.text, 777), 777);
            EXPECT_EQ(parseIniInteger(row.text, -5), -5);
        }
    }
}

TEST(ReadIniInteger, ReadsTheKeysTrimmedAndUnquotedText)
{
    ScratchFolder dir;
    dir.write("t.ini", "[Form]\nTop =  0x1F  \nLeft=\"-$10\"\nWidth=12abc\n");
    const std::string path = dir.path("t.ini");
    EXPECT_EQ(readIniInteger(path, "Form", "Top", 7), 31);
    EXPECT_EQ(readIniInteger(path, "Form", "Left", 7), 16);
    EXPECT_EQ(readIniInteger(path, "Form", "Width", 7), 7);
    EXPECT_EQ(readIniInteger(path, "Form", "Height", 7), 7);
    EXPECT_EQ(readIniInteger(dir.path("missing.ini"), "Form", "Top", 7), 7);
}

} // namespace
} // namespace touchdrill
