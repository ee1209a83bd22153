// SPDX-License-Identifier: GPL-3.0-or-later
// The drill itself: prepare, start and stop on space, time each answer, show wrong keys.
#pragma once

#include "drill/answerlog.h"
#include "drill/clock.h"
#include "drill/keystats.h"
#include "drill/practiceset.h"
#include "drill/randomgenerator.h"
#include "drill/windowops.h"

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
    // Prepares with a pool made elsewhere, as the prepare button does with the rows' pool; the
    // label names the drill in the history (see rowsLabel()). Characters outside '!'..'~' are
    // dropped; a pool with none left, or one given while a drill runs, changes nothing. Returns
    // whether it prepared.
    bool preparePool(std::string pool, std::string rowsLabel);
    // One typed character. Key is set to 0 on a normal return (the character is consumed).
    void FormKeyPress(char& Key);
    // One gauge timer tick.
    void Timer1Timer();

    std::string Pool;
    unsigned char TargetChar = 0; // kept after a drill ends, so the next drill never opens with it
    bool Running = false;
    uint32_t ShownAt = 0;
    KeyStats Stats;

    // Also for the history, and cleared with Stats: the wrong keys per target, the rows of the
    // last prepare (one letter per ticked box, see rowsLabel()), and when the drill started and
    // ended (UTC, ms since the Unix epoch; 0 until it has).
    const WrongKeyStats& wrongKeys() const { return m_wrongKeys; }
    const std::string& rowsLabel() const { return m_rowsLabel; }
    int64_t startedUtcMs() const { return m_startedUtcMs; }
    int64_t endedUtcMs() const { return m_endedUtcMs; }
    // Every answer of the drill in order, each with its wrong keys, and the last target's wrong
    // keys when the drill ended before its right key; and how many different characters the pool
    // of the last prepare holds.
    const AnswerLog& answerLog() const { return m_answerLog; }
    uint32_t poolSize() const { return m_poolSize; }

private:
    void NextChar();
    void prepare();

    WindowOps& m_window;
    Clock& m_clock;
    RandomGenerator& m_random;
    std::function<void()> m_onDrillEnd;
    WrongKeyStats m_wrongKeys;
    AnswerLog m_answerLog;
    uint32_t m_poolSize = 0;
    std::string m_rowsLabel;
    int64_t m_startedUtcMs = 0;
    int64_t m_endedUtcMs = 0;
};

} // namespace touchdrill
