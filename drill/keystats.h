// SPDX-License-Identifier: GPL-3.0-or-later
// Per-character statistics of one drill: total milliseconds and hits for the codes '!'..'~'.
#pragma once

#include <array>
#include <cstdint>

namespace touchdrill {

constexpr int FirstCode = 33; // '!'
constexpr int LastCode = 126; // '~'
constexpr int CodeCount = LastCode - FirstCode + 1; // 94

constexpr bool isPracticeCode(int code)
{
    return code >= FirstCode && code <= LastCode;
}

struct KeyStat {
    uint32_t Total = 0; // milliseconds, wraps modulo 2^32
    uint32_t Hits = 0; // wraps modulo 2^32
};

// Indexed by character code 33..126; unsigned arithmetic gives the wrapping additions.
class KeyStats {
public:
    KeyStat& operator[](int code) { return m_entries[static_cast<std::size_t>(code - FirstCode)]; }
    const KeyStat& operator[](int code) const
    {
        return m_entries[static_cast<std::size_t>(code - FirstCode)];
    }

    void clear() { m_entries.fill(KeyStat {}); }

private:
    std::array<KeyStat, CodeCount> m_entries {};
};

// The wrong keys typed during one drill: per target code 33..126, how many and which bytes. A fixed
// table, so that counting one costs two increments on the key path.
class WrongKeyStats {
public:
    void add(int target, unsigned char typed)
    {
        const auto row = static_cast<std::size_t>(target - FirstCode);
        ++m_counts[row][typed];
        ++m_totals[row];
    }
    // All wrong keys typed while `target` was on show.
    uint32_t total(int target) const { return m_totals[static_cast<std::size_t>(target - FirstCode)]; }
    // How often `typed` was typed while `target` was on show.
    uint32_t count(int target, unsigned char typed) const
    {
        return m_counts[static_cast<std::size_t>(target - FirstCode)][typed];
    }

    void clear()
    {
        for (auto& row : m_counts)
            row.fill(0);
        m_totals.fill(0);
    }

private:
    std::array<std::array<uint32_t, 256>, CodeCount> m_counts {};
    std::array<uint32_t, CodeCount> m_totals {};
};

// Best average milliseconds per code 33..126 (index code - FirstCode); 0 means no best yet.
using BestTimes = std::array<uint32_t, CodeCount>;

} // namespace touchdrill
