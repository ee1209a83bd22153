// SPDX-License-Identifier: GPL-3.0-or-later
// Records each finished drill in the practice history.
#include "history/historyrecorder.h"

#include "drill/drillengine.h"
#include "settings/iniinteger.h"

#include <utility>

namespace touchdrill::history {

DrillRecord drillRecordOf(const DrillEngine& engine)
{
    DrillRecord drill;
    drill.startedUtcMs = engine.startedUtcMs();
    drill.endedUtcMs = engine.endedUtcMs();
    drill.rows = engine.rowsLabel();
    const WrongKeyStats& wrong = engine.wrongKeys();
    for (int code = FirstCode; code <= LastCode; ++code) {
        const KeyStat& stat = engine.Stats[code];
        KeyRecord key(static_cast<unsigned char>(code), stat.Hits, stat.Total, wrong.total(code));
        if (!key.countsAsDrill())
            continue;
        if (key.wrong != 0) {
            for (int typed = 0; typed < 256; ++typed) {
                const uint32_t count = wrong.count(code, static_cast<unsigned char>(typed));
                if (count != 0)
                    key.wrongKeys.emplace(static_cast<unsigned char>(typed), count);
            }
        }
        drill.keys.push_back(std::move(key));
    }
    const AnswerLog& log = engine.answerLog();
    std::vector<Answer> answers(log.answers().size());
    unsigned char previous = 0;
    for (std::size_t i = 0; i < answers.size(); ++i) {
        const LoggedAnswer& logged = log.answers()[i];
        Answer& answer = answers[i];
        answer.target = logged.target;
        answer.previous = previous;
        answer.ms = logged.ms;
        answer.answered = logged.answered;
        for (const LoggedWrongKey& wrongKey : log.wrongKeysOf(i))
            answer.wrongKeys.push_back({ wrongKey.typed, wrongKey.ms });
        previous = logged.target;
    }
    drill.answers = std::move(answers);
    drill.poolSize = engine.poolSize();
    return drill;
}

HistoryRecorder::HistoryRecorder(std::string databasePath, std::string iniPath)
    : m_path(std::move(databasePath))
    , m_iniPath(std::move(iniPath))
{
}

bool HistoryRecorder::recordingEnabled() const
{
    return readIniInteger(m_iniPath, "History", "Record", 1) != 0;
}

std::string HistoryRecorder::record(DrillRecord drill)
{
    bool answered = false;
    for (const KeyRecord& key : drill.keys)
        answered = answered || key.hits != 0;
    if (!answered || m_refusal)
        return {};
    try {
        if (!recordingEnabled())
            return {};
        if (m_db && m_db->readOnly())
            m_db.reset(); // opened for reading where writing failed: writing may work now
        if (!m_db) {
            if (!mayMigrate()) // given up for this run; said once
                return std::exchange(m_reported, true) ? std::string() : m_writeProblem;
            m_db = openForWriting(true);
        }
        m_db->record(drill);
        m_lastId = drill.id;
        return {};
    } catch (const HistoryError& error) {
        // A folder or disk that failed may work again at the next drill; open afresh then.
        if (m_refusal.remember(error) || error.kind() != HistoryError::Kind::Busy)
            m_db.reset();
        if (std::exchange(m_reported, true))
            return {};
        return error.what();
    } catch (const std::exception& error) {
        if (std::exchange(m_reported, true))
            return {};
        return error.what();
    }
}

std::unique_ptr<HistoryDb> HistoryRecorder::openForWriting(bool create)
{
    try {
        auto db = HistoryDb::open(m_path, create);
        m_writeProblem.clear();
        return db;
    } catch (const HistoryError& error) {
        if (error.duringMigration())
            ++m_failedMigrations;
        m_writeProblem = error.what();
        throw;
    }
}

HistoryDb* HistoryRecorder::database()
{
    m_refusal.check();
    if (m_db)
        return m_db.get();
    try {
        if (mayMigrate()) {
            m_db = openForWriting(false);
            return m_db.get();
        }
    } catch (const HistoryError& error) {
        if (m_refusal.remember(error))
            throw;
        // Not written to (a read-only file, a full disk, another copy migrating): what it holds
        // can still be shown.
    }
    m_db = m_refusal.watch([this] { return HistoryDb::openReadOnly(m_path); });
    return m_db.get();
}

std::string HistoryRecorder::readOnlyReason() const
{
    return m_db && m_db->readOnly() ? m_writeProblem : std::string();
}

} // namespace touchdrill::history
