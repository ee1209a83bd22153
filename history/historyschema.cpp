// SPDX-License-Identifier: GPL-3.0-or-later
// The history's schema and its migration steps, and the checks that a file is a history of ours.
#include "history/historyschema.h"

#include "fileio/sysfile.h"

#include "history/historydigest.h"
#include "history/keycounts.h"
#include "history/sqlitestatement.h"

#include <sqlite3.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <string_view>

namespace touchdrill::history {

namespace {

constexpr char SqliteMagic[] = "SQLite format 3"; // and a NUL: the first 16 bytes of every database

// Each step takes the schema from version i to i + 1; a new file runs them all. A later schema
// adds a step here and never changes an earlier one. $COUNTS_AS_DRILL stands for CountsAsDrillSql.
constexpr std::array<const char*, SchemaVersion> MigrationSteps = {
    // 0 -> 1: drills, their characters, and the wrong keys typed while each was the target.
    "CREATE TABLE drill ("
    " id INTEGER PRIMARY KEY,"
    " started_utc_ms INTEGER NOT NULL,"
    " ended_utc_ms INTEGER NOT NULL,"
    " rows TEXT NOT NULL);"
    "CREATE TABLE drill_key ("
    " drill_id INTEGER NOT NULL REFERENCES drill(id),"
    " code INTEGER NOT NULL,"
    " hits INTEGER NOT NULL,"
    " total_ms INTEGER NOT NULL,"
    " wrong INTEGER NOT NULL,"
    " PRIMARY KEY (drill_id, code)) WITHOUT ROWID;"
    "CREATE TABLE wrong_key ("
    " drill_id INTEGER NOT NULL REFERENCES drill(id),"
    " code INTEGER NOT NULL,"
    " typed INTEGER NOT NULL,"
    " count INTEGER NOT NULL,"
    " PRIMARY KEY (drill_id, code, typed)) WITHOUT ROWID;",
    // 1 -> 2: what the progress window shows, kept up to date with each drill so that it opens
    // without reading every key of every drill: the drill's totals over its characters; per
    // character the drills in which it was the target (answered or a wrong key typed), its last
    // ten of them in a ring of ten slots (the n-th drill in slot (n - 1) % 10), and the keys typed
    // instead of it over the whole history. No index by character: it would change a page per
    // character at every drill's end; a character's whole series is read from drill_key.
    "ALTER TABLE drill ADD COLUMN hits INTEGER NOT NULL DEFAULT 0;"
    "ALTER TABLE drill ADD COLUMN total_ms INTEGER NOT NULL DEFAULT 0;"
    "ALTER TABLE drill ADD COLUMN wrong INTEGER NOT NULL DEFAULT 0;"
    "UPDATE drill SET (hits, total_ms, wrong) = (SELECT coalesce(sum(hits), 0), coalesce(sum(total_ms), 0),"
    " coalesce(sum(wrong), 0) FROM drill_key WHERE drill_id = drill.id);"
    "CREATE TABLE key_total ("
    " code INTEGER PRIMARY KEY,"
    " drills INTEGER NOT NULL);"
    "INSERT INTO key_total (code, drills)"
    " SELECT code, count(*) FROM drill_key WHERE $COUNTS_AS_DRILL GROUP BY code;"
    "CREATE TABLE key_latest ("
    " code INTEGER NOT NULL,"
    " slot INTEGER NOT NULL,"
    " drill_id INTEGER NOT NULL,"
    " hits INTEGER NOT NULL,"
    " total_ms INTEGER NOT NULL,"
    " wrong INTEGER NOT NULL,"
    " PRIMARY KEY (code, slot)) WITHOUT ROWID;"
    "INSERT INTO key_latest (code, slot, drill_id, hits, total_ms, wrong)"
    " SELECT code, (n - 1) % 10, drill_id, hits, total_ms, wrong FROM ("
    "  SELECT code, drill_id, hits, total_ms, wrong,"
    "  row_number() OVER (PARTITION BY code ORDER BY drill_id) AS n, count(*) OVER (PARTITION BY code) AS "
    "drills"
    "  FROM drill_key WHERE $COUNTS_AS_DRILL)"
    " WHERE n > drills - 10;"
    "CREATE TABLE confusion ("
    " code INTEGER NOT NULL,"
    " typed INTEGER NOT NULL,"
    " count INTEGER NOT NULL,"
    " PRIMARY KEY (code, typed)) WITHOUT ROWID;"
    "INSERT INTO confusion (code, typed, count)"
    " SELECT w.code, w.typed, sum(w.count) FROM wrong_key w"
    " JOIN drill_key k ON k.drill_id = w.drill_id AND k.code = w.code"
    " WHERE $COUNTS_AS_DRILL GROUP BY w.code, w.typed;", // hits and wrong: the columns of k
    // 2 -> 3: every answer of a drill in order, as one blob (answercodec.h), in a table of its own
    // so that the drill table stays small for the reads that walk it; and the count of different
    // characters in the drill's pool. Older drills keep their totals only: no answers row, and
    // pool_size NULL. pool_size is set exactly when the drill's answers are stored. Beside each
    // character's counts, its right-key times in the drill (encodeTimes(), NULL for older drills):
    // a character's chart reads them along drill_key, which it walks anyway, instead of every
    // drill's blob. The index by start time finds a drill when another history is merged in.
    "ALTER TABLE drill ADD COLUMN pool_size INTEGER;"
    "ALTER TABLE drill_key ADD COLUMN answer_ms BLOB;"
    "CREATE TABLE drill_answers ("
    " drill_id INTEGER PRIMARY KEY REFERENCES drill(id),"
    " answers BLOB NOT NULL);"
    "CREATE INDEX drill_started ON drill (started_utc_ms);",
};

static_assert(LatestDrills == 10, "key_latest keeps ten drills per character");

// The tables of the current schema in the order the steps make them; a file of version v must
// hold the first TablesOf[v] of them.
constexpr std::array<const char*, 7> Tables
    = { "drill", "drill_key", "wrong_key", "key_total", "key_latest", "confusion", "drill_answers" };
constexpr std::array<std::size_t, SchemaVersion + 1> TablesOf = { 0, 3, 6, 7 };
static_assert(TablesOf.back() == Tables.size(), "the current schema has every table");
// Every column this program reads or writes, by table; a file of version v must have the first
// ColumnsOf[v]. Prepared only, they cost no read of the data.
constexpr std::array<const char*, 10> Columns = {
    "SELECT id, started_utc_ms, ended_utc_ms, rows FROM drill",
    "SELECT drill_id, code, hits, total_ms, wrong FROM drill_key",
    "SELECT drill_id, code, typed, count FROM wrong_key",
    "SELECT hits, total_ms, wrong FROM drill",
    "SELECT code, drills FROM key_total",
    "SELECT code, slot, drill_id, hits, total_ms, wrong FROM key_latest",
    "SELECT code, typed, count FROM confusion",
    "SELECT pool_size FROM drill",
    "SELECT drill_id, answers FROM drill_answers",
    "SELECT answer_ms FROM drill_key",
};
constexpr std::array<std::size_t, SchemaVersion + 1> ColumnsOf = { 0, 3, 7, 10 };
static_assert(ColumnsOf.back() == Columns.size(), "the current schema has every column");

// Versions this program has written: 0 (new) to the current one. A newer one is said as such; one
// below 0 is a damaged header, whose migration would start before the first step.
void checkVersion(int64_t version, Doing doing, const std::string& path)
{
    if (version > SchemaVersion)
        fail(HistoryError::Kind::NewerVersion, doing, path);
    if (version < 0)
        fail(HistoryError::Kind::NotHistory, doing, path);
}

} // namespace

std::string migrationStep(int64_t version)
{
    static constexpr std::string_view Placeholder = "$COUNTS_AS_DRILL";
    std::string sql = MigrationSteps[static_cast<std::size_t>(version)];
    for (auto at = sql.find(Placeholder); at != std::string::npos; at = sql.find(Placeholder, at))
        sql.replace(at, Placeholder.size(), CountsAsDrillSql);
    return sql;
}

Found inspect(const std::string& path, bool forWriting)
{
    const Doing doing = forWriting ? Doing::Writing : Doing::Reading;
    struct stat info { };
    if (sysfile::stat(path, info) != 0) {
        if (errno == ENOENT)
            return Found::Nothing;
        fail(HistoryError::Kind::CannotWrite, doing, path);
    }
    if (!S_ISREG(info.st_mode))
        fail(HistoryError::Kind::NotHistory, doing, path);
    if (info.st_size == 0)
        return Found::EmptyFile; // a creation cut short before its first write: SQLite's empty database
    const int fd = sysfile::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        fail(HistoryError::Kind::CannotWrite, doing, path);
    char header[sizeof SqliteMagic] = {};
    const ssize_t got = ::read(fd, header, sizeof header);
    ::close(fd);
    if (got != static_cast<ssize_t>(sizeof header) || std::memcmp(header, SqliteMagic, sizeof header) != 0)
        fail(HistoryError::Kind::NotHistory, doing, path);
    return Found::Database;
}

void migrate(sqlite3* db, const std::string& path, bool readOnly)
{
    const Doing doing = readOnly ? Doing::Reading : Doing::Writing;
    {
        // Reading the header and a quick check under one read lock: a file that is not a database
        // fails here, before anything could be written.
        Transaction read(db, "BEGIN DEFERRED", doing, path);
        const int64_t version = pragmaInteger(db, "PRAGMA user_version", doing, path);
        const int64_t id = pragmaInteger(db, "PRAGMA application_id", doing, path);
        const int64_t objects = pragmaInteger(db, "SELECT count(*) FROM sqlite_schema", doing, path);
        checkVersion(version, doing, path);
        if ((version == 0 && objects != 0) || (version != 0 && id != ApplicationId))
            fail(HistoryError::Kind::NotHistory, doing, path);
        // A whole check reads every page: 150 ms at 10,000 drills, too long for a drill's end. The
        // file's length must match its pages (a cut copy fails here); a damaged page elsewhere is
        // found when a write or a read reaches it, and the file is refused then.
        const int64_t pages = pragmaInteger(db, "PRAGMA page_count", doing, path);
        const int64_t pageSize = pragmaInteger(db, "PRAGMA page_size", doing, path);
        struct stat info { };
        if (sysfile::stat(path, info) != 0 || info.st_size != pages * pageSize)
            fail(HistoryError::Kind::NotHistory, doing, path);
        // Every table of the file's version: one missing would fail every drill with a bare error.
        const std::size_t tables = TablesOf[static_cast<std::size_t>(version)];
        if (tables > 0) {
            std::string names;
            for (std::size_t i = 0; i < tables; ++i)
                names += std::string(names.empty() ? "'" : ", '") + Tables[i] + "'";
            const std::string sql
                = "SELECT count(*) FROM sqlite_schema WHERE type = 'table' AND name IN (" + names + ")";
            if (pragmaInteger(db, sql.c_str(), doing, path) != static_cast<int64_t>(tables))
                fail(HistoryError::Kind::NotHistory, doing, path);
        }
        // And every column: a migration would otherwise change a file that its first store refuses.
        for (std::size_t i = 0; i < ColumnsOf[static_cast<std::size_t>(version)]; ++i)
            Statement probe(db, Columns[i], doing, path); // a missing one fails as damaged
        // A drill's id must be its row id: otherwise a stored drill gets none and is never read.
        if (version > 0
            && pragmaInteger(db,
                   "SELECT sum(pk > 0) = 1 AND sum(name = 'id' AND pk = 1 AND upper(type) = 'INTEGER') = 1"
                   " FROM pragma_table_info('drill')",
                   doing, path)
                != 1)
            fail(HistoryError::Kind::NotHistory, doing, path);
        read.commit();
        if (version == SchemaVersion || readOnly)
            return; // a read-only empty file reads as no drills
    }

    try {
        // The write lock first, then the version again: another copy may have migrated meanwhile.
        Transaction write(db, "BEGIN IMMEDIATE", Doing::Writing, path);
        int64_t version = pragmaInteger(db, "PRAGMA user_version", Doing::Writing, path);
        if (version == 0
            && pragmaInteger(db, "SELECT count(*) FROM sqlite_schema", Doing::Writing, path) != 0)
            fail(HistoryError::Kind::NotHistory, Doing::Writing, path);
        checkVersion(version, Doing::Writing, path);
        // The migration reads every row of an older file anyway; a check of every page first keeps
        // it from rewriting a damaged file that a later read would refuse. The whole check, once
        // per file: the quick one passes a table whose rows are out of key order, which the
        // migration copies and the first drill's store then meets.
        if (version > 0 && version < SchemaVersion) {
            Statement check(db, "PRAGMA integrity_check(1)", Doing::Writing, path);
            if (!check.step() || check.text(0) != "ok")
                fail(HistoryError::Kind::NotHistory, Doing::Writing, path);
        }
        for (; version < SchemaVersion; ++version) {
            const int rc = sqlite3_exec(db, migrationStep(version).c_str(), nullptr, nullptr, nullptr);
            switch (rc & 0xff) {
            case SQLITE_OK:
                break;
            // What the step met in the file, not the disk: rows or tables no version of ours left.
            // Rolled back, the file stays as it was.
            case SQLITE_ERROR:
            case SQLITE_CONSTRAINT:
            case SQLITE_MISMATCH:
            case SQLITE_TOOBIG:
            case SQLITE_RANGE:
                fail(HistoryError::Kind::NotHistory, Doing::Writing, path);
            default:
                fail(db, rc, Doing::Writing, path);
            }
        }
        const std::string stamp = "PRAGMA application_id=" + std::to_string(ApplicationId)
            + "; PRAGMA user_version=" + std::to_string(SchemaVersion);
        exec(db, stamp.c_str(), Doing::Writing, path);
        write.commit();
    } catch (const HistoryError& error) {
        if (error.permanent() || error.kind() == HistoryError::Kind::Busy)
            throw;
        throw HistoryError(error.kind(), error.what(), true);
    }
}

void checkPlainTables(sqlite3* db, const std::string& path)
{
    Transaction read(db, "BEGIN DEFERRED", Doing::Reading, path);
    if (pragmaInteger(db,
            "SELECT count(*) FROM sqlite_schema WHERE type IN ('view', 'trigger')"
            " OR (type = 'table' AND upper(sql) LIKE 'CREATE VIRTUAL%')",
            Doing::Reading, path)
        != 0)
        fail(HistoryError::Kind::NotHistory, Doing::Reading, path);
    Statement hidden(
        db, "SELECT count(*) FROM pragma_table_xinfo(?) WHERE hidden <> 0", Doing::Reading, path);
    for (const char* table : Tables) {
        hidden.bind(1, std::string(table));
        if (!hidden.step() || hidden.integer(0) != 0)
            fail(HistoryError::Kind::NotHistory, Doing::Reading, path);
        hidden.reset();
    }
    read.commit();
}

} // namespace touchdrill::history
