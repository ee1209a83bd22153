// SPDX-License-Identifier: GPL-3.0-or-later
// The CSV of every answer: its rows, its quoting and the wrong_keys column, which a reader must be
// able to split back into the keys typed.
#include "history/answercsv.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <set>
#include <string>

using namespace touchdrill::history;

namespace {

constexpr int64_t Started = 1'796'643'600'123; // 2026-12-07T11:40:00.123Z

DrillRecord drillWith(std::optional<std::vector<Answer>> answers, uint32_t poolSize, std::string rows = "h")
{
    DrillRecord drill;
    drill.id = 42;
    drill.startedUtcMs = Started;
    drill.rows = std::move(rows);
    drill.answers = std::move(answers);
    drill.poolSize = poolSize;
    return drill;
}

} // namespace

TEST(AnswerCsv, oneRowPerAnswerQuotedAsRfc4180)
{
#ifdef _WIN32
    _putenv_s("TZ", "JST-9"); // Windows' C library takes the POSIX form only
    _tzset();
#else
    setenv("TZ", "Asia/Tokyo", 1);
    tzset();
#endif
    const std::string at = "42,2026-12-07T20:40:00.123+09:00,";
    struct Row {
        const char* name;
        DrillRecord drill;
        bool kept; // what appendAnswerCsvRows() returns
        std::string rows;
    };
    const Row table[] = {
        { "the first answer has no previous target; wrong keys in the order typed",
            drillWith(std::vector<Answer> { { 'a', 0, 812, { { 's', 120 }, { 'd', 340 } } },
                          { 'j', 'a', 405, {} } },
                9),
            true, at + "h,9,1,,a,812,s@120 d@340\r\n" + at + "h,9,2,a,j,405,\r\n" },
        { "targets and wrong keys that need quoting; the space and '@' as hexadecimal",
            drillWith(std::vector<Answer> { { ',', 0, 1000, { { '"', 5 }, { ' ', 6 }, { '@', 7 } } },
                          { '"', ',', 2, { { ',', 1 } } } },
                94, "s"),
            true,
            at + "s,94,1,,\",\",1000,\"\"\"@5 0x20@6 0x40@7\"\r\n" + at
                + "s,94,2,\",\",\"\"\"\",2,\",@1\"\r\n" },
        { "bytes without a character of their own, a half-width katakana and a digit",
            drillWith(std::vector<Answer> { { '0', 0, 70,
                          { { 0x80, 10 }, { 0xb1, 20 }, { '\r', 30 }, { '0', 40 } } } },
                3),
            true, at + "h,3,1,,0,70,0x80@10 \xef\xbd\xb1@20 0x0D@30 0@40\r\n" },
        { "the last target, the drill ended before its right key: no time, its wrong keys kept",
            drillWith(
                std::vector<Answer> { { 'f', 0, 300, {} }, { 'g', 'f', 0, { { 'h', 90 } }, false } }, 2),
            true, at + "h,2,1,,f,300,\r\n" + at + "h,2,2,f,g,,h@90\r\n" },
        { "a pool of unknown size: an empty field, not 0",
            drillWith(std::vector<Answer> { { 'k', 0, 0, {} } }, 0), true, at + "h,,1,,k,0,\r\n" },
        { "a drill recorded before answers were kept: no rows", drillWith(std::nullopt, 0), false, "" },
        { "answers kept, none given: no rows", drillWith(std::vector<Answer> {}, 5), true, "" },
        { "rows that need quoting", drillWith(std::vector<Answer> { { 'k', 0, 1, {} } }, 1, "a,\"b"), true,
            at + "\"a,\"\"b\",1,1,,k,1,\r\n" },
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        std::string out = "before\r\n";
        EXPECT_EQ(appendAnswerCsvRows(row.drill, out), row.kept);
        EXPECT_EQ(out, "before\r\n" + row.rows);
    }
}

// Whatever byte was typed, its text in wrong_keys is its own (no two bytes share one) and holds
// neither the space between items nor the '@' that ends a key, so that splitting an item at its
// last '@' gives the key back.
TEST(AnswerCsv, everyTypedByteSplitsBackFromTheWrongKeysColumn)
{
    std::set<std::string> seen;
    for (int byte = 0; byte < 256; ++byte) {
        const auto typed = static_cast<unsigned char>(byte);
        const std::string text = wrongKeyText(typed);
        SCOPED_TRACE(byte);
        EXPECT_FALSE(text.empty());
        EXPECT_EQ(text.find_first_of(" @\r\n"), std::string::npos) << text;
        EXPECT_TRUE(seen.insert(text).second) << text << " stands for two bytes";
        const std::string items = wrongKeysText({ { typed, 7 }, { '@', 4294967295u } });
        EXPECT_EQ(items, text + "@7 0x40@4294967295");
    }
}
