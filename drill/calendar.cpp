// SPDX-License-Identifier: GPL-3.0-or-later
#include "drill/calendar.h"

#include <chrono>
#include <cmath>
#include <ctime>

namespace touchdrill {

std::optional<int> localOffsetMinutes(int64_t utcMs)
{
    const int64_t seconds
        = std::chrono::floor<std::chrono::seconds>(std::chrono::milliseconds(utcMs)).count();
    const auto time = static_cast<std::time_t>(seconds);
    std::tm local {};
#ifdef _WIN32
    // Windows' C library has no tm_gmtoff: the local clock time read as UTC, less the moment.
    if (time != seconds || localtime_s(&local, &time) != 0)
        return std::nullopt;
    const double offset = static_cast<double>(_mkgmtime(&local) - time);
#else
    if (time != seconds || !localtime_r(&time, &local)) // a 32-bit time_t cannot hold every year
        return std::nullopt;
    const auto offset = static_cast<double>(local.tm_gmtoff);
#endif
    return static_cast<int>(std::lround(offset / 60));
}

void readTimeZone()
{
#ifdef _WIN32
    _tzset();
#else
    tzset();
#endif
}

} // namespace touchdrill
