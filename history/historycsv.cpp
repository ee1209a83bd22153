// SPDX-License-Identifier: GPL-3.0-or-later
// The history as CSV: one row per drill and character, UTF-8, RFC 4180.
#include "history/historycsv.h"

#include "drill/calendar.h"
#include "drill/codepage.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>

namespace touchdrill::history {

namespace {

// An offset ISO 8601 can write: two digits of hours.
constexpr int MaxOffsetMinutes = 99 * 60 + 59;

// The moment `utcMs` as ISO 8601 with milliseconds on the clock `offsetMinutes` ahead of UTC, e.g.
// 2026-12-07T20:40:00.123+09:00, or in UTC itself with no offset, e.g. 2026-12-07T11:40:00.123Z.
// Empty when the moment or its date on that clock is unknown (see isKnownTime()): a year a
// four-digit date cannot write, which a far start shifted by a few hours can reach.
std::string isoText(int64_t utcMs, std::optional<int> offsetMinutes)
{
    if (!isKnownTime(utcMs))
        return {};
    const int offset = offsetMinutes.value_or(0);
    if (offset < -MaxOffsetMinutes || offset > MaxOffsetMinutes)
        return {};
    const int64_t ms = utcMs + int64_t { offset } * 60'000;
    if (!isKnownTime(ms))
        return {};
    using namespace std::chrono;
    const sys_time<milliseconds> time { milliseconds(ms) };
    const sys_days day = floor<days>(time);
    const year_month_day date(day);
    const hh_mm_ss clock(time - day);
    char text[48];
    int length = std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02ld:%02ld:%02ld.%03ld",
        static_cast<int>(date.year()), static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
        static_cast<long>(clock.hours().count()), static_cast<long>(clock.minutes().count()),
        static_cast<long>(clock.seconds().count()), static_cast<long>(clock.subseconds().count()));
    if (!offsetMinutes)
        return std::string(text, static_cast<std::size_t>(length)) + 'Z';
    length += std::snprintf(text + length, sizeof text - static_cast<std::size_t>(length), "%c%02d:%02d",
        offset < 0 ? '-' : '+', std::abs(offset) / 60, std::abs(offset) % 60);
    return std::string(text, static_cast<std::size_t>(length));
}

} // namespace

std::string utf8Text(const std::string& bytes)
{
    std::string text;
    const auto continuation = [&](std::size_t at, unsigned char low = 0x80, unsigned char high = 0xbf) {
        if (at >= bytes.size())
            return false;
        const auto byte = static_cast<unsigned char>(bytes[at]);
        return byte >= low && byte <= high;
    };
    for (std::size_t i = 0; i < bytes.size();) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        std::size_t length = 0;
        if (lead < 0x80)
            length = 1;
        else if (lead >= 0xc2 && lead <= 0xdf)
            length = continuation(i + 1) ? 2 : 0;
        else if (lead >= 0xe0 && lead <= 0xef) // neither overlong (E0) nor a surrogate (ED)
            length = continuation(i + 1, lead == 0xe0 ? 0xa0 : 0x80, lead == 0xed ? 0x9f : 0xbf)
                    && continuation(i + 2)
                ? 3
                : 0;
        else if (lead >= 0xf0 && lead <= 0xf4) // neither overlong (F0) nor beyond U+10FFFF (F4)
            length = continuation(i + 1, lead == 0xf0 ? 0x90 : 0x80, lead == 0xf4 ? 0x8f : 0xbf)
                    && continuation(i + 2) && continuation(i + 3)
                ? 4
                : 0;
        if (length == 0) {
            text += "\xef\xbf\xbd";
            ++i;
        } else {
            text.append(bytes, i, length);
            i += length;
        }
    }
    return text;
}

std::string csvField(const std::string& text)
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

std::string localTimeText(int64_t utcMs)
{
    return isoText(utcMs, isKnownTime(utcMs) ? localOffsetMinutes(utcMs) : std::nullopt);
}

void appendCsvRows(const DrillRecord& drill, std::string& out)
{
    const std::string started = isoText(drill.startedUtcMs, std::nullopt);
    // The same for every row of the drill, so worked out once.
    const std::string drillFields = ',' + std::to_string(drill.id) + ',' + csvField(utf8Text(drill.rows))
        + ',' + localTimeText(drill.startedUtcMs);
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
        out += csvField(keyText(key.code));
        out += ',' + std::to_string(key.hits) + ',' + std::to_string(key.totalMs) + ',';
        if (const auto average = key.wholeAverageMs()) // as the results list shows it
            out += std::to_string(*average);
        out += ',' + std::to_string(key.wrong) + ',';
        out += csvField(mostWrong);
        out += drillFields;
        out += "\r\n";
    }
}

} // namespace touchdrill::history
