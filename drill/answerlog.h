// SPDX-License-Identifier: GPL-3.0-or-later
// Every answer of one drill in the order the drill brought them, as the engine notes them on the
// key path: two flat arrays that keep their room from drill to drill, so that a key costs a store
// and no allocation once the arrays have grown to a drill's size.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace touchdrill {

// One target of a drill, from its showing to its right key: 8 bytes, the whole cost of an answer
// on the key path.
struct LoggedAnswer {
    uint32_t ms = 0; // to the right key: the figure added to Stats
    unsigned char target = 0; // '!'..'~'
    // False only for the drill's last target when the drill ended before its right key came; it
    // is logged only when wrong keys were typed for it, and its ms is 0.
    bool answered = true;
};

// A key typed while the target was on show, other than the target.
struct LoggedWrongKey {
    uint32_t ms = 0; // from the target's showing, modulo 2^32
    uint32_t answer = 0; // the index of its answer in answers()
    unsigned char typed = 0; // any byte
};

class AnswerLog {
public:
    // Room for a long drill up front: 1,024 answers and 256 wrong keys take 11 KB.
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
    // For the target on show, whose answer comes next.
    void addWrongKey(unsigned char typed, uint32_t ms)
    {
        m_wrongKeys.push_back({ ms, static_cast<uint32_t>(m_answers.size()), typed });
    }
    void addAnswer(unsigned char target, uint32_t ms) { m_answers.push_back({ ms, target, true }); }
    // The drill ended while `target` was on show: its wrong keys, if any, become an unanswered
    // answer.
    void endWithout(unsigned char target)
    {
        if (!m_wrongKeys.empty() && m_wrongKeys.back().answer == m_answers.size())
            m_answers.push_back({ 0, target, false });
    }

    const std::vector<LoggedAnswer>& answers() const { return m_answers; }
    // The wrong keys of answers()[index], in the order typed.
    std::span<const LoggedWrongKey> wrongKeysOf(std::size_t index) const
    {
        const auto before = [](const LoggedWrongKey& key, std::size_t answer) { return key.answer < answer; };
        const auto begin = std::lower_bound(m_wrongKeys.begin(), m_wrongKeys.end(), index, before);
        const auto end = std::lower_bound(begin, m_wrongKeys.end(), index + 1, before);
        return { begin, end };
    }

private:
    std::vector<LoggedAnswer> m_answers;
    std::vector<LoggedWrongKey> m_wrongKeys;
};

} // namespace touchdrill
