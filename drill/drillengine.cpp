// SPDX-License-Identifier: GPL-3.0-or-later
#include "drill/drillengine.h"

#include <algorithm>
#include <array>
#include <utility>

namespace touchdrill {

DrillEngine::DrillEngine(
    WindowOps& window, Clock& clock, RandomGenerator& random, std::function<void()> onDrillEnd)
    : m_window(window)
    , m_clock(clock)
    , m_random(random)
    , m_onDrillEnd(std::move(onDrillEnd))
{
}

void DrillEngine::Button1Click(const RowChoices& rows)
{
    Pool = buildPool(rows);
    if (Pool.empty())
        return;
    m_rowsLabel = touchdrill::rowsLabel(rows);
    prepare();
}

bool DrillEngine::preparePool(std::string pool, std::string rowsLabel)
{
    if (Running)
        return false;
    std::erase_if(pool, [](char c) { return !isPracticeCode(static_cast<unsigned char>(c)); });
    // Unlike the button, which only a window that is not prepared can press, this may come while
    // the window is prepared: an empty pool then would leave a drill nothing to draw from.
    if (pool.empty())
        return false;
    Pool = std::move(pool);
    m_rowsLabel = std::move(rowsLabel);
    prepare();
    return true;
}

void DrillEngine::prepare()
{
    Stats.clear();
    m_wrongKeys.clear();
    m_answerLog.clear();
    std::array<bool, 256> inPool {};
    for (char c : Pool)
        inPool[static_cast<unsigned char>(c)] = true;
    m_poolSize = static_cast<uint32_t>(std::count(inPool.begin(), inPool.end(), true));
    m_startedUtcMs = 0;
    m_endedUtcMs = 0;
    m_window.setButtonEnabled(false);
}

void DrillEngine::FormKeyPress(char& Key)
{
    const auto key = static_cast<unsigned char>(Key);
    if (Running) {
        if (key == TargetChar) {
            KeyStat& stat = Stats[key];
            const uint32_t ms
                = m_clock.tickCount() - ShownAt; // modulo 2^32: a counter wrap still gives the true time
            stat.Total += ms;
            stat.Hits += 1;
            m_answerLog.addAnswer(key, ms);
            NextChar();
        } else if (key == ' ') {
            m_endedUtcMs = m_clock.utcNowMs();
            m_answerLog.endWithout(TargetChar);
            Running = false;
            m_window.setTimerEnabled(false);
            m_window.setTargetText({});
            m_window.setButtonEnabled(true);
            if (m_onDrillEnd)
                m_onDrillEnd();
        } else {
            m_wrongKeys.add(TargetChar, key); // TargetChar is a pool character while running
            m_answerLog.addWrongKey(key, m_clock.tickCount() - ShownAt);
            m_window.setWrongText(std::string_view(&Key, 1));
        }
    } else if (key == ' ' && !m_window.buttonEnabled()) {
        Running = true;
        m_startedUtcMs = m_clock.utcNowMs();
        m_random.reseed(m_clock.msSinceUtcMidnight());
        NextChar();
    }
    Key = 0;
}

void DrillEngine::NextChar()
{
    // A pool of one distinct character can never differ from the last target; draw once and show
    // it again rather than hang. The pools the rows build always hold several characters.
    unsigned char c = TargetChar;
    const auto size = static_cast<uint32_t>(Pool.size());
    const bool anyOther = std::any_of(
        Pool.begin(), Pool.end(), [this](char p) { return static_cast<unsigned char>(p) != TargetChar; });
    do {
        c = static_cast<unsigned char>(Pool[m_random.draw(size)]);
    } while (anyOther && c == TargetChar);
    TargetChar = c;

    const char shown = static_cast<char>(c);
    m_window.setTargetText(std::string_view(&shown, 1));
    m_window.setWrongText({});
    m_window.setGauge(0);
    ShownAt = m_clock.tickCount();
    m_window.setTimerEnabled(true);
}

void DrillEngine::Timer1Timer()
{
    const int position = m_window.gauge();
    if (position < 100)
        m_window.setGauge(position + 1);
}

} // namespace touchdrill
