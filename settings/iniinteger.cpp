// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/iniinteger.h"

#include "settings/inifile.h"

#include <optional>

namespace touchdrill {

int hexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

namespace {

std::optional<int32_t> parseHex(std::string_view digits)
{
    if (digits.empty())
        return std::nullopt;
    uint32_t value = 0;
    int significant = 0;
    for (const char c : digits) {
        const int digit = hexDigitValue(c);
        if (digit < 0)
            return std::nullopt;
        // Leading zeros do not use up any of the eight digits a 32-bit value holds.
        if (significant == 0 && digit == 0)
            continue;
        if (++significant > 8)
            return std::nullopt;
        value = (value << 4) | static_cast<uint32_t>(digit);
    }
    return static_cast<int32_t>(value);
}

std::optional<int32_t> parseDecimal(std::string_view digits, bool negative)
{
    if (digits.empty())
        return std::nullopt;
    const int64_t limit = negative ? 2147483648LL : 2147483647LL;
    int64_t magnitude = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9')
            return std::nullopt;
        magnitude = magnitude * 10 + (c - '0');
        // Stopping as soon as the range is left keeps a long run of digits from overflowing.
        if (magnitude > limit)
            return std::nullopt;
    }
    return static_cast<int32_t>(negative ? -magnitude : magnitude);
}

} // namespace

int32_t parseIniInteger(std::string_view text, int32_t defaultValue)
{
    std::string rewritten;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        rewritten = "$";
        rewritten.append(text.substr(2));
        text = rewritten;
    }

    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }

    std::optional<int32_t> value;
    if (text.starts_with('$') || text.starts_with('x') || text.starts_with('X'))
        value = parseHex(text.substr(1));
    else if (text.starts_with("0x") || text.starts_with("0X"))
        value = parseHex(text.substr(2));
    else
        value = parseDecimal(text, negative);
    return value.value_or(defaultValue);
}

int32_t readIniInteger(
    const std::string& path, std::string_view section, std::string_view key, int32_t defaultValue)
{
    return parseIniInteger(readIniString(path, section, key, ""), defaultValue);
}

} // namespace touchdrill
