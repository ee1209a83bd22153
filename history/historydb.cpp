// SPDX-License-Identifier: GPL-3.0-or-later
// The practice history database: opening, refusing, storing, reading.
#include "history/historydb.h"

#include "fileio/sysfile.h"

#include "drill/keystats.h"
#include "figures/answerstats.h"
#include "history/historyschema.h"
#include "history/importcheck.h"
#include "history/sqlitestatement.h"

#include <sqlite3.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <set>
#include <unordered_map>
#include <utility>

namespace touchdrill::history {

namespace {

// The hits, total_ms and wrong columns from `first` on, whose values are in range (countsIn()).
template <typename Counts> Counts countsAt(const Statement& row, int first)
{
    using Count = decltype(Counts::hits);
    return { static_cast<Count>(row.integer(first)), static_cast<Count>(row.integer(first + 1)),
        static_cast<Count>(row.integer(first + 2)) };
}

// A row of drill_id, hits, total_ms, wrong whose values are in range.
KeyDrill keyDrillOf(const Statement& row)
{
    return { countsAt<KeyCounts>(row, 1), row.integer(0), std::nullopt };
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
            if (!key.isKeyDrill())
                continue;
            const std::size_t index = key.code - FirstCode;
            perKey[index].push_back({ key, drill.id, std::nullopt });
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

// Whether a drill's answers add up to its characters' counts as stored: a blob that reads but
// belongs to another drill, or a drill whose rows were damaged, is not shown as its answers.
bool answersMatch(const std::vector<Answer>& answers, const std::vector<KeyRecord>& keys)
{
    std::array<KeyCounts, CodeCount> sums {};
    for (const Answer& answer : answers) {
        KeyCounts& sum = sums[answer.target - FirstCode];
        if (answer.answered) {
            ++sum.hits;
            sum.totalMs += answer.ms;
        }
        sum.wrong += static_cast<uint32_t>(answer.wrongKeys.size());
    }
    std::size_t matched = 0;
    for (const KeyRecord& key : keys) {
        if (!(sums[key.code - FirstCode] == static_cast<const KeyCounts&>(key)))
            return false;
        matched += key.countsAsDrill();
    }
    // And no answer of a character that has no row.
    return matched
        == static_cast<std::size_t>(std::count_if(
            sums.begin(), sums.end(), [](const KeyCounts& sum) { return sum.countsAsDrill(); }));
}

// A character's right-key times in a drill, when they add up to its counts there.
std::optional<std::vector<uint32_t>> answerMsOf(const Statement& row, int column, const KeyCounts& counts)
{
    if (!row.isBlob(column))
        return std::nullopt;
    try {
        std::vector<uint32_t> times = decodeTimes(row.blob(column));
        uint32_t total = 0;
        for (uint32_t ms : times)
            total += ms;
        if (times.size() != counts.hits || total != counts.totalMs)
            return std::nullopt;
        return times;
    } catch (const AnswerBlobError&) {
        return std::nullopt;
    }
}

struct Closer {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};

// The name SQLite is handed for a path: a relative "file:..." would be taken as a URI where the
// library reads URIs, and name another file than the one meant.
std::string plainName(const std::string& path)
{
    return path.starts_with("file:") ? "./" + path : path;
}

// The longest path SQLite opens: a longer one fails as if the file could not be made. Its journal's
// name is longer still, hence the margin below.
#ifdef _WIN32
constexpr std::size_t LongestPath = 259;
#else
constexpr std::size_t LongestPath = 511;
#endif

// Throws the failure of sqlite3_open_v2(), saying so where the path was too long for SQLite.
[[noreturn]] void failToOpen(sqlite3* db, int rc, Doing doing, const std::string& path)
{
    std::error_code ignored;
    if ((rc & 0xff) == SQLITE_CANTOPEN
        && std::filesystem::absolute(path, ignored).string().size() + 16 > LongestPath)
        throw HistoryError(HistoryError::Kind::CannotWrite,
            errorText(HistoryError::Kind::CannotWrite, doing, path)
                + "（パスが長すぎます。短いパスのフォルダーに置いてください）");
    fail(db, rc, doing, path);
}

// A file: URI of an absolute or relative path, every byte but the unreserved ones escaped.
std::string uriOf(const std::string& path)
{
    static constexpr char Hex[] = "0123456789ABCDEF";
    std::string uri = "file:";
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~')
            uri += c;
        else
            uri += { '%', Hex[byte >> 4], Hex[byte & 15] };
    }
    return uri;
}

} // namespace

std::unique_ptr<HistoryDb> HistoryDb::open(const std::string& path, bool create)
{
    const Found found = inspect(path, true);
    if (found == Found::Nothing && !create)
        return nullptr;
    // An existing file is opened without the create flag, so a file that vanishes meanwhile is
    // not made anew behind the caller's back.
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_EXRESCODE
        | (found == Found::Nothing ? SQLITE_OPEN_CREATE : 0);
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(plainName(path).c_str(), &raw, flags, nullptr);
    std::unique_ptr<sqlite3, Closer> db(raw);
    if (rc != SQLITE_OK)
        failToOpen(raw, rc, Doing::Writing, path);
    if (sqlite3_db_readonly(raw, "main") == 1)
        fail(HistoryError::Kind::CannotWrite, Doing::Writing, path);
    sqlite3_busy_timeout(raw, BusyTimeoutMs);
    exec(raw, "PRAGMA cell_size_check=ON", Doing::Writing, path); // damaged pages are found as they are read
    // synchronous=FULL makes a commit durable once it returns, so a drill acknowledged on screen
    // survives a power cut.
    exec(raw, "PRAGMA synchronous=FULL", Doing::Writing, path);

    std::unique_ptr<HistoryDb> history(new HistoryDb(path, db.release(), false));
    try {
        migrate(history->m_db, history->m_path, history->m_readOnly);
        // A rollback journal: the history stays one file beside the executable between drills
        // (the journal exists only during a commit), a killed commit is rolled back at the next
        // open, and the file can be read from read-only media. Set once the file is known to be a
        // history, since leaving write-ahead logging rewrites the header of a file we refuse.
        exec(history->m_db, "PRAGMA journal_mode=DELETE", Doing::Writing, path);
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
    if (inspect(path, false) == Found::Nothing)
        return nullptr;
    // A journal left by a commit that was cut short must be rolled back before anything can be
    // read, which takes write access; that is recovery, not a change, and nothing else is written.
    const std::string journal = path + "-journal";
    const bool recover = sysfile::access(journal, F_OK) == 0 && sysfile::access(path, W_OK) == 0;
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(plainName(path).c_str(), &raw,
        (recover ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY) | SQLITE_OPEN_NOMUTEX
            | SQLITE_OPEN_EXRESCODE,
        nullptr);
    std::unique_ptr<sqlite3, Closer> db(raw);
    if (rc != SQLITE_OK)
        failToOpen(raw, rc, Doing::Reading, path);
    sqlite3_busy_timeout(raw, BusyTimeoutMs);
    exec(raw, "PRAGMA cell_size_check=ON", Doing::Reading, path);
    std::unique_ptr<HistoryDb> history(new HistoryDb(path, db.release(), true));
    migrate(history->m_db, history->m_path, history->m_readOnly);
    return history;
}

std::unique_ptr<HistoryDb> HistoryDb::openToImport(const std::string& path)
{
    std::unique_ptr<HistoryDb> history;
    if (sysfile::access(path + "-journal", F_OK) == 0 || sysfile::access(path + "-wal", F_OK) == 0) {
        // A commit of another copy cut short or under way, which only the usual read-only open
        // rolls back or waits for.
        history = openReadOnly(path);
    } else if (inspect(path, false) != Found::Nothing) {
        // Immutable: no lock is taken, so a copy of the program that records into that file goes
        // on meanwhile, and no -wal or -shm file is made beside it. A torn read of its pages is
        // refused as a damaged file by the reads' checks.
        sqlite3* raw = nullptr;
        const int rc = sqlite3_open_v2((uriOf(path) + "?mode=ro&immutable=1").c_str(), &raw,
            SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_EXRESCODE, nullptr);
        std::unique_ptr<sqlite3, Closer> db(raw);
        if (rc != SQLITE_OK)
            failToOpen(raw, rc, Doing::Reading, path);
        exec(raw, "PRAGMA cell_size_check=ON", Doing::Reading, path);
        history.reset(new HistoryDb(path, db.release(), true));
        migrate(history->m_db, history->m_path, true);
    }
    if (history) {
        // No text or blob is read whole beyond what an answers blob may be (those are measured
        // first, without reading them).
        sqlite3_limit(history->m_db, SQLITE_LIMIT_LENGTH, static_cast<int>(2 * MaxAnswerBlobBytes));
        checkPlainTables(history->m_db, path);
    }
    return history;
}

HistoryDb::HistoryDb(std::string path, sqlite3* db, bool readOnly)
    : m_path(std::move(path))
    , m_db(db)
    , m_readOnly(readOnly)
{
}

void HistoryDb::setBusyTimeout(int ms)
{
    sqlite3_busy_timeout(m_db, ms);
}

HistoryDb::~HistoryDb()
{
    sqlite3_close_v2(m_db);
}

void HistoryDb::record(DrillRecord& drill)
{
    recordAll(std::span(&drill, 1));
}

void HistoryDb::recordAll(std::span<DrillRecord> drills)
{
    m_refusal.check();
    if (m_readOnly)
        fail(HistoryError::Kind::CannotWrite, Doing::Writing, m_path);
    m_refusal.watch([&] { store(drills); });
}

void HistoryDb::store(std::span<DrillRecord> drills)
{
    // Encoded before anything is written: answers no drill gives are refused here.
    std::vector<std::vector<uint8_t>> blobs;
    blobs.reserve(drills.size());
    for (const DrillRecord& drill : drills)
        blobs.push_back(drill.answers ? encodeAnswers(*drill.answers) : std::vector<uint8_t>());
    Transaction transaction(m_db, "BEGIN IMMEDIATE", Doing::Writing, m_path);
    Statement insertDrill(m_db,
        "INSERT INTO drill (started_utc_ms, ended_utc_ms, rows, hits, total_ms, wrong, pool_size)"
        " VALUES (?, ?, ?, ?, ?, ?, ?)",
        Doing::Writing, m_path);
    Statement insertAnswers(
        m_db, "INSERT INTO drill_answers (drill_id, answers) VALUES (?, ?)", Doing::Writing, m_path);
    Statement insertKey(m_db,
        "INSERT INTO drill_key (drill_id, code, hits, total_ms, wrong, answer_ms) VALUES (?, ?, ?, ?, ?, ?)",
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
    std::vector<int64_t> ids;
    ids.reserve(drills.size());
    for (std::size_t i = 0; i < drills.size(); ++i) {
        const DrillRecord& drill = drills[i];
        const CountsSum totals = countsOf(drill);
        insertDrill.bind(1, drill.startedUtcMs)
            .bind(2, drill.endedUtcMs)
            .bind(3, drill.rows)
            .bind(4, static_cast<int64_t>(totals.hits))
            .bind(5, static_cast<int64_t>(totals.totalMs))
            .bind(6, static_cast<int64_t>(totals.wrong));
        if (drill.answers)
            insertDrill.bind(7, int64_t { drill.poolSize });
        else
            insertDrill.bindNull(7); // totals only, as older drills
        insertDrill.run();
        const int64_t id = sqlite3_last_insert_rowid(m_db);
        ids.push_back(id);
        if (drill.answers)
            insertAnswers.bind(1, id).bind(2, std::span<const uint8_t>(blobs[i])).run();
        std::array<std::vector<uint32_t>, CodeCount> times;
        if (drill.answers)
            for (const Answer& answer : *drill.answers)
                if (answer.answered)
                    times[answer.target - FirstCode].push_back(answer.ms);

        for (const KeyRecord& key : drill.keys) {
            insertKey.bind(1, id).bind(2, key.code).bind(3, key.hits).bind(4, key.totalMs).bind(5, key.wrong);
            std::vector<uint8_t> keyTimes;
            if (drill.answers && isPracticeCode(key.code)) {
                keyTimes = encodeTimes(times[key.code - FirstCode]);
                insertKey.bind(6, std::span<const uint8_t>(keyTimes));
            } else {
                insertKey.bindNull(6);
            }
            insertKey.run();
            for (const auto& [typed, count] : key.wrongKeys)
                insertWrong.bind(1, id).bind(2, key.code).bind(3, typed).bind(4, count).run();
            if (!key.countsAsDrill())
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
    }
    transaction.commit();
    for (std::size_t i = 0; i < drills.size(); ++i)
        drills[i].id = ids[i];
}

template <typename Read> auto HistoryDb::reading(Read&& read) const
{
    return m_refusal.watch([&] {
        Transaction transaction(m_db, "BEGIN DEFERRED", Doing::Reading, m_path);
        auto result = read(pragmaInteger(m_db, "PRAGMA user_version", Doing::Reading, m_path));
        transaction.commit();
        return result;
    });
}

std::vector<DrillRecord> HistoryDb::drills(std::size_t* skipped) const
{
    return drillsSince(0, SIZE_MAX, skipped);
}

std::vector<DrillRecord> HistoryDb::drillsSince(int64_t id, std::size_t atMost, std::size_t* skipped) const
{
    DrillPage part = page(id, atMost);
    if (skipped)
        *skipped += part.skippedRows;
    return std::move(part.drills);
}

DrillPage HistoryDb::page(int64_t after, std::size_t atMost) const
{
    return reading([&](int64_t version) {
        DrillPage page;
        page.next = after;
        if (atMost == 0)
            return page;
        if (version == 0)
            return page; // an empty file opened read-only
        // The part ends at the atMost-th drill row, read or not, so that the next one goes on
        // after it whatever this one could read.
        int64_t upToId = INT64_MAX;
        if (atMost < static_cast<std::size_t>(INT64_MAX)) {
            Statement last(m_db, "SELECT id FROM drill WHERE id > ? ORDER BY id LIMIT 1 OFFSET ?",
                Doing::Reading, m_path);
            last.bind(1, after).bind(2, static_cast<int64_t>(atMost - 1));
            if (last.step()) {
                upToId = last.integer(0);
                page.end = false;
            }
        }
        page.drills = readSinceWithin(after, upToId, version >= 3, page.skippedRows, &page.damaged);
        Statement rows(m_db,
            after <= 0 ? "SELECT count(*) FROM drill WHERE id <= ?"
                       : "SELECT count(*) FROM drill WHERE id > ? AND id <= ?",
            Doing::Reading, m_path);
        if (after <= 0)
            rows.bind(1, upToId);
        else
            rows.bind(1, after).bind(2, upToId);
        const int64_t inPart = rows.step() ? rows.integer(0) : 0;
        page.lostDrills = static_cast<std::size_t>(
            std::max<int64_t>(0, inPart - static_cast<int64_t>(page.drills.size())));
        page.next = upToId;
        return page;
    });
}

std::vector<DrillRecord> HistoryDb::readSinceWithin(
    int64_t id, int64_t upToId, bool withAnswers, std::size_t& skipped, std::set<int64_t>* damaged) const
{
    std::vector<DrillRecord> result;
    const Doing doing = Doing::Reading;
    // A row left out; the drill it names, where it names one, is not read whole.
    const auto leaveOut = [&](const Statement& row) {
        ++skipped;
        if (damaged && row.integerIn(0, 1, INT64_MAX))
            damaged->insert(row.integer(0));
    };
    // Read whole, the rows of ids this program never gives (below 1) are read too, to be counted.
    const bool whole = id <= 0;
    const auto bindRange = [&](Statement& query) {
        if (whole)
            query.bind(1, upToId);
        else
            query.bind(1, id).bind(2, upToId);
    };
    {
        const std::string columns = withAnswers ? "id, started_utc_ms, ended_utc_ms, rows, pool_size"
                                                : "id, started_utc_ms, ended_utc_ms, rows";
        Statement query(m_db,
            ("SELECT " + columns + " FROM drill WHERE " + (whole ? "id <= ?" : "id > ? AND id <= ?")
                + " ORDER BY id")
                .c_str(),
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
            if (withAnswers && !query.isNull(4)) {
                if (query.integerIn(4, 0, CodeCount))
                    drill.poolSize = static_cast<uint32_t>(query.integer(4));
                else
                    leaveOut(query); // the drill is read, its pool's size unknown
            }
            result.push_back(std::move(drill));
        }
    }
    // The other tables come sorted by drill (and code), so one walk along the drills matches each
    // up: a row whose drill is gone or left out, or that `attach` finds out of place, is left out.
    const auto walk = [&](const std::string& select, const char* order, auto valid, auto attach) {
        Statement query(m_db,
            (select + (whole ? " WHERE drill_id <= ?" : " WHERE drill_id > ? AND drill_id <= ?")
                + " ORDER BY " + order)
                .c_str(),
            doing, m_path);
        bindRange(query);
        auto drill = result.begin();
        while (query.step()) {
            if (!query.integerIn(0, 1, INT64_MAX) || !valid(query)) {
                leaveOut(query);
                continue;
            }
            const int64_t owner = query.integer(0);
            while (drill != result.end() && drill->id < owner)
                ++drill;
            if (drill == result.end() || drill->id != owner || !attach(*drill, query))
                leaveOut(query);
        }
    };
    // A code outside the characters would fold into another one as a byte.
    walk(
        "SELECT drill_id, code, hits, total_ms, wrong FROM drill_key", "drill_id, code",
        [](const Statement& row) {
            return row.integerIn(1, FirstCode, LastCode) && row.countsIn(2, MaxCount);
        },
        [](DrillRecord& drill, const Statement& row) {
            if (!drill.keys.empty() && drill.keys.back().code >= row.integer(1))
                return false; // out of order
            drill.keys.emplace_back(static_cast<unsigned char>(row.integer(1)),
                static_cast<uint32_t>(row.integer(2)), static_cast<uint32_t>(row.integer(3)),
                static_cast<uint32_t>(row.integer(4)));
            return true;
        });
    walk(
        "SELECT drill_id, code, typed, count FROM wrong_key", "drill_id, code, typed",
        [](const Statement& row) {
            return row.integerIn(1, FirstCode, LastCode) && row.integerIn(2, 0, 255)
                && row.integerIn(3, 1, MaxCount);
        },
        [](DrillRecord& drill, const Statement& row) {
            const auto code = static_cast<unsigned char>(row.integer(1));
            const auto key = std::lower_bound(drill.keys.begin(), drill.keys.end(), code,
                [](const KeyRecord& k, unsigned char c) { return k.code < c; });
            // Without its character's row, or the same wrong key twice (a damaged tree): left out.
            return key != drill.keys.end() && key->code == code
                && key->wrongKeys
                       .emplace(
                           static_cast<unsigned char>(row.integer(2)), static_cast<uint32_t>(row.integer(3)))
                       .second;
        });
    if (withAnswers) {
        // A blob larger than any drill's answers is not read: it would cost its size in memory.
        walk(
            "SELECT drill_id, CASE WHEN length(answers) <= " + std::to_string(MaxAnswerBlobBytes)
                + " THEN answers END FROM drill_answers",
            "drill_id", [](const Statement& row) { return row.isBlob(1); },
            [](DrillRecord& drill, const Statement& row) {
                if (drill.answers)
                    return false; // out of order
                // A damaged blob leaves the drill with its totals only.
                try {
                    std::vector<Answer> answers = decodeAnswers(row.blob(1));
                    if (!answersMatch(answers, drill.keys))
                        return false;
                    drill.answers = std::move(answers);
                    return true;
                } catch (const AnswerBlobError&) {
                    return false;
                }
            });
    }
    return result;
}

HistoryDigest HistoryDb::digest() const
{
    return reading([&](int64_t version) -> HistoryDigest {
        const Doing doing = Doing::Reading;
        if (version == 0)
            return {}; // an empty file opened read-only
        if (version < SchemaVersion) {
            std::size_t skipped = 0;
            HistoryDigest digest
                = digestOf(readSinceWithin(0, INT64_MAX, false, skipped)); // an older file opened read-only
            digest.skipped = skipped;
            return digest;
        }
        HistoryDigest digest;
        int64_t rows = 0; // every drill row, left out or not: no character counts more drills
        std::vector<bool> keptAnswers; // per drill in digest.drills
        {
            // In the order they started: a merged drill has a later id than drills it came before.
            Statement query(m_db,
                "SELECT id, started_utc_ms, hits, total_ms, wrong, rows, pool_size IS NOT NULL, ended_utc_ms"
                " FROM drill"
                " ORDER BY started_utc_ms, id",
                doing, m_path);
            while (query.step()) {
                ++rows;
                if (!query.integerIn(0, 1, INT64_MAX) || !query.integerIn(1, INT64_MIN, INT64_MAX)
                    || !query.countsIn(2, MaxDrillTotal)
                    || (!digest.drills.empty()
                        && std::pair(query.integer(1), query.integer(0))
                            <= std::pair(digest.drills.back().startedUtcMs, digest.drills.back().id))) {
                    ++digest.skipped;
                    continue;
                }
                digest.drills.push_back({ countsAt<CountsSum>(query, 2), query.integer(0), query.integer(1),
                    query.text(5), query.integer(7) });
                keptAnswers.push_back(query.integer(6) != 0);
            }
        }
        digest.answers = readLatestAnswers(digest.drills, keptAnswers, digest.skipped);
        {
            Statement keys(m_db, "SELECT code, drills FROM key_total ORDER BY code", doing, m_path);
            while (keys.step()) {
                if (!keys.integerIn(0, FirstCode, LastCode) || !keys.integerIn(1, 1, std::min(rows, MaxCount))
                    || (!digest.keys.empty() && keys.integer(0) <= digest.keys.back().code)) {
                    ++digest.skipped;
                    continue;
                }
                digest.keys.push_back({ static_cast<unsigned char>(keys.integer(0)),
                    static_cast<uint32_t>(keys.integer(1)), {} });
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
                key->latest.push_back({ countsAt<KeyCounts>(latest, 2), latest.integer(1), std::nullopt });
            }
        }
        {
            // Over the whole history a wrong key comes at most 2^32-1 times per drill.
            const int64_t most = rows > INT64_MAX / MaxCount ? INT64_MAX : rows * MaxCount;
            Statement query(
                m_db, "SELECT code, typed, count FROM confusion ORDER BY code, typed", doing, m_path);
            while (query.step()) {
                const bool inOrder = digest.confusions.empty()
                    || std::pair<int64_t, int64_t>(
                           digest.confusions.back().code, digest.confusions.back().typed)
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
        return digest;
    });
}

std::vector<DrillAnswers> HistoryDb::readLatestAnswers(
    const std::vector<DrillTotals>& drills, const std::vector<bool>& keptAnswers, std::size_t& skipped) const
{
    // Per kind of drill: the answers of each character in the drills taken so far.
    struct Kind {
        std::size_t drillsLeft = 0; // of this kind that kept answers, not yet looked at
        std::size_t taken = 0;
        std::size_t sittings = 0; // that the drills taken belong to
        uint32_t lastSitting = UINT32_MAX; // the sitting of the drill taken last
        std::array<uint32_t, CodeCount> answers {};
        bool done = false;
        // Whether a drill of sitting `next` is no longer needed. A sitting is taken whole.
        bool enoughBefore(uint32_t next) const
        {
            if (taken >= MostAnswerDrillsPerKind)
                return true;
            if (sittings < 2 * figures::TrendSittings || next == lastSitting)
                return false;
            return std::all_of(answers.begin(), answers.end(),
                [](uint32_t count) { return count == 0 || count >= AnswersPerCharacter; });
        }
    };
    std::unordered_map<std::string, Kind> kinds;
    for (std::size_t i = 0; i < drills.size(); ++i)
        if (keptAnswers[i])
            ++kinds[drills[i].rows].drillsLeft;
    std::size_t kindsLeft = kinds.size();

    const std::vector<uint32_t> sittings = sittingsOf(drills);
    std::vector<DrillAnswers> result;
    Statement query(m_db, "SELECT answers FROM drill_answers WHERE drill_id = ?", Doing::Reading, m_path);
    for (std::size_t i = drills.size(); i-- > 0 && kindsLeft > 0;) {
        if (!keptAnswers[i])
            continue;
        Kind& kind = kinds[drills[i].rows];
        if (kind.done)
            continue;
        if (kind.enoughBefore(sittings[i])) {
            kind.done = true;
            --kindsLeft;
            continue;
        }
        query.bind(1, drills[i].id);
        try {
            if (!query.step() || !query.isBlob(0))
                throw AnswerBlobError(AnswerBlobError::Reason::CutOff); // marked as kept, but none
            std::vector<Answer> answers = decodeAnswers(query.blob(0));
            for (const Answer& answer : answers)
                kind.answers[answer.target - FirstCode] += answer.answered;
            ++kind.taken;
            kind.sittings += std::exchange(kind.lastSitting, sittings[i]) != sittings[i];
            result.push_back(
                { drills[i].id, std::move(answers), drills[i].startedUtcMs, drills[i].endedUtcMs });
        } catch (const AnswerBlobError&) {
            ++skipped; // the drill is shown by its totals
        }
        query.reset();
        if (--kind.drillsLeft == 0) {
            kind.done = true;
            --kindsLeft;
        }
    }
    std::reverse(result.begin(), result.end()); // oldest first
    return result;
}

std::vector<KeyDrill> HistoryDb::keyDrills(unsigned char code, int64_t upToId, std::size_t* counted) const
{
    std::size_t skipped = 0;
    std::vector<KeyDrill> read = reading([&](int64_t version) {
        const Doing doing = Doing::Reading;
        std::vector<KeyDrill> result;
        if (version == 0)
            return result;
        if (version < SchemaVersion) { // an older file opened read-only: no index to go by
            for (const DrillRecord& drill : readSinceWithin(0, INT64_MAX, false, skipped)) {
                if (drill.id > upToId)
                    break;
                for (const KeyRecord& key : drill.keys)
                    if (key.code == code && key.countsAsDrill())
                        result.push_back({ key, drill.id, std::nullopt });
            }
        } else {
            // No index by character (see the schema): one look-up of (drill, character) per drill,
            // which reads a fraction of the rows a walk along the whole table would (30-45 ms instead
            // of 135-155 ms for 10,000 drills of every row, measured with Python's sqlite3). The
            // character's times in each drill are kept beside its counts.
            // In the order the drills started, along the index by start.
            Statement query(m_db,
                (std::string(
                     "SELECT k.drill_id, k.hits, k.total_ms, k.wrong, k.answer_ms, d.started_utc_ms"
                     " FROM drill d JOIN (SELECT drill_id, hits, total_ms, wrong, answer_ms FROM drill_key"
                     " WHERE code = ? AND ")
                    + CountsAsDrillSql
                    + ") k ON k.drill_id = d.id WHERE d.id <= ? ORDER BY d.started_utc_ms, d.id")
                    .c_str(),
                doing, m_path);
            query.bind(1, code).bind(2, upToId);
            std::pair<int64_t, int64_t> last { INT64_MIN, 0 }; // start and id of the drill before
            while (query.step()) {
                const std::pair<int64_t, int64_t> at { query.integer(5), query.integer(0) };
                if (!keyDrillValid(query) || !query.integerIn(5, INT64_MIN, INT64_MAX)
                    || (!result.empty() && at <= last)) {
                    ++skipped;
                    continue;
                }
                last = at;
                result.push_back(keyDrillOf(query));
                if (query.isNull(4))
                    continue; // a drill that kept its totals only
                result.back().answerMs = answerMsOf(query, 4, result.back());
                if (!result.back().answerMs)
                    ++skipped; // damaged answers: the drill's totals still count
            }
        }
        return result;
    });
    if (counted)
        *counted += skipped;
    return read;
}

int64_t HistoryDb::drillCount() const
{
    return reading([&](int64_t version) {
        return version == 0 ? 0 : pragmaInteger(m_db, "SELECT count(*) FROM drill", Doing::Reading, m_path);
    });
}

// The finger view's read.

std::vector<DrillAnswers> HistoryDb::latestAnswers(
    const std::string& rows, std::size_t maxAnswers, std::size_t* counted) const
{
    std::size_t skipped = 0;
    std::vector<DrillAnswers> read = reading([&](int64_t version) {
        const Doing doing = Doing::Reading;
        std::vector<DrillAnswers> result;
        if (version < SchemaVersion)
            return result; // no answers kept before this schema
        Statement query(m_db,
            "SELECT d.id, a.answers, d.started_utc_ms, d.ended_utc_ms FROM drill d"
            " JOIN drill_answers a ON a.drill_id = d.id"
            " WHERE d.rows = ? ORDER BY d.started_utc_ms DESC, d.id DESC",
            doing, m_path);
        query.bind(1, rows);
        std::size_t held = 0;
        while (held < maxAnswers && query.step()) {
            try {
                if (query.integer(0) < 1 || !query.isBlob(1))
                    throw AnswerBlobError(AnswerBlobError::Reason::CutOff);
                std::vector<Answer> answers = decodeAnswers(query.blob(1));
                held += answers.size();
                result.push_back(
                    { query.integer(0), std::move(answers), query.integer(2), query.integer(3) });
            } catch (const AnswerBlobError&) {
                ++skipped;
            }
        }
        std::reverse(result.begin(), result.end()); // oldest first
        return result;
    });
    if (counted)
        *counted += skipped;
    return read;
}

} // namespace touchdrill::history
