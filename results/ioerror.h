// SPDX-License-Identifier: GPL-3.0-or-later
// The I/O error raised by the best-times file: a result code and its user-visible text.
#pragma once

#include <stdexcept>
#include <string>

namespace touchdrill {

// Codes the file layer reports itself, beside the system's error numbers.
constexpr int IoReadPastEnd = 100; // a read returned fewer bytes than asked for
constexpr int IoDiskFull = 101; // a write stored fewer bytes than asked for, without a system error

// The text shown for an I/O result code, UTF-8, without the final full stop the error box adds.
std::string ioErrorText(int code);

// Maps a Linux errno onto the code reported to the user: the table's codes where the meaning is
// the same, the number itself otherwise.
int ioCodeFromErrno(int err);

class IoError : public std::runtime_error {
public:
    explicit IoError(int code);

    // The error of a failed system call. An errno without a code of its own shows as
    // "I/O エラー (n)" even where n is one of the table's codes: ENETDOWN is 100, yet nothing
    // was read past the end of a file.
    static IoError fromErrno(int err);

    int code() const { return m_code; }

private:
    IoError(int code, const std::string& text);

    int m_code;
};

} // namespace touchdrill
