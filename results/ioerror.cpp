// SPDX-License-Identifier: GPL-3.0-or-later
#include "results/ioerror.h"

#include "fileio/errnokind.h"
#include "fileio/sysfile.h"
#include <cerrno>

namespace touchdrill {

namespace {

std::string unlistedText(int code)
{
    return "I/O エラー (" + std::to_string(code) + ")";
}

} // namespace

std::string ioErrorText(int code)
{
    switch (code) {
    case 2:
        return "ファイルが見つかりません";
    case 3:
        return "不正なファイル名です";
    case 4:
        return "オープンしたファイルが多すぎます";
    case 5:
        return "ファイルへのアクセスが拒否されました";
    case IoReadPastEnd:
        return "ファイルの末尾以降を読み込みました";
    case IoDiskFull:
        return "ディスクがいっぱいです";
    case 106:
        return "入力値が数値ではありません";
    default:
        return unlistedText(code);
    }
}

namespace {

// The code of the table for an errno of the same meaning, or 0 when there is none.
int listedCode(int err)
{
    switch (errnoKind(err)) {
    case ErrnoKind::Missing:
        return 2;
    case ErrnoKind::BadName:
        return 3;
    case ErrnoKind::TooManyOpen:
        return 4;
    case ErrnoKind::Refused:
        return 5;
    case ErrnoKind::DiskFull:
        return 112;
    case ErrnoKind::DeviceError:
        // EIO is 5 on Linux, which would read as "access denied"; a device error gets its own number.
        return 1117;
    case ErrnoKind::Other:
        break;
    }
    return 0;
}

} // namespace

int ioCodeFromErrno(int err)
{
    const int code = listedCode(err);
    return code ? code : err;
}

IoError::IoError(int code)
    : IoError(code, ioErrorText(code))
{
}

IoError::IoError(int code, const std::string& text)
    : std::runtime_error(text)
    , m_code(code)
{
}

IoError IoError::fromErrno(int err)
{
    const int code = listedCode(err);
    return code ? IoError(code) : IoError(err, unlistedText(err));
}

} // namespace touchdrill
