// SPDX-License-Identifier: GPL-3.0-or-later
#include "drill/clock.h"

#include <chrono>

namespace touchdrill {

uint32_t SystemClock::tickCount()
{
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    return static_cast<uint32_t>(static_cast<uint64_t>(ms));
}

uint32_t SystemClock::msSinceUtcMidnight()
{
    const int64_t ms = utcNowMs();
    constexpr int64_t msPerDay = 24LL * 60 * 60 * 1000;
    int64_t ofDay = ms % msPerDay;
    if (ofDay < 0) // a clock set before 1970
        ofDay += msPerDay;
    return static_cast<uint32_t>(ofDay);
}

int64_t SystemClock::utcNowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

} // namespace touchdrill
