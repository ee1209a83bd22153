// SPDX-License-Identifier: GPL-3.0-or-later
// What the drill engine does to the window, so that it runs without one.
#pragma once

#include <string_view>

namespace touchdrill {

class WindowOps {
public:
    virtual ~WindowOps() = default;
    virtual void setTargetText(std::string_view text) = 0; // Label1; "&" shows as itself
    virtual void setWrongText(std::string_view text) = 0; // Label2; "&" shows as itself
    virtual int gauge() const = 0; // ProgressBar1, 0..100
    virtual void setGauge(int position) = 0; // held within 0..100
    virtual void setTimerEnabled(bool enabled) = 0; // Timer1, 10 ms
    virtual bool buttonEnabled() const = 0; // Button1: disabled means prepared or running
    virtual void setButtonEnabled(bool enabled) = 0;
};

} // namespace touchdrill
