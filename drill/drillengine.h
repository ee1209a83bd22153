// The drill itself: prepare, start and stop on space, time each answer, show wrong keys.
#pragma once

#include "clock.h"
#include "keystats.h"
#include "practiceset.h"
#include "randomgenerator.h"
#include "windowops.h"

#include <cstdint>
#include <functional>
#include <string>

namespace touchdrill {

class DrillEngine {
public:
    // onDrillEnd runs as the last step of ending a drill; what it throws leaves FormKeyPress at once.
    DrillEngine(WindowOps& window, Clock& clock, RandomGenerator& random, std::function<void()> onDrillEnd);

    // The prepare button: rebuild the pool from the rows; a non-empty pool clears Stats and
    // disables the button (the prepared state).
    void Button1Click(const RowChoices& rows);
    // One typed character. Key is set to 0 on a normal return (the character is consumed).
    void FormKeyPress(char& Key);
    // One gauge timer tick.
    void Timer1Timer();

    std::string Pool;
    unsigned char TargetChar = 0; // kept after a drill ends, so the next drill never opens with it
    bool Running = false;
    uint32_t ShownAt = 0;
    KeyStats Stats;

private:
    void NextChar();

    WindowOps& m_window;
    Clock& m_clock;
    RandomGenerator& m_random;
    std::function<void()> m_onDrillEnd;
};

} // namespace touchdrill
