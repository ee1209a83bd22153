// SPDX-License-Identifier: GPL-3.0-or-later
// Arbitrary item text through the field parser and the numeric fields; formatted lines parse back.
#include "results/resultline.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

using namespace touchdrill;

namespace {

uint32_t read32(const uint8_t* p)
{
    return uint32_t { p[0] } | uint32_t { p[1] } << 8 | uint32_t { p[2] } << 16 | uint32_t { p[3] } << 24;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto fields = parseResultFields(text);
    std::size_t total = 0;
    for (const auto& field : fields) {
        total += field.size();
        const int64_t value = parseFieldNumber(field);
        if (value < INT64_C(-2147483648) || value > INT64_C(4294967295))
            std::abort();
    }
    // Fields only ever lose bytes (quotes, blanks, separators), and each needs a byte or a comma.
    if (total > size || fields.size() > size + 1)
        std::abort();

    if (size >= 9) {
        const int code = 33 + data[0] % 94;
        const uint32_t average = read32(data + 1);
        const uint32_t best = read32(data + 5);
        const auto back = parseResultFields(formatResultLine(code, average, best));
        if (back.size() != 3 || back[0] != std::string(1, static_cast<char>(code))
            || parseFieldNumber(back[1]) != average || parseFieldNumber(back[2]) != best)
            std::abort();
    }
    return 0;
}
