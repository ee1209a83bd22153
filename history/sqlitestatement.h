// SPDX-License-Identifier: GPL-3.0-or-later
// The history's few wrappers over SQLite's C API: a prepared statement, a transaction, a plain
// run of SQL. Each failure throws the HistoryError that says what the history was doing.
#pragma once

#include "history/historyerror.h"

#include <cstdint>
#include <span>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

namespace touchdrill::history {

// A prepared statement that finalises itself.
class Statement {
public:
    // A table or column of the file's version missing fails as a damaged file.
    Statement(sqlite3* db, const char* sql, Doing doing, const std::string& path);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(int index, int64_t value);
    Statement& bind(int index, const std::string& value);
    // A blob, not copied: `value` must outlive the statement's run.
    Statement& bind(int index, std::span<const uint8_t> value);
    Statement& bindNull(int index);
    // True while there is a row.
    bool step();
    // Steps to the end and resets, to be bound and run again.
    void run();
    // Back to before the first row, the bindings kept: for a statement left before its end.
    void reset();
    int64_t integer(int column) const;
    // Whether the column holds an integer from `low` to `high` (not a text, real or null).
    bool integerIn(int column, int64_t low, int64_t high) const;
    // Whether the columns from `first` on hold hits, milliseconds and wrong keys as stored.
    bool countsIn(int first, int64_t high) const
    {
        return integerIn(first, 0, high) && integerIn(first + 1, 0, high) && integerIn(first + 2, 0, high);
    }
    std::string text(int column) const;
    bool isNull(int column) const;
    // Whether the column holds a blob (not an integer, text, real or null).
    bool isBlob(int column) const;
    // The bytes of a blob column, valid until the next step or reset.
    std::span<const uint8_t> blob(int column) const;

private:
    void check(int rc);

    sqlite3* m_db;
    sqlite3_stmt* m_stmt = nullptr;
    Doing m_doing;
    const std::string& m_path;
};

void exec(sqlite3* db, const char* sql, Doing doing, const std::string& path);
// The first column of the first row as an integer; 0 for no row.
int64_t pragmaInteger(sqlite3* db, const char* sql, Doing doing, const std::string& path);

// A transaction that rolls back unless committed. Begun within another one, it is a savepoint of
// that one: its commit keeps its changes for the outer one to commit or roll back.
class Transaction {
public:
    Transaction(sqlite3* db, const char* begin, Doing doing, const std::string& path);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit();

private:
    sqlite3* m_db;
    Doing m_doing;
    const std::string& m_path;
    bool m_done = false;
    bool m_nested = false;
};

} // namespace touchdrill::history
