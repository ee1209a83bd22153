// SPDX-License-Identifier: GPL-3.0-or-later
#include "drill/jiskeyboard.h"
#include "drill/practiceset.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <string>

using namespace touchdrill;

// One walk over the keyboard: it types every practice character, the backslash from two keys and
// every other one from one; its rows come in order; and the drill's rows are its rows' keys.
TEST(JisKeyboard, typesEveryCharacterAndHoldsTheDrillsRows)
{
    std::map<char, int> typed;
    std::string rows[JisRows], symbols;
    int lastRow = 0;
    for (const JisKey& key : JisKeys) {
        SCOPED_TRACE(std::string(1, key.base));
        EXPECT_GE(key.row, lastRow) << "rows in order";
        lastRow = key.row;
        ASSERT_GE(key.row, 0);
        ASSERT_LT(key.row, JisRows);
        EXPECT_GE(key.finger, 0);
        EXPECT_LT(key.finger, JisFingers);
        for (const char c : { key.base, key.shifted })
            if (c) {
                ++typed[c];
                if (!std::isalnum(static_cast<unsigned char>(c)))
                    symbols += c;
            }
        if (std::isalnum(static_cast<unsigned char>(key.base)))
            rows[key.row] += key.base;
    }
    for (char c = '!'; c <= '~'; ++c)
        EXPECT_EQ(typed[c], c == '\\' ? 2 : 1) << c;
    EXPECT_EQ(typed.size(), 94u);

    EXPECT_EQ(rows[0], NumberRow);
    EXPECT_EQ(rows[1], UpperRow);
    EXPECT_EQ(rows[2], HomeRow);
    EXPECT_EQ(rows[3], LowerRow);
    std::string pool(SymbolRow);
    std::sort(pool.begin(), pool.end());
    std::sort(symbols.begin(), symbols.end());
    EXPECT_EQ(pool, symbols) << "the symbols' row: every other character, the backslash twice";
}
