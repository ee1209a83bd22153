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
    } catch (const std::exception& error) {
        return std::exchange(m_reported, true) ? std::string() : std::string(error.what());
    }
    m_waiting.push_back(std::move(drill));
    std::string report;
    tryToStore(report);
    return report;
}

std::string HistoryRecorder::storeWaiting(int patienceMs, bool lastChance)
{
    std::string report;
    // Each try waits up to BusyTimeoutMs for the other copy.
    for (int waited = 0; !tryToStore(report) && report.empty() && waited < patienceMs;
         waited += BusyTimeoutMs) { }
    if (lastChance && !m_waiting.empty() && report.empty())
        report = m_path + " は別の touchdrill が使っています。記録を待っていた練習 "
            + std::to_string(m_waiting.size()) + " 回は記録されません";
    return report;
}

std::string HistoryRecorder::storeWaitingNow()
{
    std::string report;
    if (!m_db || m_waiting.empty())
        return storeWaiting();
    m_db->setBusyTimeout(0);
    tryToStore(report);
    if (m_db)
        m_db->setBusyTimeout(BusyTimeoutMs);
    return report;
}

bool HistoryRecorder::tryToStore(std::string& report)
{
    if (m_waiting.empty())
        return true;
    if (m_refusal) {
        m_waiting.clear();
        return true;
    }
    try {
        if (m_db && m_db->readOnly())
            m_db.reset(); // opened for reading where writing failed: writing may work now
        if (!m_db) {
            if (!mayMigrate()) { // given up for this run; said once
                m_waiting.clear();
                if (!std::exchange(m_reported, true))
                    report = m_writeProblem;
                return true;
            }
            m_db = openForWriting(true);
        }
        m_db->recordAll(m_waiting);
        m_lastId = m_waiting.back().id;
        m_waiting.clear();
        return true;
    } catch (const HistoryError& error) {
        // Another copy holds the file for a moment (a drill's end, a migration, a merge): the
        // drills wait for the next chance.
        if (error.kind() == HistoryError::Kind::Busy)
            return false;
        // A folder or disk that failed may work again at the next drill; open afresh then.
        m_refusal.remember(error);
        m_db.reset();
        m_waiting.clear();
        if (!std::exchange(m_reported, true))
            report = error.what();
        return true;
    } catch (const std::exception& error) {
        m_waiting.clear();
        if (!std::exchange(m_reported, true))
            report = error.what();
        return true;
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
