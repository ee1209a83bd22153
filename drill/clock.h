// SPDX-License-Identifier: GPL-3.0-or-later
// The two clocks a drill needs: a wrapping millisecond tick counter and the UTC time of day.
#pragma once

#include <cstdint>

namespace touchdrill {

class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds since an arbitrary start, 32 bits, wrapping; only differences mean anything.
    virtual uint32_t tickCount() = 0;
    // Milliseconds since midnight UTC, 0..86'399'999.
    virtual uint32_t msSinceUtcMidnight() = 0;
    // Milliseconds since the Unix epoch, UTC: when a drill started and ended, for the history.
    virtual int64_t utcNowMs() = 0;
};

// The real clocks: a monotonic counter and the system's UTC time.
class SystemClock final : public Clock {
public:
    uint32_t tickCount() override;
    uint32_t msSinceUtcMidnight() override;
    int64_t utcNowMs() override;
};

} // namespace touchdrill
