// SPDX-License-Identifier: GPL-3.0-or-later
#include "results/resultline.h"

namespace touchdrill {

namespace {

bool isBlank(char c)
{
    return static_cast<unsigned char>(c) <= ' ';
}

} // namespace

std::string formatResultLine(int code, uint32_t average, uint32_t best)
{
    std::string line;
    if (code == '"')
        line = R"("""")";
    else if (code == ',')
        line = R"(",")";
    else
        line = std::string(1, static_cast<char>(code));
    return line + ',' + std::to_string(average) + ',' + std::to_string(best);
}

std::vector<std::string> parseResultFields(std::string_view text)
{
    std::vector<std::string> fields;
    std::size_t pos = 0;
    const std::size_t end = text.size();
    auto skipBlanks = [&] {
        while (pos < end && isBlank(text[pos]))
            ++pos;
    };

    skipBlanks();
    while (pos < end) {
        std::string field;
        if (text[pos] == '"') {
            ++pos;
            while (pos < end) {
                if (text[pos] == '"') {
                    if (pos + 1 < end && text[pos + 1] == '"') {
                        field += '"';
                        pos += 2;
                        continue;
                    }
                    ++pos;
                    break;
                }
                field += text[pos++];
            }
        } else {
            const std::size_t start = pos;
            while (pos < end && !isBlank(text[pos]) && text[pos] != ',')
                ++pos;
            field.assign(text.substr(start, pos - start));
        }
        fields.push_back(std::move(field));

        skipBlanks();
        if (pos < end && text[pos] == ',') {
            if (pos + 1 == end)
                fields.emplace_back();
            ++pos;
            skipBlanks();
        }
    }
    return fields;
}

int64_t parseFieldNumber(std::string_view field)
{
    bool negative = false;
    if (!field.empty() && (field.front() == '-' || field.front() == '+')) {
        negative = field.front() == '-';
        field.remove_prefix(1);
    }
    if (field.empty())
        return 0;
    int64_t value = 0;
    for (char c : field) {
        if (c < '0' || c > '9')
            return 0;
        value = value * 10 + (c - '0');
        if (value > (negative ? INT64_C(2147483648) : INT64_C(4294967295)))
            return 0;
    }
    return negative ? -value : value;
}

} // namespace touchdrill
