// SPDX-License-Identifier: GPL-3.0-or-later
// Records each finished drill in the practice history, opening the database on first use and
// reporting a failure once per run.
#pragma once

#include "history/drillrecord.h"
#include "history/historydb.h"

#include <memory>
#include <string>

namespace touchdrill {
class DrillEngine;
}

namespace touchdrill::history {

// What the engine holds after a drill's end: its times, rows, and per character the hits, the
// milliseconds and the wrong keys. Characters with neither hits nor wrong keys are left out. Its
// every answer in order and the pool's count of different characters come along.
DrillRecord drillRecordOf(const DrillEngine& engine);

class HistoryRecorder {
public:
    // `iniPath` holds the opt-out: [History] Record=0.
    HistoryRecorder(std::string databasePath, std::string iniPath);

    // Stores a finished drill, creating the database at the first one. Returns the text for the
    // error box at the first failure of the run and an empty text otherwise (stored, waiting,
    // skipped, or a failure already reported). A drill with no hit, and any drill while the INI
    // file says Record=0, is skipped and creates nothing. While another copy holds the history
    // (storing, migrating, merging) the drill waits in memory and is stored, in order, with the
    // next one or by storeWaiting(). After a file that is not a history of ours, nothing more is
    // tried in this run. Never throws.
    std::string record(DrillRecord drill);
    // Stores the drills that wait, trying for up to `patienceMs` while the history stays busy.
    // Returns the text for the error box as record() does; when they still wait after that, and
    // `lastChance` (the program is ending), a text that names the file and says they are lost.
    std::string storeWaiting(int patienceMs = 0, bool lastChance = false);
    // One try at storing the drills that wait without waiting for the history at all, when it is
    // open: what a timer can run while the window goes on. Returns as record() does.
    std::string storeWaitingNow();
    // The drills waiting for the history.
    std::size_t waitingCount() const { return m_waiting.size(); }

    // The database for reading, opened on first use without creating it; null when there is no
    // file yet. Where it cannot be opened for writing (a read-only file, a full disk or another
    // copy during its migration) it is opened read-only, and readOnlyReason() says why. Throws
    // HistoryError when it cannot be read or was refused in this run. Ask again after each
    // record(): a failed one may close it.
    HistoryDb* database();
    // Why the database() open is read-only: the text of the failure to open it for writing; empty
    // when it is open for writing or not open.
    std::string readOnlyReason() const;

    // The id of the last drill stored in this run, 0 before the first.
    int64_t lastRecordedId() const { return m_lastId; }
    bool recordingEnabled() const;
    const std::string& path() const { return m_path; }

    // A migration that failed (a full disk, say) takes seconds; it is tried this often per run.
    static constexpr int MigrationTries = 2;

private:
    std::unique_ptr<HistoryDb> openForWriting(bool create);
    // One try at storing the drills that wait; true when none waits after it.
    bool tryToStore(std::string& report);
    bool mayMigrate() const { return m_failedMigrations < MigrationTries; }

    std::string m_path;
    std::string m_iniPath;
    std::unique_ptr<HistoryDb> m_db;
    Refusal m_refusal; // the file stays untouched for the rest of the run
    bool m_reported = false;
    int m_failedMigrations = 0;
    std::string m_writeProblem; // the last failure to open for writing
    int64_t m_lastId = 0;
    std::vector<DrillRecord> m_waiting; // in the order they ended
};

} // namespace touchdrill::history
