// SPDX-License-Identifier: GPL-3.0-or-later
#include "drill/practiceset.h"

#include <gtest/gtest.h>

#include <set>

using namespace touchdrill;

namespace {

struct PoolRow {
    const char* name;
    RowChoices rows;
    std::string expected;
    const char* label; // the rows as the history names them
};

} // namespace

TEST(PracticeSet, poolForEachRowCombination)
{
    const std::string symbols(SymbolRow);
    const PoolRow table[] = {
        { "nothing ticked", {}, "", "" },
        { "capitals alone add nothing", { .capitals = true }, "", "c" },
        { "capitals with numbers and symbols only", { .numbers = true, .symbols = true, .capitals = true },
            "1234567890" + symbols, "nsc" },
        { "number row", { .numbers = true }, "1234567890", "n" },
        { "upper row", { .upper = true }, "qwertyuiop", "u" },
        { "home row", { .home = true }, "asdfghjkl", "h" },
        { "lower row", { .lower = true }, "zxcvbnm", "l" },
        { "symbols", { .symbols = true }, symbols, "s" },
        { "upper with capitals", { .upper = true, .capitals = true }, "qwertyuiopQWERTYUIOP", "uc" },
        { "home and lower with capitals", { .home = true, .lower = true, .capitals = true },
            "asdfghjklzxcvbnmASDFGHJKLZXCVBNM", "hlc" },
        { "rows keep table order", { .numbers = true, .lower = true, .symbols = true },
            "1234567890zxcvbnm" + symbols, "nls" },
        { "all six", { true, true, true, true, true, true },
            "1234567890qwertyuiopasdfghjklzxcvbnm" + symbols + "QWERTYUIOPASDFGHJKLZXCVBNM", "nuhlsc" },
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(buildPool(row.rows), row.expected);
        EXPECT_EQ(rowsLabel(row.rows), row.label);
    }
    EXPECT_EQ(buildPool({ true, true, true, true, true, true }).size(), 95u);
}

TEST(PracticeSet, symbolRowIsEveryPunctuationMarkWithBackslashTwice)
{
    const unsigned char bytes[] = { 0x2C, 0x2E, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27, 0x28, 0x29, 0x3D,
        0x7E, 0x7C, 0x2D, 0x5E, 0x5C, 0x40, 0x5B, 0x60, 0x7B, 0x3B, 0x3A, 0x5D, 0x2B, 0x2A, 0x7D, 0x3C, 0x3E,
        0x3F, 0x5F, 0x2F, 0x5C };
    ASSERT_EQ(SymbolRow.size(), sizeof bytes);
    for (std::size_t i = 0; i < sizeof bytes; ++i)
        EXPECT_EQ(static_cast<unsigned char>(SymbolRow[i]), bytes[i]) << "at " << i;

    std::set<char> distinct(SymbolRow.begin(), SymbolRow.end());
    std::set<char> punctuation;
    for (int c = 33; c <= 126; ++c)
        if (!std::isalnum(c))
            punctuation.insert(static_cast<char>(c));
    EXPECT_EQ(distinct, punctuation);
}
