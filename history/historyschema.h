// SPDX-License-Identifier: GPL-3.0-or-later
// The history's schema: what a file of each version holds, the steps that bring an older one up
// to date, and the checks that a file is a whole history of ours before anything is written to it.
#pragma once

#include "drill/keystats.h"

#include <cstdint>
#include <string>

struct sqlite3;

namespace touchdrill::history {

// The schema this program writes (PRAGMA user_version); 0 is an empty or new file.
inline constexpr int SchemaVersion = 3;

// The largest figures this program stores: a character's hits, milliseconds, wrong keys and the
// count of one wrong key within a drill are 32-bit; a drill's totals add up at most every
// character's.
inline constexpr int64_t MaxCount = UINT32_MAX;
inline constexpr int64_t MaxDrillTotal = MaxCount * CodeCount;

// Marks a database as this program's history ("TDRH"), so that another program's SQLite file
// that happens to carry the name is never written to.
inline constexpr int ApplicationId = 0x54445248;

// The SQL that takes a file from schema version `version` to the next, as the migration runs it:
// a new file runs them all, and a test writes an older version's file with the first of them.
std::string migrationStep(int64_t version);

// What lies at a history's path before SQLite is let near it.
enum class Found { Nothing, EmptyFile, Database };

// Nothing, an empty file (a creation cut short before its first write: SQLite's empty database)
// or a file that starts as a database does. Anything else at the path is refused as NotHistory;
// a path that cannot be looked at, as CannotWrite.
Found inspect(const std::string& path, bool forWriting);

// Checks that the open file is ours and whole, then brings its schema up to date (`readOnly`: only
// checks). A version 0 file is new only when it holds nothing at all. Throws HistoryError; a
// migration that fails part-way is rolled back and marked duringMigration().
void migrate(sqlite3* db, const std::string& path, bool readOnly);

// Refuses, as NotHistory, a file in which something other than the stored values could decide what
// a read returns: a view, a trigger, a virtual table, or a generated or hidden column of a table
// of the schema. No history of ours holds one; another file handed to the import might.
void checkPlainTables(sqlite3* db, const std::string& path);

} // namespace touchdrill::history
