// SPDX-License-Identifier: GPL-3.0-or-later
// The practice history database on SQLite's C API: opening, refusing, migrating, storing, reading.
#include "historydb.h"

#include "fileio/sysfile.h"
#include "keystats.h"
#include "settings/filenames.h"

#include <sqlite3.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <utility>

namespace touchdrill::history {

namespace {

// Marks a database as this program's history ("TDRH"), so that another program's SQLite file
// that happens to carry the name is never written to.
constexpr int ApplicationId = 0x54445248;

constexpr char SqliteMagic[] = "SQLite format 3"; // and a NUL: the first 16 bytes of every database

// Each step takes the schema from version i to i + 1; a new file runs them all. A later schema
// adds a step here and never changes an earlier one.
constexpr std::array<const char*, HistoryDb::SchemaVersion> MigrationSteps = {
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
    " SELECT code, count(*) FROM drill_key WHERE hits > 0 OR wrong > 0 GROUP BY code;"
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
    "  FROM drill_key WHERE hits > 0 OR wrong > 0)"
    " WHERE n > drills - 10;"
    "CREATE TABLE confusion ("
    " code INTEGER NOT NULL,"
    " typed INTEGER NOT NULL,"
    " count INTEGER NOT NULL,"
    " PRIMARY KEY (code, typed)) WITHOUT ROWID;"
    "INSERT INTO confusion (code, typed, count)"
    " SELECT w.code, w.typed, sum(w.count) FROM wrong_key w"
    " JOIN drill_key k ON k.drill_id = w.drill_id AND k.code = w.code"
    " WHERE k.hits > 0 OR k.wrong > 0 GROUP BY w.code, w.typed;",
};
static_assert(LatestDrills == 10, "key_latest keeps ten drills per character");

// The tables of the current schema in the order the steps make them; a file of version v must
// hold the first TablesOf[v] of them.
constexpr std::array<const char*, 6> Tables
    = { "drill", "drill_key", "wrong_key", "key_total", "key_latest", "confusion" };
constexpr std::array<std::size_t, HistoryDb::SchemaVersion + 1> TablesOf = { 0, 3, 6 };
static_assert(TablesOf.back() == Tables.size(), "the current schema has every table");
// Every column this program reads or writes, by table; a file of version v must have the first
// ColumnsOf[v]. Prepared only, they cost no read of the data.
constexpr std::array<const char*, 7> Columns = {
    "SELECT id, started_utc_ms, ended_utc_ms, rows FROM drill",
    "SELECT drill_id, code, hits, total_ms, wrong FROM drill_key",
    "SELECT drill_id, code, typed, count FROM wrong_key",
    "SELECT hits, total_ms, wrong FROM drill",
    "SELECT code, drills FROM key_total",
    "SELECT code, slot, drill_id, hits, total_ms, wrong FROM key_latest",
    "SELECT code, typed, count FROM confusion",
};
constexpr std::array<std::size_t, HistoryDb::SchemaVersion + 1> ColumnsOf = { 0, 3, 7 };
static_assert(ColumnsOf.back() == Columns.size(), "the current schema has every column");

// The largest figures this program stores: a character's hits, milliseconds, wrong keys and the
// count of one wrong key within a drill are 32-bit; a drill's totals add up at most every
// character's.
constexpr int64_t MaxCount = UINT32_MAX;
constexpr int64_t MaxDrillTotal = MaxCount * CodeCount;

enum class Doing { Reading, Writing };

HistoryError::Kind kindOf(sqlite3* db, int rc)
{
    using Kind = HistoryError::Kind;
    const int err = db ? sysfile::errnoFromSystem(sqlite3_system_errno(db)) : 0;
    switch (rc & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return Kind::Busy;
    case SQLITE_FULL:
        return Kind::DiskFull;
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
    case SQLITE_FORMAT:
        return Kind::NotHistory;
    case SQLITE_READONLY:
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return Kind::CannotWrite;
    case SQLITE_IOERR:
        if (err == ENOSPC || err == EDQUOT)
            return Kind::DiskFull;
        if (err == EACCES || err == EPERM || err == EROFS)
            return Kind::CannotWrite;
        return Kind::Other;
    default:
        return Kind::Other;
    }
}

std::string textOf(HistoryError::Kind kind, Doing doing, const std::string& path, int rc)
{
    using Kind = HistoryError::Kind;
    switch (kind) {
    case Kind::Busy:
        return doing == Doing::Writing ? path + " は別の touchdrill が使っています。この練習は記録されません"
                                       : path + " は別の touchdrill が使っています";
    case Kind::NotHistory:
        return path + " は練習の記録ではないか、壊れています。ファイルはそのままにし、記録を止めます";
    case Kind::NewerVersion:
        return path + " は新しい版の touchdrill の練習の記録です。ファイルはそのままにし、記録を止めます";
    case Kind::DiskFull:
        return "練習の記録を " + path + " に書き込めません（ディスクがいっぱいです）";
    case Kind::CannotWrite:
        return doing == Doing::Writing ? "練習の記録を " + path + " に書き込めません"
                                       : "練習の記録 " + path + " を読み込めません";
    case Kind::Other:
        break;
    }
    const std::string code = "（SQLite エラー " + std::to_string(rc) + "）";
    return doing == Doing::Writing ? "練習の記録を " + path + " に書き込めません" + code
                                   : "練習の記録 " + path + " を読み込めません" + code;
}

[[noreturn]] void fail(sqlite3* db, int rc, Doing doing, const std::string& path)
{
    const HistoryError::Kind kind = kindOf(db, rc);
    throw HistoryError(kind, textOf(kind, doing, path, rc));
}

[[noreturn]] void fail(HistoryError::Kind kind, Doing doing, const std::string& path)
{
    throw HistoryError(kind, textOf(kind, doing, path, 0));
}

// Versions this program has written: 0 (new) to the current one. A newer one is said as such; one
// below 0 is a damaged header, whose migration would start before the first step.
void checkVersion(int64_t version, Doing doing, const std::string& path)
{
    if (version > HistoryDb::SchemaVersion)
        fail(HistoryError::Kind::NewerVersion, doing, path);
    if (version < 0)
        fail(HistoryError::Kind::NotHistory, doing, path);
}

// A prepared statement that finalises itself.
class Statement {
public:
    Statement(sqlite3* db, const char* sql, Doing doing, const std::string& path)
        : m_db(db)
        , m_doing(doing)
        , m_path(path)
    {
        const int rc = sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr);
        // A table or column of the file's version missing: the file is damaged, not the disk.
        if ((rc & 0xff) == SQLITE_ERROR)
            fail(HistoryError::Kind::NotHistory, doing, path);
        if (rc != SQLITE_OK)
            fail(db, rc, doing, path);
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(int index, int64_t value)
    {
        check(sqlite3_bind_int64(m_stmt, index, value));
        return *this;
    }
    Statement& bind(int index, const std::string& value)
    {
        check(
            sqlite3_bind_text(m_stmt, index, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT));
        return *this;
    }
    // True while there is a row.
    bool step()
    {
        const int rc = sqlite3_step(m_stmt);
        if (rc == SQLITE_ROW)
            return true;
        if (rc == SQLITE_DONE)
            return false;
        fail(m_db, rc, m_doing, m_path);
    }
    void run()
    {
        while (step()) { }
        sqlite3_reset(m_stmt);
    }
    int64_t integer(int column) const { return sqlite3_column_int64(m_stmt, column); }
    // Whether the column holds an integer from `low` to `high` (not a text, real or null).
    bool integerIn(int column, int64_t low, int64_t high) const
    {
        if (sqlite3_column_type(m_stmt, column) != SQLITE_INTEGER)
            return false;
        const int64_t value = integer(column);
        return value >= low && value <= high;
    }
    // Whether the columns from `first` on hold hits, milliseconds and wrong keys as stored.
    bool countsIn(int first, int64_t high) const
    {
        return integerIn(first, 0, high) && integerIn(first + 1, 0, high) && integerIn(first + 2, 0, high);
    }
    std::string text(int column) const
    {
        const auto* bytes = sqlite3_column_text(m_stmt, column);
        return bytes ? std::string(reinterpret_cast<const char*>(bytes),
                   static_cast<std::size_t>(sqlite3_column_bytes(m_stmt, column)))
                     : std::string();
    }

private:
    void check(int rc)
    {
        if (rc != SQLITE_OK)
            fail(m_db, rc, m_doing, m_path);
    }

    sqlite3* m_db;
    sqlite3_stmt* m_stmt = nullptr;
    Doing m_doing;
    const std::string& m_path;
};

void exec(sqlite3* db, const char* sql, Doing doing, const std::string& path)
{
    const int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        fail(db, rc, doing, path);
}

int64_t pragmaInteger(sqlite3* db, const char* sql, Doing doing, const std::string& path)
{
    Statement query(db, sql, doing, path);
    return query.step() ? query.integer(0) : 0;
}

// A transaction that rolls back unless committed.
class Transaction {
public:
    Transaction(sqlite3* db, const char* begin, Doing doing, const std::string& path)
        : m_db(db)
        , m_doing(doing)
        , m_path(path)
    {
        exec(db, begin, doing, path);
    }
    ~Transaction()
    {
        if (!m_done)
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit()
    {
        exec(m_db, "COMMIT", m_doing, m_path);
        m_done = true;
    }

private:
    sqlite3* m_db;
    Doing m_doing;
    const std::string& m_path;
    bool m_done = false;
};

// A row of drill_id, hits, total_ms, wrong whose values are in range.
KeyDrill keyDrillOf(const Statement& row)
{
    return { row.integer(0), static_cast<uint32_t>(row.integer(1)), static_cast<uint32_t>(row.integer(2)),
        static_cast<uint32_t>(row.integer(3)) };
}

bool keyDrillValid(const Statement& row)
{
    return row.integerIn(0, 1, INT64_MAX) && row.countsIn(1, MaxCount);
}

// The digest worked out from every drill, for a file whose schema has none of the tables it
// comes from. The same rules as the tables follow: a character counts in a drill in which it was
// answered or a wrong key was typed for it.
HistoryDigest digestOf(const std::vector<DrillRecord>& drills)
{
    HistoryDigest digest;
    std::array<std::vector<KeyDrill>, CodeCount> perKey;
    std::array<std::array<uint64_t, 256>, CodeCount> typedInstead {};
    for (const DrillRecord& drill : drills) {
        for (const KeyRecord& key : drill.keys) {
            if (!isPracticeCode(key.code) || !countsAsKeyDrill(key))
                continue;
            const std::size_t index = key.code - FirstCode;
            perKey[index].push_back({ drill.id, key.hits, key.totalMs, key.wrong });
            for (const auto& [typed, count] : key.wrongKeys)
                typedInstead[index][typed] += count;
        }
        digest.drills.push_back(drillTotalsOf(drill));
    }
    for (std::size_t index = 0; index < perKey.size(); ++index) {
        const std::vector<KeyDrill>& all = perKey[index];
        if (all.empty())
            continue;
        const auto code = static_cast<unsigned char>(FirstCode + index);
        const std::size_t from = all.size() > LatestDrills ? all.size() - LatestDrills : 0;
        digest.keys.push_back({ code, static_cast<uint32_t>(all.size()),
            std::vector<KeyDrill>(all.begin() + static_cast<std::ptrdiff_t>(from), all.end()) });
        for (int typed = 0; typed < 256; ++typed)
            if (typedInstead[index][static_cast<std::size_t>(typed)] > 0)
                digest.confusions.push_back({ code, static_cast<unsigned char>(typed),
                    typedInstead[index][static_cast<std::size_t>(typed)] });
    }
    return digest;
}

// What lies at the path before SQLite is let near it.
enum class Found { Nothing, EmptyFile, Database };

Found inspect(const std::string& path, Doing doing)
{
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

struct Closer {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};

} // namespace

HistoryError::HistoryError(Kind kind, const std::string& text, bool migrating)
    : std::runtime_error(text)
    , m_kind(kind)
    , m_migrating(migrating)
{
}

std::unique_ptr<HistoryDb> HistoryDb::open(const std::string& path, bool create)
{
    const Found found = inspect(path, Doing::Writing);
    if (found == Found::Nothing && !create)
        return nullptr;
    // An existing file is opened without the create flag, so a file that vanishes meanwhile is
    // not made anew behind the caller's back.
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_EXRESCODE
        | (found == Found::Nothing ? SQLITE_OPEN_CREATE : 0);
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(path.c_str(), &raw, flags, nullptr);
    std::unique_ptr<sqlite3, Closer> db(raw);
    if (rc != SQLITE_OK)
        fail(raw, rc, Doing::Writing, path);
    if (sqlite3_db_readonly(raw, "main") == 1)
        fail(HistoryError::Kind::CannotWrite, Doing::Writing, path);
    sqlite3_busy_timeout(raw, BusyTimeoutMs);
    exec(raw, "PRAGMA cell_size_check=ON", Doing::Writing, path); // damaged pages are found as they are read
    // A rollback journal: the history stays one file beside the executable between drills (the
    // journal exists only during a commit), a killed commit is rolled back at the next open, and
    // the file can be read from read-only media. synchronous=FULL makes a commit durable once
    // it returns, so a drill acknowledged on screen survives a power cut.
    exec(raw, "PRAGMA journal_mode=DELETE; PRAGMA synchronous=FULL", Doing::Writing, path);

    std::unique_ptr<HistoryDb> history(new HistoryDb(path, db.release(), false));
    try {
        history->migrate();
    } catch (const HistoryError& error) {
        // A file this call made and could not fill (a full disk): no empty file stays behind. Not
        // when another copy holds it: that copy may be making it this moment.
        history.reset();
        struct stat info { };
        if (found == Found::Nothing && error.kind() != HistoryError::Kind::Busy
            && sysfile::stat(path, info) == 0 && S_ISREG(info.st_mode) && info.st_size == 0)
            sysfile::unlink(path);
        throw;
    }
    return history;
}

std::unique_ptr<HistoryDb> HistoryDb::openReadOnly(const std::string& path)
{
    if (inspect(path, Doing::Reading) == Found::Nothing)
        return nullptr;
    // A journal left by a commit that was cut short must be rolled back before anything can be
    // read, which takes write access; that is recovery, not a change, and nothing else is written.
    const std::string journal = path + "-journal";
    const bool recover = sysfile::access(journal, F_OK) == 0 && sysfile::access(path, W_OK) == 0;
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(path.c_str(), &raw,
        (recover ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY) | SQLITE_OPEN_NOMUTEX
            | SQLITE_OPEN_EXRESCODE,
        nullptr);
    std::unique_ptr<sqlite3, Closer> db(raw);
    if (rc != SQLITE_OK)
        fail(raw, rc, Doing::Reading, path);
    sqlite3_busy_timeout(raw, BusyTimeoutMs);
    exec(raw, "PRAGMA cell_size_check=ON", Doing::Reading, path);
    std::unique_ptr<HistoryDb> history(new HistoryDb(path, db.release(), true));
    history->migrate();
    return history;
}

HistoryDb::HistoryDb(std::string path, sqlite3* db, bool readOnly)
    : m_path(std::move(path))
    , m_db(db)
    , m_readOnly(readOnly)
{
}

HistoryDb::~HistoryDb()
{
    sqlite3_close_v2(m_db);
}

// Checks that the file is ours and whole, then brings its schema up to date (read-only: only
// checks). A version 0 file is new only when it holds nothing at all.
void HistoryDb::migrate()
{
    const Doing doing = m_readOnly ? Doing::Reading : Doing::Writing;
    {
        // Reading the header and a quick check under one read lock: a file that is not a database
        // fails here, before anything could be written.
        Transaction read(m_db, "BEGIN DEFERRED", doing, m_path);
        const int64_t version = pragmaInteger(m_db, "PRAGMA user_version", doing, m_path);
        const int64_t id = pragmaInteger(m_db, "PRAGMA application_id", doing, m_path);
        const int64_t objects = pragmaInteger(m_db, "SELECT count(*) FROM sqlite_schema", doing, m_path);
        checkVersion(version, doing, m_path);
        if ((version == 0 && objects != 0) || (version != 0 && id != ApplicationId))
            fail(HistoryError::Kind::NotHistory, doing, m_path);
        // A whole check reads every page: 150 ms at 10,000 drills, too long for a drill's end. The
        // file's length must match its pages (a cut copy fails here); a damaged page elsewhere is
        // found when a write or a read reaches it, and the file is refused then.
        const int64_t pages = pragmaInteger(m_db, "PRAGMA page_count", doing, m_path);
        const int64_t pageSize = pragmaInteger(m_db, "PRAGMA page_size", doing, m_path);
        struct stat info { };
        if (sysfile::stat(m_path, info) != 0 || info.st_size != pages * pageSize)
            fail(HistoryError::Kind::NotHistory, doing, m_path);
        // Every table of the file's version: one missing would fail every drill with a bare error.
        const std::size_t tables = TablesOf[static_cast<std::size_t>(version)];
        if (tables > 0) {
            std::string names;
            for (std::size_t i = 0; i < tables; ++i)
                names += std::string(names.empty() ? "'" : ", '") + Tables[i] + "'";
            const std::string sql
                = "SELECT count(*) FROM sqlite_schema WHERE type = 'table' AND name IN (" + names + ")";
            if (pragmaInteger(m_db, sql.c_str(), doing, m_path) != static_cast<int64_t>(tables))
                fail(HistoryError::Kind::NotHistory, doing, m_path);
        }
        // And every column: a migration would otherwise change a file that its first store refuses.
        for (std::size_t i = 0; i < ColumnsOf[static_cast<std::size_t>(version)]; ++i)
            Statement probe(m_db, Columns[i], doing, m_path); // a missing one fails as damaged
        // A drill's id must be its row id: otherwise a stored drill gets none and is never read.
        if (version > 0
            && pragmaInteger(m_db,
                   "SELECT sum(pk > 0) = 1 AND sum(name = 'id' AND pk = 1 AND upper(type) = 'INTEGER') = 1"
                   " FROM pragma_table_info('drill')",
                   doing, m_path)
                != 1)
            fail(HistoryError::Kind::NotHistory, doing, m_path);
        read.commit();
        if (version == SchemaVersion || m_readOnly)
            return; // a read-only empty file reads as no drills
    }

    try {
        // The write lock first, then the version again: another copy may have migrated meanwhile.
        Transaction write(m_db, "BEGIN IMMEDIATE", Doing::Writing, m_path);
        int64_t version = pragmaInteger(m_db, "PRAGMA user_version", Doing::Writing, m_path);
        if (version == 0
            && pragmaInteger(m_db, "SELECT count(*) FROM sqlite_schema", Doing::Writing, m_path) != 0)
            fail(HistoryError::Kind::NotHistory, Doing::Writing, m_path);
        checkVersion(version, Doing::Writing, m_path);
        // The migration reads every row of an older file anyway; a check of every page first keeps
        // it from rewriting a damaged file that a later read would refuse.
        if (version > 0 && version < SchemaVersion) {
            Statement check(m_db, "PRAGMA quick_check", Doing::Writing, m_path);
            if (!check.step() || check.text(0) != "ok")
                fail(HistoryError::Kind::NotHistory, Doing::Writing, m_path);
        }
        for (; version < SchemaVersion; ++version) {
            const int rc = sqlite3_exec(
                m_db, MigrationSteps[static_cast<std::size_t>(version)], nullptr, nullptr, nullptr);
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
                fail(HistoryError::Kind::NotHistory, Doing::Writing, m_path);
            default:
                fail(m_db, rc, Doing::Writing, m_path);
            }
        }
        const std::string stamp = "PRAGMA application_id=" + std::to_string(ApplicationId)
            + "; PRAGMA user_version=" + std::to_string(SchemaVersion);
        exec(m_db, stamp.c_str(), Doing::Writing, m_path);
        write.commit();
    } catch (const HistoryError& error) {
        if (error.permanent() || error.kind() == HistoryError::Kind::Busy)
            throw;
        throw HistoryError(error.kind(), error.what(), true);
    }
}

template <typename Work> auto HistoryDb::refusing(Work&& work) const
{
    try {
        return work();
    } catch (const HistoryError& error) {
        if (error.permanent())
            m_refusal = std::make_shared<HistoryError>(error);
        throw;
    }
}

void HistoryDb::record(DrillRecord& drill)
{
    if (m_refusal)
        throw *m_refusal;
    if (m_readOnly)
        fail(HistoryError::Kind::CannotWrite, Doing::Writing, m_path);
    refusing([&] { store(drill); });
}

void HistoryDb::store(DrillRecord& drill)
{
    // The drill's totals are over all its characters, as its point in the chart adds them up.
    uint64_t hits = 0;
    uint64_t totalMs = 0;
    uint64_t wrong = 0;
    for (const KeyRecord& key : drill.keys) {
        hits += key.hits;
        totalMs += key.totalMs;
        wrong += key.wrong;
    }
    Transaction transaction(m_db, "BEGIN IMMEDIATE", Doing::Writing, m_path);
    Statement insertDrill(m_db,
        "INSERT INTO drill (started_utc_ms, ended_utc_ms, rows, hits, total_ms, wrong) VALUES (?, ?, ?, ?, "
        "?, ?)",
        Doing::Writing, m_path);
    insertDrill.bind(1, drill.startedUtcMs)
        .bind(2, drill.endedUtcMs)
        .bind(3, drill.rows)
        .bind(4, static_cast<int64_t>(hits))
        .bind(5, static_cast<int64_t>(totalMs))
        .bind(6, static_cast<int64_t>(wrong))
        .run();
    const int64_t id = sqlite3_last_insert_rowid(m_db);

    Statement insertKey(m_db,
        "INSERT INTO drill_key (drill_id, code, hits, total_ms, wrong) VALUES (?, ?, ?, ?, ?)",
        Doing::Writing, m_path);
    Statement insertWrong(m_db, "INSERT INTO wrong_key (drill_id, code, typed, count) VALUES (?, ?, ?, ?)",
        Doing::Writing, m_path);
    Statement countKey(m_db,
        "INSERT INTO key_total (code, drills) VALUES (?, 1) ON CONFLICT (code) DO UPDATE SET drills = drills "
        "+ 1",
        Doing::Writing, m_path);
    // Into the slot of the drill's number among the character's drills, just counted.
    Statement keepLatest(m_db,
        "INSERT OR REPLACE INTO key_latest (code, slot, drill_id, hits, total_ms, wrong)"
        " SELECT ?1, (drills - 1) % 10, ?2, ?3, ?4, ?5 FROM key_total WHERE code = ?1",
        Doing::Writing, m_path);
    Statement addConfusion(m_db,
        "INSERT INTO confusion (code, typed, count) VALUES (?, ?, ?)"
        " ON CONFLICT (code, typed) DO UPDATE SET count = count + excluded.count",
        Doing::Writing, m_path);
    for (const KeyRecord& key : drill.keys) {
        insertKey.bind(1, id)
            .bind(2, key.code)
            .bind(3, key.hits)
            .bind(4, key.totalMs)
            .bind(5, key.wrong)
            .run();
        for (const auto& [typed, count] : key.wrongKeys)
            insertWrong.bind(1, id).bind(2, key.code).bind(3, typed).bind(4, count).run();
        if (!countsAsKeyDrill(key))
            continue;
        countKey.bind(1, key.code).run();
        keepLatest.bind(1, key.code)
            .bind(2, id)
            .bind(3, key.hits)
            .bind(4, key.totalMs)
            .bind(5, key.wrong)
            .run();
        for (const auto& [typed, count] : key.wrongKeys)
            addConfusion.bind(1, key.code).bind(2, typed).bind(3, count).run();
    }
    transaction.commit();
    drill.id = id;
}

std::vector<DrillRecord> HistoryDb::drills(std::size_t* skipped) const
{
    return drillsSince(0, SIZE_MAX, skipped);
}

std::vector<DrillRecord> HistoryDb::drillsSince(int64_t id, std::size_t atMost, std::size_t* skipped) const
{
    std::size_t left = 0;
    std::vector<DrillRecord> result = refusing([&] { return readSince(id, atMost, left); });
    if (skipped)
        *skipped += left;
    return result;
}

std::vector<DrillRecord> HistoryDb::readSince(int64_t id, std::size_t atMost, std::size_t& skipped) const
{
    if (atMost == 0)
        return {};
    Transaction read(m_db, "BEGIN DEFERRED", Doing::Reading, m_path);
    if (pragmaInteger(m_db, "PRAGMA user_version", Doing::Reading, m_path) == 0)
        return {}; // an empty file opened read-only
    int64_t upToId = INT64_MAX;
    if (atMost < static_cast<std::size_t>(INT64_MAX)) {
        Statement last(
            m_db, "SELECT id FROM drill WHERE id > ? ORDER BY id LIMIT 1 OFFSET ?", Doing::Reading, m_path);
        last.bind(1, id).bind(2, static_cast<int64_t>(atMost - 1));
        if (last.step())
            upToId = last.integer(0);
    }
    std::vector<DrillRecord> result = readSinceWithin(id, upToId, skipped);
    read.commit();
    return result;
}

std::vector<DrillRecord> HistoryDb::readSinceWithin(int64_t id, int64_t upToId, std::size_t& skipped) const
{
    std::vector<DrillRecord> result;
    const Doing doing = Doing::Reading;
    // Read whole, the rows of ids this program never gives (below 1) are read too, to be counted.
    const bool whole = id <= 0;
    const auto bindRange = [&](Statement& query) {
        if (whole)
            query.bind(1, upToId);
        else
            query.bind(1, id).bind(2, upToId);
    };
    {
        Statement query(m_db,
            whole ? "SELECT id, started_utc_ms, ended_utc_ms, rows FROM drill WHERE id <= ? ORDER BY id"
                  : "SELECT id, started_utc_ms, ended_utc_ms, rows FROM drill WHERE id > ? AND id <= ?"
                    " ORDER BY id",
            doing, m_path);
        bindRange(query);
        while (query.step()) {
            // A damaged tree can hand rows out of order; every walk below relies on the order.
            if (!query.integerIn(0, 1, INT64_MAX) || !query.integerIn(1, INT64_MIN, INT64_MAX)
                || !query.integerIn(2, INT64_MIN, INT64_MAX)
                || (!result.empty() && query.integer(0) <= result.back().id)) {
                ++skipped;
                continue;
            }
            DrillRecord drill;
            drill.id = query.integer(0);
            drill.startedUtcMs = query.integer(1);
            drill.endedUtcMs = query.integer(2);
            drill.rows = query.text(3);
            result.push_back(std::move(drill));
        }
    }
    // Both lists come sorted by drill and code, so one walk along the drills matches them up.
    {
        Statement query(m_db,
            whole ? "SELECT drill_id, code, hits, total_ms, wrong FROM drill_key WHERE drill_id <= ?"
                    " ORDER BY drill_id, code"
                  : "SELECT drill_id, code, hits, total_ms, wrong FROM drill_key WHERE drill_id > ?"
                    " AND drill_id <= ? ORDER BY drill_id, code",
            doing, m_path);
        bindRange(query);
        auto drill = result.begin();
        while (query.step()) {
            // A code outside the characters would fold into another one as a byte.
            if (!query.integerIn(0, 1, INT64_MAX) || !query.integerIn(1, FirstCode, LastCode)
                || !query.countsIn(2, MaxCount)) {
                ++skipped;
                continue;
            }
            const int64_t owner = query.integer(0);
            while (drill != result.end() && drill->id < owner)
                ++drill;
            if (drill == result.end() || drill->id != owner
                || (!drill->keys.empty() && drill->keys.back().code >= query.integer(1))) {
                ++skipped; // a key whose drill is gone or left out, or out of order
                continue;
            }
            KeyRecord key;
            key.code = static_cast<unsigned char>(query.integer(1));
            key.hits = static_cast<uint32_t>(query.integer(2));
            key.totalMs = static_cast<uint32_t>(query.integer(3));
            key.wrong = static_cast<uint32_t>(query.integer(4));
            drill->keys.push_back(std::move(key));
        }
    }
    {
        Statement query(m_db,
            whole ? "SELECT drill_id, code, typed, count FROM wrong_key WHERE drill_id <= ?"
                    " ORDER BY drill_id, code, typed"
                  : "SELECT drill_id, code, typed, count FROM wrong_key WHERE drill_id > ?"
                    " AND drill_id <= ? ORDER BY drill_id, code, typed",
            doing, m_path);
        bindRange(query);
        auto drill = result.begin();
        std::size_t keyIndex = 0;
        while (query.step()) {
            if (!query.integerIn(0, 1, INT64_MAX) || !query.integerIn(1, FirstCode, LastCode)
                || !query.integerIn(2, 0, 255) || !query.integerIn(3, 1, MaxCount)) {
                ++skipped;
                continue;
            }
            const int64_t owner = query.integer(0);
            while (drill != result.end() && drill->id < owner) {
                ++drill;
                keyIndex = 0;
            }
            if (drill == result.end() || drill->id != owner) {
                ++skipped;
                continue;
            }
            const auto code = static_cast<unsigned char>(query.integer(1));
            while (keyIndex < drill->keys.size() && drill->keys[keyIndex].code < code)
                ++keyIndex;
            if (keyIndex == drill->keys.size() || drill->keys[keyIndex].code != code) {
                ++skipped; // a wrong key without its character's row
                continue;
            }
            const auto typed = static_cast<unsigned char>(query.integer(2));
            if (!drill->keys[keyIndex]
                     .wrongKeys.emplace(typed, static_cast<uint32_t>(query.integer(3)))
                     .second)
                ++skipped; // the same wrong key twice: a damaged tree
        }
    }
    return result;
}

HistoryDigest HistoryDb::digest() const
{
    return refusing([&] { return readDigest(); });
}

HistoryDigest HistoryDb::readDigest() const
{
    const Doing doing = Doing::Reading;
    Transaction read(m_db, "BEGIN DEFERRED", doing, m_path);
    const int64_t version = pragmaInteger(m_db, "PRAGMA user_version", doing, m_path);
    if (version == 0)
        return {}; // an empty file opened read-only
    if (version < SchemaVersion) {
        std::size_t skipped = 0;
        HistoryDigest digest
            = digestOf(readSinceWithin(0, INT64_MAX, skipped)); // an older file opened read-only
        digest.skipped = skipped;
        read.commit();
        return digest;
    }
    HistoryDigest digest;
    int64_t rows = 0; // every drill row, left out or not: no character counts more drills
    {
        Statement query(m_db, "SELECT id, started_utc_ms, hits, total_ms, wrong, rows FROM drill ORDER BY id",
            doing, m_path);
        while (query.step()) {
            ++rows;
            if (!query.integerIn(0, 1, INT64_MAX) || !query.integerIn(1, INT64_MIN, INT64_MAX)
                || !query.countsIn(2, MaxDrillTotal)
                || (!digest.drills.empty() && query.integer(0) <= digest.drills.back().id)) {
                ++digest.skipped;
                continue;
            }
            digest.drills.push_back({ query.integer(0), query.integer(1),
                static_cast<uint64_t>(query.integer(2)), static_cast<uint64_t>(query.integer(3)),
                static_cast<uint64_t>(query.integer(4)), query.text(5) });
        }
    }
    {
        Statement keys(m_db, "SELECT code, drills FROM key_total ORDER BY code", doing, m_path);
        while (keys.step()) {
            if (!keys.integerIn(0, FirstCode, LastCode) || !keys.integerIn(1, 1, std::min(rows, MaxCount))
                || (!digest.keys.empty() && keys.integer(0) <= digest.keys.back().code)) {
                ++digest.skipped;
                continue;
            }
            digest.keys.push_back(
                { static_cast<unsigned char>(keys.integer(0)), static_cast<uint32_t>(keys.integer(1)), {} });
        }
        Statement latest(m_db,
            "SELECT code, drill_id, hits, total_ms, wrong FROM key_latest ORDER BY code, drill_id", doing,
            m_path);
        auto key = digest.keys.begin();
        while (latest.step()) {
            if (!latest.integerIn(0, FirstCode, LastCode) || !latest.integerIn(1, 1, INT64_MAX)
                || !latest.countsIn(2, MaxCount)) {
                ++digest.skipped;
                continue;
            }
            const auto code = static_cast<unsigned char>(latest.integer(0));
            while (key != digest.keys.end() && key->code < code)
                ++key;
            if (key == digest.keys.end() || key->code != code
                || (!key->latest.empty() && key->latest.back().drillId >= latest.integer(1))) {
                ++digest.skipped; // a character whose count is left out or missing; out of order
                continue;
            }
            key->latest.push_back({ latest.integer(1), static_cast<uint32_t>(latest.integer(2)),
                static_cast<uint32_t>(latest.integer(3)), static_cast<uint32_t>(latest.integer(4)) });
        }
    }
    {
        // Over the whole history a wrong key comes at most 2^32-1 times per drill.
        const int64_t most = rows > INT64_MAX / MaxCount ? INT64_MAX : rows * MaxCount;
        Statement query(m_db, "SELECT code, typed, count FROM confusion ORDER BY code, typed", doing, m_path);
        while (query.step()) {
            const bool inOrder = digest.confusions.empty()
                || std::pair<int64_t, int64_t>(digest.confusions.back().code, digest.confusions.back().typed)
                    < std::pair<int64_t, int64_t>(query.integer(0), query.integer(1));
            if (!query.integerIn(0, FirstCode, LastCode) || !query.integerIn(1, 0, 255)
                || !query.integerIn(2, 1, most) || !inOrder) {
                ++digest.skipped;
                continue;
            }
            digest.confusions.push_back({ static_cast<unsigned char>(query.integer(0)),
                static_cast<unsigned char>(query.integer(1)), static_cast<uint64_t>(query.integer(2)) });
        }
    }
    read.commit();
    return digest;
}

std::vector<KeyDrill> HistoryDb::keyDrills(unsigned char code, int64_t upToId, std::size_t* skipped) const
{
    std::size_t left = 0;
    std::vector<KeyDrill> result = refusing([&] { return readKeyDrills(code, upToId, left); });
    if (skipped)
        *skipped += left;
    return result;
}

std::vector<KeyDrill> HistoryDb::readKeyDrills(unsigned char code, int64_t upToId, std::size_t& skipped) const
{
    const Doing doing = Doing::Reading;
    Transaction read(m_db, "BEGIN DEFERRED", doing, m_path);
    const int64_t version = pragmaInteger(m_db, "PRAGMA user_version", doing, m_path);
    std::vector<KeyDrill> result;
    if (version == 0)
        return result;
    if (version < SchemaVersion) { // an older file opened read-only: no index to go by
        for (const DrillRecord& drill : readSinceWithin(0, INT64_MAX, skipped)) {
            if (drill.id > upToId)
                break;
            for (const KeyRecord& key : drill.keys)
                if (key.code == code && (key.hits > 0 || key.wrong > 0))
                    result.push_back({ drill.id, key.hits, key.totalMs, key.wrong });
        }
    } else {
        // Along the whole table in drill order: no index by character (see the schema).
        Statement query(m_db,
            "SELECT drill_id, hits, total_ms, wrong FROM drill_key"
            " WHERE drill_id <= ? AND code = ? AND (hits > 0 OR wrong > 0) ORDER BY drill_id",
            doing, m_path);
        query.bind(1, upToId).bind(2, code);
        while (query.step()) {
            if (keyDrillValid(query) && (result.empty() || result.back().drillId < query.integer(0)))
                result.push_back(keyDrillOf(query));
            else
                ++skipped;
        }
    }
    read.commit();
    return result;
}

int64_t HistoryDb::drillCount() const
{
    return refusing([&] { return countDrills(); });
}

int64_t HistoryDb::countDrills() const
{
    Transaction read(m_db, "BEGIN DEFERRED", Doing::Reading, m_path);
    if (pragmaInteger(m_db, "PRAGMA user_version", Doing::Reading, m_path) == 0)
        return 0;
    const int64_t count = pragmaInteger(m_db, "SELECT count(*) FROM drill", Doing::Reading, m_path);
    read.commit();
    return count;
}

std::string historyPathFor(const std::string& exePath)
{
    return siblingPath(exePath, ".sqlite");
}

} // namespace touchdrill::history
