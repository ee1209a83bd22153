// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to the integer reader and checks its answers against a plain reading
// of the two number forms it accepts.
#include "settings/iniinteger.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

namespace {

bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The value the text must read as, or nullopt when it must give the default.
std::optional<int32_t> expectedValue(std::string_view text)
{
    std::string_view rest = text;
    bool hex = false;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        hex = true;
        rest.remove_prefix(2);
    } else {
        while (!rest.empty() && rest.front() == ' ')
            rest.remove_prefix(1);
        bool negative = false;
        if (!rest.empty() && (rest.front() == '+' || rest.front() == '-')) {
            negative = rest.front() == '-';
            rest.remove_prefix(1);
        }
        if (rest.starts_with("0x") || rest.starts_with("0X")) {
            hex = true;
            rest.remove_prefix(2);
        } else if (rest.starts_with('$') || rest.starts_with('x') || rest.starts_with('X')) {
            hex = true;
            rest.remove_prefix(1);
        } else {
            if (rest.empty() || rest.find_first_not_of("0123456789") != std::string_view::npos)
                return std::nullopt;
            rest.remove_prefix(std::min(rest.find_first_not_of('0'), rest.size()));
            if (rest.size() > 10)
                return std::nullopt;
            const long long magnitude = rest.empty() ? 0 : std::stoll(std::string(rest));
            const long long value = negative ? -magnitude : magnitude;
            if (value < INT32_MIN || value > INT32_MAX)
                return std::nullopt;
            return static_cast<int32_t>(value);
        }
    }
    if (!hex || rest.empty())
        return std::nullopt;
    for (const char c : rest) {
        if (!isHexDigit(c))
            return std::nullopt;
    }
    rest.remove_prefix(std::min(rest.find_first_not_of('0'), rest.size()));
    if (rest.size() > 8)
        return std::nullopt;
    const unsigned long pattern = rest.empty() ? 0 : std::stoul(std::string(rest), nullptr, 16);
    return static_cast<int32_t>(static_cast<uint32_t>(pattern));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const int32_t withZero = touchdrill::parseIniInteger(text, 0);
    const int32_t withOne = touchdrill::parseIniInteger(text, 1);
    const std::optional<int32_t> expected = expectedValue(text);
    if (expected ? withZero != *expected || withOne != *expected : withZero != 0 || withOne != 1)
        std::abort();
    return 0;
}
