// SPDX-License-Identifier: GPL-3.0-or-later
// A window made of plain fields and a clock the test sets, for driving the drill engine.
#pragma once

#include "drill/clock.h"
#include "drill/windowops.h"

#include <algorithm>
#include <string>

namespace touchdrill::testing {

class FakeWindow final : public WindowOps {
public:
    void setTargetText(std::string_view text) override { target = text; }
    void setWrongText(std::string_view text) override { wrong = text; }
    int gauge() const override { return gaugePosition; }
    void setGauge(int position) override { gaugePosition = std::clamp(position, 0, 100); }
    void setTimerEnabled(bool enabled) override
    {
        timerEnabled = enabled;
        ++timerCalls;
    }
    bool buttonEnabled() const override { return button; }
    void setButtonEnabled(bool enabled) override { button = enabled; }

    std::string target = "X";
    std::string wrong = "X";
    int gaugePosition = 0;
    bool timerEnabled = false;
    int timerCalls = 0;
    bool button = true;
};

class FakeClock final : public Clock {
public:
    uint32_t tickCount() override { return ticks; }
    uint32_t msSinceUtcMidnight() override { return timeOfDay; }
    int64_t utcNowMs() override { return utcMs; }

    uint32_t ticks = 1000;
    uint32_t timeOfDay = 0;
    int64_t utcMs = 1'796'643'600'000; // 2026-12-07T11:40:00Z
};

} // namespace touchdrill::testing
