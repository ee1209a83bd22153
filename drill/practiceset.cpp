// SPDX-License-Identifier: GPL-3.0-or-later
#include "drill/practiceset.h"

namespace touchdrill {

namespace {
// ASCII only: the C library's toupper follows the user's locale, which Qt switches on.
void appendUpper(std::string& pool, std::string_view row)
{
    for (char c : row)
        pool += static_cast<char>(c - 'a' + 'A');
}
} // namespace

std::string buildPool(const RowChoices& rows)
{
    std::string pool;
    pool.reserve(
        NumberRow.size() + UpperRow.size() * 2 + HomeRow.size() * 2 + LowerRow.size() * 2 + SymbolRow.size());
    if (rows.numbers)
        pool += NumberRow;
    if (rows.upper)
        pool += UpperRow;
    if (rows.home)
        pool += HomeRow;
    if (rows.lower)
        pool += LowerRow;
    if (rows.symbols)
        pool += SymbolRow;
    if (rows.capitals) {
        if (rows.upper)
            appendUpper(pool, UpperRow);
        if (rows.home)
            appendUpper(pool, HomeRow);
        if (rows.lower)
            appendUpper(pool, LowerRow);
    }
    return pool;
}

std::string rowsLabel(const RowChoices& rows)
{
    std::string label;
    const bool ticked[] = { rows.numbers, rows.upper, rows.home, rows.lower, rows.symbols, rows.capitals };
    for (std::size_t i = 0; i < std::size(ticked); ++i)
        if (ticked[i])
            label += RowLetters[i];
    return label;
}

} // namespace touchdrill
