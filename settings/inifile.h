// SPDX-License-Identifier: GPL-3.0-or-later
// Reading and writing single keys of an INI text file, the way the placement file is kept.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace touchdrill {

// Longest text a key reads as; longer values (and defaults) are cut to this many bytes.
constexpr std::size_t IniValueMaxLength = 2047;

// The value of `key` in `section`, or `defaultValue` when the file, the section or the key is
// missing or the file cannot be read. Names match without regard to ASCII case; blanks (spaces
// and tabs) around names and values are ignored; a value wrapped in matching double or single
// quotes loses them. With duplicates, the first section of that name and the first key of that
// name inside it win; later copies are never looked at. Lines end in LF or CRLF; a line whose
// first non-blank character is ';' is a comment; a UTF-8 byte order mark at the start is skipped.
// Anything but a regular file of at most 16 MiB reads as missing.
std::string readIniString(
    const std::string& path, std::string_view section, std::string_view key, std::string_view defaultValue);

// Every key of `section` with its value, in the file's order, read by the rules of readIniString()
// (the first section of that name; names and values trimmed, quotes removed, comments skipped); a
// line without '=' is no key. Empty when the file or the section is missing or cannot be read. A
// key named twice comes twice: the caller decides, as readIniString() takes the first.
std::vector<std::pair<std::string, std::string>> readIniSection(
    const std::string& path, std::string_view section);

// Sets `key` in `section` to `value`, creating the file, the section (at the end of the file) or
// the key (after the last non-blank line of the section) as needed, or replacing the value of the
// key that readIniString() would read. Every other byte of the file stays as it was; added lines
// use the file's own line ends. The file is replaced by the rules of replaceFile(): atomically
// where the folder allows it (in place where it takes no new file), keeping its owner and mode,
// through a symbolic link to its target.
// A value with blanks at either end, or wrapped in matching quotes, is written in double quotes so
// that it reads back unchanged. Returns false, with the file untouched, when the file cannot be
// read or written (a file without write permission counts, although a rename could replace it), or
// when a name or the value could not be read back: an empty name, a key with '=' or starting with
// '[' or ';', a section name with ']', names with blanks at either end, or any line break.
bool writeIniString(
    const std::string& path, std::string_view section, std::string_view key, std::string_view value);

// Whether the file at `path` is larger than any INI file this program reads (16 MiB): every key
// of it then reads as missing and none can be written. What the user is told says so.
bool iniTooLarge(const std::string& path);
// The reason said after a failure on such a file.
inline constexpr const char* IniTooLargeText = "（16 MiB を超えているため読めません）";

// Kept for the order "read or write, then flush" that callers follow. Every call above reads the
// file afresh or has replaced it on disk before returning, so there is no cached copy to flush.
void flushIniCache(const std::string& path);

} // namespace touchdrill
