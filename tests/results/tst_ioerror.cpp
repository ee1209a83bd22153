// SPDX-License-Identifier: GPL-3.0-or-later
#include "results/ioerror.h"

#include <gtest/gtest.h>

#include "fileio/sysfile.h"

#include <cerrno>
#ifdef _WIN32
#include "fileio/sysfile_win.h"

#include <windows.h>
#endif

using namespace touchdrill;

TEST(IoError, textsByCodeAndTheFullStopTheErrorBoxAdds)
{
    struct Row {
        int code;
        const char* text;
        bool getsFullStop; // the error box's rule: last byte, unsigned, greater than '.'
    };
    const Row table[] = {
        { 2, "ファイルが見つかりません", true },
        { 3, "不正なファイル名です", true },
        { 4, "オープンしたファイルが多すぎます", true },
        { 5, "ファイルへのアクセスが拒否されました", true },
        { 100, "ファイルの末尾以降を読み込みました", true },
        { 101, "ディスクがいっぱいです", true },
        { 106, "入力値が数値ではありません", true },
        { 112, "I/O エラー (112)", false },
        { 0, "I/O エラー (0)", false },
        { -7, "I/O エラー (-7)", false },
        { 1117, "I/O エラー (1117)", false },
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.code);
        const IoError error(row.code);
        EXPECT_EQ(error.code(), row.code);
        EXPECT_STREQ(error.what(), row.text);
        EXPECT_EQ(ioErrorText(row.code), row.text);
        const std::string text = error.what();
        EXPECT_EQ(static_cast<unsigned char>(text.back()) > '.', row.getsFullStop);
    }
}

TEST(IoError, linuxErrorsMapOntoTheCodesOfTheSameMeaning)
{
    struct Row {
        const char* name;
        int err;
        int code;
    };
    const Row table[] = {
        { "no such file", ENOENT, 2 },
        { "name too long", ENAMETOOLONG, 3 },
        { "path through a file", ENOTDIR, 3 },
        { "link loop", ELOOP, 3 },
        { "name the file system rejects", EINVAL, 3 },
        { "process out of descriptors", EMFILE, 4 },
        { "system out of descriptors", ENFILE, 4 },
        { "permission denied", EACCES, 5 },
        { "operation not permitted", EPERM, 5 },
        { "read-only file system", EROFS, 5 },
        { "a folder where a file is wanted", EISDIR, 5 },
        { "rename onto a non-empty folder", ENOTEMPTY, 5 },
        { "rename onto an existing name", EEXIST, 5 },
        { "disk full", ENOSPC, 112 },
        { "quota", EDQUOT, 112 },
        { "device error keeps away from 'access denied'", EIO, 1117 },
        { "anything else is its own number", EFBIG, EFBIG },
        { "another", EXDEV, EXDEV },
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(ioCodeFromErrno(row.err), row.code);
    }
}

TEST(IoError, systemErrorsShowTheirOwnTextOrTheirNumber)
{
    const std::pair<int, const char*> table[] = {
        { ENOENT, "ファイルが見つかりません" },
        { EACCES, "ファイルへのアクセスが拒否されました" },
        { ENOSPC, "I/O エラー (112)" },
        { EIO, "I/O エラー (1117)" },
#ifndef _WIN32
        // Linux's numbers that equal codes of the table, yet mean something else.
        { ESRCH, "I/O エラー (3)" },
        { EINTR, "I/O エラー (4)" },
        { ENETDOWN, "I/O エラー (100)" },
        { ENETUNREACH, "I/O エラー (101)" },
        { EISCONN, "I/O エラー (106)" },
        { EHOSTDOWN, "I/O エラー (112)" },
#endif
    };
    for (const auto& [err, text] : table) {
        SCOPED_TRACE(err);
        EXPECT_STREQ(IoError::fromErrno(err).what(), text);
    }
}

#ifdef _WIN32
// Windows reports GetLastError() codes (the file layer, SQLite); through their errno they reach
// the same codes and texts as Linux's errors of the same meaning.
TEST(IoError, windowsErrorsMapOntoTheCodesOfTheSameMeaning)
{
    struct Row {
        const char* name;
        unsigned long error;
        int code;
    };
    const Row table[] = {
        { "no such file", ERROR_FILE_NOT_FOUND, 2 },
        { "no such folder", ERROR_PATH_NOT_FOUND, 2 },
        { "name the file system rejects", ERROR_INVALID_NAME, 3 },
        { "name too long", ERROR_FILENAME_EXCED_RANGE, 3 },
        { "out of handles", ERROR_TOO_MANY_OPEN_FILES, 4 },
        { "access denied", ERROR_ACCESS_DENIED, 5 },
        { "another program holds the file", ERROR_SHARING_VIOLATION, 5 },
        { "write-protected medium", ERROR_WRITE_PROTECT, 5 },
        { "disk full", ERROR_DISK_FULL, 112 },
        { "disk full while extending", ERROR_HANDLE_DISK_FULL, 112 },
        { "quota", 1295 /* ERROR_DISK_QUOTA_EXCEEDED */, 112 },
        { "a device error keeps away from 'access denied'", ERROR_CRC, 1117 },
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(ioCodeFromErrno(sysfile::errnoFromSystem(static_cast<int>(row.error))), row.code);
    }
}
#endif
