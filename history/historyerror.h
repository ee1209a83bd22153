// SPDX-License-Identifier: GPL-3.0-or-later
// The failures of the practice history and their user-visible (Japanese) texts.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>

struct sqlite3;

namespace touchdrill::history {

// A failure of the history, carrying the user-visible (Japanese) text without a final stop.
class HistoryError : public std::runtime_error {
public:
    enum class Kind {
        Busy, // another copy holds the database: this drill is given up, the next one may work
        CannotWrite, // the folder or the file takes no write (permissions, read-only media)
        DiskFull,
        NotHistory, // not a database, damaged, or not ours: never touched, recording stays off
        NewerVersion, // written by a newer program: never touched, recording stays off
        Other,
    };

    HistoryError(Kind kind, const std::string& text, bool migrating = false);

    Kind kind() const { return m_kind; }
    // The file must not be written again in this run.
    bool permanent() const { return m_kind == Kind::NotHistory || m_kind == Kind::NewerVersion; }
    // Bringing an older file up to date failed part-way (a full disk, say) and was rolled back:
    // trying again costs as long again.
    bool duringMigration() const { return m_migrating; }

private:
    Kind m_kind;
    bool m_migrating = false;
};

// A file refused for good (HistoryError::permanent()): remembered, so that nothing tries it again
// in this run.
class Refusal {
public:
    // Remembers `error` when it is permanent; returns whether it was.
    bool remember(const HistoryError& error)
    {
        if (error.permanent())
            m_error = std::make_shared<const HistoryError>(error);
        return error.permanent();
    }
    // Runs `work`; a permanent HistoryError it throws is remembered on its way out.
    template <typename Work> auto watch(Work&& work)
    {
        try {
            return work();
        } catch (const HistoryError& error) {
            remember(error);
            throw;
        }
    }
    // Throws the refusal, if any.
    void check() const
    {
        if (m_error)
            throw *m_error;
    }
    explicit operator bool() const { return m_error != nullptr; }

private:
    std::shared_ptr<const HistoryError> m_error;
};

// What is said when memory runs out, before what could not be done.
inline constexpr const char* OutOfMemoryText = "メモリが足りません";

// What the history was doing when it failed: the texts say "cannot write" or "cannot read".
enum class Doing { Reading, Writing };

// Throws the HistoryError of SQLite's result code `rc` on `db` (null before it is open), whose
// system error tells a full disk from a file that takes no write.
[[noreturn]] void fail(sqlite3* db, int rc, Doing doing, const std::string& path);
[[noreturn]] void fail(HistoryError::Kind kind, Doing doing, const std::string& path);
// The text fail() gives a failure of this kind.
std::string errorText(HistoryError::Kind kind, Doing doing, const std::string& path);

} // namespace touchdrill::history
