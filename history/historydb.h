// SPDX-License-Identifier: GPL-3.0-or-later
// The practice history database: one SQLite file beside the executable, a row per drill.
#pragma once

#include "figures/answerstats.h"
#include "history/drillrecord.h"
#include "history/historydigest.h"
#include "history/historyerror.h"
#include "history/historyschema.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <vector>

struct sqlite3;

namespace touchdrill::history {

// What HistoryDb::importDrills() did.
struct ImportResult {
    std::size_t added = 0;
    std::size_t skipped = 0; // held already, or given twice
    std::size_t refused = 0; // not a drill this program could have recorded: never stored
    std::size_t unreadable = 0; // of those, drills with a row the reads leave out
};

// A part of a history's drills in id order, as the exports and the import read it (page()).
struct DrillPage {
    std::vector<DrillRecord> drills;
    // The drills in `drills` read with a row left out: a key, a wrong key or their answers.
    std::set<int64_t> damaged;
    std::size_t skippedRows = 0; // every row left out, as `skipped` counts them
    std::size_t lostDrills = 0; // drill rows left out whole
    int64_t next = 0; // the id to read after for the next part
    bool end = true; // nothing after this part
};

// How long a drill's end waits for another running copy that holds the database.
inline constexpr int BusyTimeoutMs = 500;

// The answers digest() reads, per kind of drill: its latest drills that kept answers, newest first,
// until they span the sittings of two trend windows and every character met in them has this many
// answered answers in them...
inline constexpr std::size_t AnswersPerCharacter = 2 * figures::TrendWindow;
// ... or MostAnswerDrillsPerKind drills were read (historydigest.h).

class HistoryDb {
public:
    // The schema this program writes (PRAGMA user_version); 0 is an empty or new file.
    static constexpr int SchemaVersion = history::SchemaVersion;

    // Opens the database at `path` for reading and writing, creating it when `create` and it does
    // not exist, and migrating an older schema. A file that is not a database of ours, damaged or
    // written by a newer program is refused and left as it is: so is one whose header holds a
    // version this program never wrote, one that lacks a table its version has, and one whose
    // rows the migration cannot take. Throws HistoryError.
    static std::unique_ptr<HistoryDb> open(const std::string& path, bool create);
    // Opens for reading only: no migration, nothing written. A journal that a killed commit left
    // is rolled back first where the file may be written (as any open would); elsewhere such a
    // file cannot be read. An empty file or an empty database reads as no drills. Throws
    // HistoryError.
    static std::unique_ptr<HistoryDb> openReadOnly(const std::string& path);
    // Opens another history to merge in: as openReadOnly(), and besides immutable (no lock taken,
    // nothing made beside it) where no journal lies beside it, with no value read larger than an
    // answers blob can be, and refused as NotHistory where a view, a trigger, a virtual table or a
    // generated column could decide what a read returns. Null when there is no file.
    static std::unique_ptr<HistoryDb> openToImport(const std::string& path);

    ~HistoryDb();
    HistoryDb(const HistoryDb&) = delete;
    HistoryDb& operator=(const HistoryDb&) = delete;

    // Stores one drill in one transaction and sets drill.id. Throws HistoryError; the database
    // then holds none of the drill. Once any call has found the file damaged, every later store
    // is refused with that error.
    void record(DrillRecord& drill);
    // Stores the drills in order in one transaction and sets their ids; on a HistoryError the
    // database holds none of them.
    void recordAll(std::span<DrillRecord> drills);

    // The reads leave out every row holding a value this program never writes (a drill id below
    // 1, a character outside '!'..'~', a typed byte outside 0..255, a count, hit or millisecond
    // figure outside 0..2^32-1, a total larger than a drill's characters can add up to, a value
    // that is not an integer) and every row whose drill or character is left out or missing. Where
    // `skipped` is given, the number of rows left out is added to it.

    // All drills, oldest first, each with its keys ascending by code.
    std::vector<DrillRecord> drills(std::size_t* skipped = nullptr) const;
    // The drills stored after the one with row id `id` (0: all), in the order they were stored;
    // the first `atMost` of them. A drill keeps its id for good: one merged from another history
    // gets an id above every stored one, whenever it started.
    std::vector<DrillRecord> drillsSince(
        int64_t id, std::size_t atMost = SIZE_MAX, std::size_t* skipped = nullptr) const;
    // The drill rows after id `after`, at most `atMost` of them, in a read transaction of its
    // own: a part of a long history that goes on after drills it cannot read, however many.
    DrillPage page(int64_t after, std::size_t atMost) const;
    int64_t drillCount() const;
    // What the progress window needs when it opens, read in one go: every drill's totals (in the
    // order they started, drills that started together by id), each
    // character's count of drills and its latest ones, the keys typed instead, and the answers of
    // each kind's latest drills (AnswersPerCharacter; the rows left out, damaged answers among them,
    // in digest.skipped). A file of an older schema opened read-only is read whole for it, and has
    // no answers.
    HistoryDigest digest() const;
    // Every drill of one character with an id up to `upToId`, in the order they started, with its times
    // in each drill that kept answers (damaged ones: none, counted in `skipped`).
    std::vector<KeyDrill> keyDrills(unsigned char code, int64_t upToId, std::size_t* skipped = nullptr) const;

    // Adds, in one transaction, each drill that `nextPart` hands in (a part at a time, until it
    // returns false) that the history does not hold yet: a drill is the same as another when its
    // start, end, rows and totals (hits, milliseconds, wrong keys) are. Each is stored as a
    // drill's end stores it, with an id above every stored one; no stored drill's id changes.
    // Each character's latest drills are then its latest by start. Throws HistoryError, and what
    // `nextPart` throws; the database then holds none of them.
    ImportResult importDrills(const std::function<bool(std::vector<DrillRecord>& part)>& nextPart);
    ImportResult importDrills(std::vector<DrillRecord> drills);
    // The finger view's answers: the latest drills (by start) of the kind `rows` that kept answers,
    // newest read first until they hold `maxAnswers` answers between them, returned oldest first. Damaged
    // answers are left out (counted in `skipped`); a file of an older schema has none.
    std::vector<DrillAnswers> latestAnswers(
        const std::string& rows, std::size_t maxAnswers, std::size_t* skipped = nullptr) const;

    const std::string& path() const { return m_path; }
    // How long a write waits for another copy that holds the file: BusyTimeoutMs unless set.
    void setBusyTimeout(int ms);
    // Opened by openReadOnly(): nothing can be recorded into it.
    bool readOnly() const { return m_readOnly; }

private:
    HistoryDb(std::string path, sqlite3* db, bool readOnly);
    void store(std::span<DrillRecord> drills);
    // Inside a read transaction: the drills after `id` up to the one with id `upToId`, with their
    // answers and pool sizes where the file's schema has them (`withAnswers`).
    // Drills with a row left out go into `damaged` where given.
    std::vector<DrillRecord> readSinceWithin(int64_t id, int64_t upToId, bool withAnswers,
        std::size_t& skipped, std::set<int64_t>* damaged = nullptr) const;
    // Inside a read transaction: the answers of the digest's latest drills (see digest()).
    std::vector<DrillAnswers> readLatestAnswers(const std::vector<DrillTotals>& drills,
        const std::vector<bool>& keptAnswers, std::size_t& skipped) const;
    // Every read: `read` is handed the file's schema version (0 for an empty file opened read-only)
    // inside one read transaction, and a file found damaged by it is refused from then on.
    template <typename Read> auto reading(Read&& read) const;

    std::string m_path;
    sqlite3* m_db = nullptr;
    bool m_readOnly = false;
    mutable Refusal m_refusal; // the file was found damaged: no more writes
};

} // namespace touchdrill::history
