// SPDX-License-Identifier: GPL-3.0-or-later
// The history as CSV: one row per drill and character, UTF-8, RFC 4180.
#include "historydb.h"
#include "historyexport.h"

#include <chrono>
#include <cstdio>
#include <ostream>

namespace touchdrill::history {

namespace {

// ISO 8601 in UTC with milliseconds, e.g. 2026-12-07T11:20:00.123Z; empty for a moment whose
// date is unknown.
std::string utcText(int64_t ms)
{
    if (!isKnownTime(ms))
        return {};
    using namespace std::chrono;
    const sys_time<milliseconds> time { milliseconds(ms) };
    const sys_days day = floor<days>(time);
    const year_month_day date(day);
    const hh_mm_ss clock(time - day);
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02ld:%02ld:%02ld.%03ldZ", static_cast<int>(date.year()),
        static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
        static_cast<long>(clock.hours().count()), static_cast<long>(clock.minutes().count()),
        static_cast<long>(clock.seconds().count()), static_cast<long>(clock.subseconds().count()));
    return text;
}

// A field in double quotes when it holds a quote, a comma or a line break; quotes doubled.
std::string field(const std::string& text)
{
    if (text.find_first_of("\",\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

} // namespace

std::string keyText(unsigned char code)
{
    if (code >= 0x20 && code < 0x7f)
        return std::string(1, static_cast<char>(code));
    if (code >= 0xa1 && code <= 0xdf) { // half-width katakana, U+FF61..U+FF9F, in UTF-8
        const unsigned ch = 0xff61 + (code - 0xa1u);
        return { static_cast<char>(0xe0 | (ch >> 12)), static_cast<char>(0x80 | ((ch >> 6) & 0x3f)),
            static_cast<char>(0x80 | (ch & 0x3f)) };
    }
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", static_cast<unsigned>(code));
    return text;
}

void appendCsvRows(const DrillRecord& drill, std::string& out)
{
    const std::string started = utcText(drill.startedUtcMs);
    for (const KeyRecord& key : drill.keys) {
        // The most frequent wrong key; a tie goes to the lower byte.
        std::string mostWrong;
        uint32_t most = 0;
        for (const auto& [typed, count] : key.wrongKeys) {
            if (count > most) {
                most = count;
                mostWrong = keyText(typed);
            }
        }
        out += started;
        out += ',';
        out += field(keyText(key.code));
        out += ',' + std::to_string(key.hits) + ',' + std::to_string(key.totalMs) + ',';
        if (key.hits > 0)
            out += std::to_string(key.totalMs / key.hits); // truncated, as the results list shows it
        out += ',' + std::to_string(key.wrong) + ',';
        out += field(mostWrong);
        out += "\r\n";
    }
}

void exportCsv(const std::vector<DrillRecord>& drills, std::ostream& out)
{
    std::string text(CsvHeader);
    for (const DrillRecord& drill : drills)
        appendCsvRows(drill, text);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

} // namespace touchdrill::history
