// SPDX-License-Identifier: GPL-3.0-or-later
// Another history merged in, made from the input: this program's schema changed by the input's
// choice of spoilers (generated columns, views, triggers, columns of other types), then drills,
// characters, wrong keys and answers of any values. Nothing may crash or grow without bound, the
// other file keeps its bytes, and every drill stored is one this program could have recorded.
#include "history/historydb.h"
#include "history/historyimport.h"
#include "history/importcheck.h"
#include "tests/support/scratchfolder.h"

#include <sqlite3.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

using namespace touchdrill;
using namespace touchdrill::history;

namespace {

constexpr int64_t Now = 4'102'444'800'000; // 2100-01-01: the input's times decide

void check(bool ok)
{
    if (!ok)
        std::abort();
}

std::string contents(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The input read from the front, zeros once it is spent.
class Input {
public:
    Input(const uint8_t* data, size_t size)
        : m_data(data)
        , m_size(size)
    {
    }
    bool left() const { return m_at < m_size; }
    uint8_t byte() { return m_at < m_size ? m_data[m_at++] : 0; }
    int64_t integer()
    {
        // Mostly near the values a drill holds, now and then any 64-bit value.
        const uint8_t kind = byte();
        uint64_t value = 0;
        for (int i = 0, n = kind % 4 == 0 ? 8 : 2; i < n; ++i)
            value = value << 8 | byte();
        if (kind % 4 == 1)
            return static_cast<int64_t>(1'796'083'200'000 + value * 1000);
        return static_cast<int64_t>(value);
    }
    std::string bytes()
    {
        std::string out;
        for (uint8_t n = byte() % 24; n > 0; --n)
            out += static_cast<char>(byte());
        return out;
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_at = 0;
};

// Changes to the schema a file handed in may have made.
constexpr const char* Spoilers[] = {
    "",
    "ALTER TABLE drill ADD COLUMN extra TEXT GENERATED ALWAYS AS (printf('%.*c', 1000, rows)) VIRTUAL",
    "CREATE VIEW later AS SELECT * FROM drill",
    "CREATE TRIGGER t AFTER INSERT ON drill BEGIN DELETE FROM drill_key; END",
    "DROP INDEX drill_started",
    "ALTER TABLE drill_key RENAME COLUMN total_ms TO ms",
    "ALTER TABLE drill_answers RENAME TO answers_kept; CREATE VIEW drill_answers AS SELECT * FROM "
    "answers_kept",
    "CREATE INDEX odd ON drill (ended_utc_ms DESC, rows)",
};

void exec(sqlite3* db, const std::string& sql)
{
    sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr); // a spoiler that fails is none
}

void bindValue(sqlite3_stmt* stmt, int index, Input& input)
{
    switch (input.byte() % 8) {
    case 0:
        sqlite3_bind_null(stmt, index);
        break;
    case 1: {
        const std::string text = input.bytes();
        sqlite3_bind_text(stmt, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
        break;
    }
    case 2: {
        const std::string blob = input.bytes();
        sqlite3_bind_blob(stmt, index, blob.data(), static_cast<int>(blob.size()), SQLITE_TRANSIENT);
        break;
    }
    default:
        sqlite3_bind_int64(stmt, index, input.integer());
    }
}

// Rows of any values into the table, as many as the input gives.
void fill(sqlite3* db, const char* sql, int columns, Input& input)
{
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) != SQLITE_OK)
        return;
    for (uint8_t rows = input.byte() % 16; rows > 0 && input.left(); --rows) {
        for (int c = 1; c <= columns; ++c)
            bindValue(stmt, c, input);
        sqlite3_step(stmt);
        sqlite3_reset(stmt);
    }
    sqlite3_finalize(stmt);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const testing::ScratchFolder folder;
    const std::string other = folder.path("other.sqlite");
    const std::string ours = folder.path("touchdrill.sqlite");
    // This program's schema and its marks, made once.
    static const std::string empty = [&] {
        HistoryDb::open(other, true);
        return contents(other);
    }();
    std::filesystem::remove(ours);
    std::ofstream(other, std::ios::binary | std::ios::trunc) << empty;
    Input input(data, size);
    {
        sqlite3* db = nullptr;
        if (sqlite3_open(other.c_str(), &db) != SQLITE_OK)
            std::abort();
        exec(db, Spoilers[input.byte() % std::size(Spoilers)]);
        exec(db, "BEGIN");
        fill(db,
            "INSERT INTO drill (id, started_utc_ms, ended_utc_ms, rows, hits, total_ms, wrong, pool_size)"
            " VALUES (?, ?, ?, ?, 0, 0, 0, ?)",
            5, input);
        fill(db, "INSERT INTO drill_key (drill_id, code, hits, total_ms, wrong) VALUES (?, ?, ?, ?, ?)", 5,
            input);
        fill(db, "INSERT INTO wrong_key (drill_id, code, typed, count) VALUES (?, ?, ?, ?)", 4, input);
        fill(db, "INSERT INTO drill_answers (drill_id, answers) VALUES (?, ?)", 2, input);
        exec(db, "COMMIT");
        sqlite3_close(db);
    }
    const std::string before = contents(other);
    try {
        const ImportResult result = importHistory(ours, other, { Now, {} });
        if (result.added > 0)
            for (const DrillRecord& drill : HistoryDb::openReadOnly(ours)->drills())
                check(importFault(drill, Now) == DrillFault::None);
    } catch (const HistoryError&) {
    } catch (const std::runtime_error&) { // refused with the user's text
    }
    check(contents(other) == before);
    check(!std::filesystem::exists(other + "-journal"));
    return 0;
}
