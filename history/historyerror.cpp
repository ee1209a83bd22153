// SPDX-License-Identifier: GPL-3.0-or-later
// The history's failures: SQLite's result codes sorted into kinds, and each kind's text.
#include "history/historyerror.h"

#include "fileio/sysfile.h"

#include "fileio/errnokind.h"

#include <sqlite3.h>

namespace touchdrill::history {

namespace {

HistoryError::Kind kindOf(sqlite3* db, int rc)
{
    using Kind = HistoryError::Kind;
    switch (rc & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return Kind::Busy;
    case SQLITE_FULL:
        return Kind::DiskFull;
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
    case SQLITE_FORMAT:
    case SQLITE_TOOBIG: // a value larger than any the history stores
        return Kind::NotHistory;
    case SQLITE_READONLY:
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return Kind::CannotWrite;
    case SQLITE_IOERR:
        switch (errnoKind(db ? sysfile::errnoFromSystem(sqlite3_system_errno(db)) : 0)) {
        case ErrnoKind::DiskFull:
            return Kind::DiskFull;
        case ErrnoKind::Refused:
            return Kind::CannotWrite;
        default:
            return Kind::Other;
        }
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

} // namespace

HistoryError::HistoryError(Kind kind, const std::string& text, bool migrating)
    : std::runtime_error(text)
    , m_kind(kind)
    , m_migrating(migrating)
{
}

void fail(sqlite3* db, int rc, Doing doing, const std::string& path)
{
    const HistoryError::Kind kind = kindOf(db, rc);
    throw HistoryError(kind, textOf(kind, doing, path, rc));
}

void fail(HistoryError::Kind kind, Doing doing, const std::string& path)
{
    throw HistoryError(kind, errorText(kind, doing, path));
}

std::string errorText(HistoryError::Kind kind, Doing doing, const std::string& path)
{
    return textOf(kind, doing, path, 0);
}

} // namespace touchdrill::history
