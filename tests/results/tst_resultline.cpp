// SPDX-License-Identifier: GPL-3.0-or-later
#include "results/resultline.h"

#include <gtest/gtest.h>

using namespace touchdrill;
using Fields = std::vector<std::string>;

TEST(ResultLine, formatQuotesOnlyTheQuoteAndTheComma)
{
    struct Row {
        int code;
        uint32_t average, best;
        const char* line;
    };
    const Row table[] = {
        { 'a', 432, 0, "a,432,0" },
        { ',', 610, 587, R"(",",610,587)" },
        { '"', 0, 0, R"("""",0,0)" },
        { '\'', 1, 2, "',1,2" },
        { '!', 4294967295u, 4294967295u, "!,4294967295,4294967295" },
        { '~', 10, 100, "~,10,100" },
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.line);
        EXPECT_EQ(formatResultLine(row.code, row.average, row.best), row.line);
    }
}

TEST(ResultLine, everyLineParsesBackIntoItsThreeFields)
{
    for (int code = 33; code <= 126; ++code) {
        const uint32_t average = static_cast<uint32_t>(code) * 97u;
        const uint32_t best = code % 2 ? 0u : 4294967295u - static_cast<uint32_t>(code);
        const std::string line = formatResultLine(code, average, best);
        SCOPED_TRACE(line);
        const Fields fields = parseResultFields(line);
        ASSERT_EQ(fields.size(), 3u);
        EXPECT_EQ(fields[0], std::string(1, static_cast<char>(code)));
        EXPECT_EQ(parseFieldNumber(fields[1]), average);
        EXPECT_EQ(parseFieldNumber(fields[2]), best);
    }
}

TEST(ResultLine, fieldParser)
{
    struct Row {
        const char* name;
        std::string text;
        Fields fields;
    };
    const Row table[] = {
        { "plain", "a,432,0", { "a", "432", "0" } },
        { "empty text", "", {} },
        { "only blanks", " \t\r\n", {} },
        { "quoted comma", R"(",",610)", { ",", "610" } },
        { "doubled quote", R"("""",0)", { "\"", "0" } },
        { "doubled quotes within", R"("a""b""",1)", { "a\"b\"", "1" } },
        { "quoted blanks kept", R"(" x y ",2)", { " x y ", "2" } },
        { "blanks and controls between fields", " a \x01,\t b\x1f ,  c\n", { "a", "b", "c" } },
        { "NUL counts as a control character", std::string("a\0,b", 4), { "a", "b" } },
        { "trailing comma adds an empty field", "a,", { "a", "" } },
        { "comma then blanks is not at the very end", "a, ", { "a" } },
        { "lone comma", ",", { "", "" } },
        { "empty middle fields", "a,,b, ,c", { "a", "", "b", "", "c" } },
        { "two trailing commas", "a,,", { "a", "", "" } },
        { "a blank ends an unquoted field", "ab cd,e", { "ab", "cd", "e" } },
        { "text after a closing quote starts a field", R"("a"b,c)", { "a", "b", "c" } },
        { "unterminated quote runs to the end", R"(a,"b,c)", { "a", "b,c" } },
        { "lone quote", "\"", { "" } },
        { "quote inside an unquoted field is data", R"(a"b,c)", { "a\"b", "c" } },
        { "high bytes are field characters", "\xE9\x81,\xFF", { "\xE9\x81", "\xFF" } },
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(parseResultFields(row.text), row.fields);
    }
}

TEST(ResultLine, numericFields)
{
    const std::pair<const char*, int64_t> table[] = {
        { "432", 432 },
        { "0", 0 },
        { "0007", 7 },
        { "2147483647", 2147483647 },
        { "2147483648", 2147483648 },
        { "4294967295", 4294967295 },
        { "4294967296", 0 },
        { "99999999999999999999999", 0 },
        { "-1", -1 },
        { "+5", 5 },
        { "-2147483648", -2147483648LL },
        { "-2147483649", 0 },
        { "", 0 },
        { "-", 0 },
        { "12a", 0 },
        { " 12", 0 },
        { "$1F", 0 },
    };
    for (const auto& [field, value] : table) {
        SCOPED_TRACE(field);
        EXPECT_EQ(parseFieldNumber(field), value);
    }
}
