// SPDX-License-Identifier: GPL-3.0-or-later
// Prepared statements, transactions and plain runs of SQL on SQLite's C API.
#include "history/sqlitestatement.h"

#include <sqlite3.h>

namespace touchdrill::history {

Statement::Statement(sqlite3* db, const char* sql, Doing doing, const std::string& path)
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

Statement::~Statement()
{
    sqlite3_finalize(m_stmt);
}

Statement& Statement::bind(int index, int64_t value)
{
    check(sqlite3_bind_int64(m_stmt, index, value));
    return *this;
}

Statement& Statement::bind(int index, const std::string& value)
{
    check(sqlite3_bind_text(m_stmt, index, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT));
    return *this;
}

Statement& Statement::bind(int index, std::span<const uint8_t> value)
{
    // A pointer that is never null, as SQLite binds a null pointer as NULL rather than an empty blob.
    static const uint8_t none = 0;
    check(sqlite3_bind_blob64(
        m_stmt, index, value.empty() ? &none : value.data(), value.size(), SQLITE_STATIC));
    return *this;
}

Statement& Statement::bindNull(int index)
{
    check(sqlite3_bind_null(m_stmt, index));
    return *this;
}

void Statement::reset()
{
    sqlite3_reset(m_stmt);
}

bool Statement::isNull(int column) const
{
    return sqlite3_column_type(m_stmt, column) == SQLITE_NULL;
}

bool Statement::isBlob(int column) const
{
    return sqlite3_column_type(m_stmt, column) == SQLITE_BLOB;
}

std::span<const uint8_t> Statement::blob(int column) const
{
    const auto* bytes = static_cast<const uint8_t*>(sqlite3_column_blob(m_stmt, column));
    return bytes ? std::span(bytes, static_cast<std::size_t>(sqlite3_column_bytes(m_stmt, column)))
                 : std::span<const uint8_t>();
}

bool Statement::step()
{
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    fail(m_db, rc, m_doing, m_path);
}

void Statement::run()
{
    while (step()) { }
    sqlite3_reset(m_stmt);
}

int64_t Statement::integer(int column) const
{
    return sqlite3_column_int64(m_stmt, column);
}

bool Statement::integerIn(int column, int64_t low, int64_t high) const
{
    if (sqlite3_column_type(m_stmt, column) != SQLITE_INTEGER)
        return false;
    const int64_t value = integer(column);
    return value >= low && value <= high;
}

std::string Statement::text(int column) const
{
    const auto* bytes = sqlite3_column_text(m_stmt, column);
    return bytes ? std::string(reinterpret_cast<const char*>(bytes),
               static_cast<std::size_t>(sqlite3_column_bytes(m_stmt, column)))
                 : std::string();
}

void Statement::check(int rc)
{
    if (rc != SQLITE_OK)
        fail(m_db, rc, m_doing, m_path);
}

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

Transaction::Transaction(sqlite3* db, const char* begin, Doing doing, const std::string& path)
    : m_db(db)
    , m_doing(doing)
    , m_path(path)
    , m_nested(sqlite3_get_autocommit(db) == 0)
{
    exec(db, m_nested ? "SAVEPOINT nested" : begin, doing, path);
}

Transaction::~Transaction()
{
    if (!m_done)
        sqlite3_exec(
            m_db, m_nested ? "ROLLBACK TO nested; RELEASE nested" : "ROLLBACK", nullptr, nullptr, nullptr);
}

void Transaction::commit()
{
    exec(m_db, m_nested ? "RELEASE nested" : "COMMIT", m_doing, m_path);
    m_done = true;
}

} // namespace touchdrill::history
