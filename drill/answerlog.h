// SPDX-License-Identifier: GPL-3.0-or-later
// Every answer of one drill in the order the drill brought them, as the engine notes them on the
// key path: two flat arrays that keep their room from drill to drill, so that a key costs a store
// and no allocation once the arrays have grown to a drill's size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace touchdrill {

// A key typed while the target was on show, other than the target.
struct LoggedWrongKey {
    unsigned char typed = 0; // any byte
    uint32_t ms = 0; // from the target's showing, modulo 2^32
};

// One target of a drill, from its showing to its right key.
struct LoggedAnswer {
    unsigned char target = 0; // '!'..'~'
    // False only for the drill's last target when the drill ended before its right key came; it
    // is logged only when wrong keys were typed for it, and its ms is 0.
    bool answered = true;
    uint32_t ms = 0; // to the right key: the figure added to Stats
    uint32_t wrongEnd
        = 0; // its wrong keys end here in wrongKeys(); they start where the previous answer's end
};

class AnswerLog {
public:
    // Room for a long drill up front: 600 answers of every row take 10 KB.
    AnswerLog()
    {
        m_answers.reserve(1024);
        m_wrongKeys.reserve(256);
    }

    void clear()
    {
        m_answers.clear(); // keeps the room
        m_wrongKeys.clear();
    }
    void addWrongKey(unsigned char typed, uint32_t ms) { m_wrongKeys.push_back({ typed, ms }); }
    void addAnswer(unsigned char target, uint32_t ms)
    {
        m_answers.push_back({ target, true, ms, static_cast<uint32_t>(m_wrongKeys.size()) });
    }
    // The drill ended while `target` was on show: its wrong keys, if any, become an unanswered
    // answer.
    void endWithout(unsigned char target)
    {
        if (pendingWrongKeys() != 0)
            m_answers.push_back({ target, false, 0, static_cast<uint32_t>(m_wrongKeys.size()) });
    }

    const std::vector<LoggedAnswer>& answers() const { return m_answers; }
    // The wrong keys of answers()[index], in the order typed.
    std::span<const LoggedWrongKey> wrongKeysOf(std::size_t index) const
    {
        const uint32_t begin = index == 0 ? 0 : m_answers[index - 1].wrongEnd;
        return std::span(m_wrongKeys).subspan(begin, m_answers[index].wrongEnd - begin);
    }

private:
    std::size_t pendingWrongKeys() const
    {
        return m_wrongKeys.size() - (m_answers.empty() ? 0 : m_answers.back().wrongEnd);
    }

    std::vector<LoggedAnswer> m_answers;
    std::vector<LoggedWrongKey> m_wrongKeys;
};

} // namespace touchdrill
