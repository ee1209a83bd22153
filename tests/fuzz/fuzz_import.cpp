// SPDX-License-Identifier: GPL-3.0-or-later
// Another history merged in, made from the input: this program's schema changed by a spoiler the
// input picks, then rows of any values. Nothing may crash or grow without bound, the other file
// keeps its bytes, and every drill stored is one this program could have recorded.
#include "history/historydb.h"
#include "history/historyimport.h"
#include "history/importcheck.h"
#include "tests/support/filebytes.h"
#include "tests/support/scratchfolder.h"

#include <sqlite3.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

using namespace touchdrill;
using namespace touchdrill::history;

namespace {

constexpr int64_t Now = 4'102'444'800'000; // 2100-01-01: the input's times decide

constexpr const char* Spoilers[] = {
    "",
    "ALTER TABLE drill ADD COLUMN extra TEXT GENERATED ALWAYS AS (printf('%.*c', 1000, rows)) VIRTUAL",
    "CREATE VIEW later AS SELECT * FROM drill",
    "CREATE TRIGGER t AFTER INSERT ON drill BEGIN DELETE FROM drill_key; END",
    "DROP INDEX drill_started",
    "ALTER TABLE drill_answers RENAME TO kept; CREATE VIEW drill_answers AS SELECT * FROM kept",
};

constexpr const char* Inserts[] = {
    "INSERT INTO drill (id, started_utc_ms, ended_utc_ms, rows, pool_size) VALUES (?, ?, ?, ?, ?)",
    "INSERT INTO drill_key (drill_id, code, hits, total_ms, wrong) VALUES (?, ?, ?, ?, ?)",
    "INSERT INTO wrong_key (drill_id, code, typed, count) VALUES (?, ?, ?, ?)",
    "INSERT INTO drill_answers (drill_id, answers) VALUES (?, ?)",
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const testing::ScratchFolder folder;
    const std::string other = folder.path("other.sqlite");
    const std::string ours = folder.path("touchdrill.sqlite");
    static const testing::Bytes empty = [&] { // this program's schema and marks, made once
        HistoryDb::open(other, true);
        return testing::readBytes(other);
    }();
    std::filesystem::remove(ours);
    testing::writeBytes(other, empty);

    std::size_t at = 0;
    const auto byte = [&]() -> uint8_t { return at < size ? data[at++] : 0; };
    sqlite3* db = nullptr;
    sqlite3_open(other.c_str(), &db);
    sqlite3_exec(db, Spoilers[byte() % std::size(Spoilers)], nullptr, nullptr, nullptr);
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    // Rows until the input is spent: a table, then each column a null, a text, a blob, a value near
    // a drill's (a start in 2026, a small count) or any 64-bit integer.
    while (at < size) {
        sqlite3_stmt* insert = nullptr;
        sqlite3_prepare_v2(db, Inserts[byte() % std::size(Inserts)], -1, &insert, nullptr);
        for (int column = 1; insert && column <= sqlite3_bind_parameter_count(insert); ++column) {
            const uint8_t kind = byte();
            std::string bytes(byte() % 24, '\0');
            for (char& c : bytes)
                c = static_cast<char>(byte());
            uint64_t value = 0;
            for (char c : bytes.substr(0, 8))
                value = value << 8 | static_cast<uint8_t>(c);
            if (kind % 5 == 0)
                sqlite3_bind_null(insert, column);
            else if (kind % 5 == 1)
                sqlite3_bind_text(insert, column, bytes.data(), int(bytes.size()), SQLITE_TRANSIENT);
            else if (kind % 5 == 2)
                sqlite3_bind_blob(insert, column, bytes.data(), int(bytes.size()), SQLITE_TRANSIENT);
            else
                sqlite3_bind_int64(insert, column,
                    kind % 5 == 3 ? int64_t(value) : 1'796'083'200'000 + int64_t(value % 100'000'000));
        }
        sqlite3_step(insert);
        sqlite3_finalize(insert);
    }
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);

    const testing::Bytes before = testing::readBytes(other);
    try {
        if (importHistory(ours, other, { Now, {} }).added > 0)
            for (const DrillRecord& drill : HistoryDb::openReadOnly(ours)->drills())
                if (importFault(drill, Now) != DrillFault::None)
                    std::abort();
    } catch (const std::runtime_error&) { // refused, with the user's text
    }
    if (testing::readBytes(other) != before || std::filesystem::exists(other + "-journal"))
        std::abort();
    return 0;
}
