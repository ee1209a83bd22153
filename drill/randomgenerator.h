// SPDX-License-Identifier: GPL-3.0-or-later
// The process-wide linear congruential generator that picks the drill's targets.
#pragma once

#include <cstdint>

namespace touchdrill {

class RandomGenerator {
public:
    static constexpr uint32_t Multiplier = 134775813; // 0x08088405

    explicit RandomGenerator(uint32_t seed = 0)
        : m_seed(seed)
    {
    }

    // A value in [0, n): the upper half of the 64-bit product of the new seed and n.
    uint32_t draw(uint32_t n)
    {
        m_seed = m_seed * Multiplier + 1;
        return static_cast<uint32_t>((static_cast<uint64_t>(m_seed) * n) >> 32);
    }

    void reseed(uint32_t seed) { m_seed = seed; }
    uint32_t seed() const { return m_seed; }

private:
    uint32_t m_seed;
};

// The one generator of the process; every drill draws from it.
RandomGenerator& processRandom();

} // namespace touchdrill
