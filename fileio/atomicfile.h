// SPDX-License-Identifier: GPL-3.0-or-later
// Replacing a whole file so that a crash or a full disk leaves the old contents or the new, never a mixture.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace touchdrill {

// A replace that failed: the errno of the call that failed, or 0 for a write that stored nothing
// and reported no error.
class FileWriteError : public std::runtime_error {
public:
    explicit FileWriteError(int err);

    int error() const { return m_err; }

private:
    int m_err;
};

// Replaces the file at `path` with `contents`, by the same rules for every file the program keeps:
// - A symbolic link is followed to the file it ends at, which is replaced (or created, when the
//   link dangles); the link stays a link. A loop of links fails with ELOOP.
// - A folder there fails with EISDIR, anything else that is not a regular file with EACCES; an
//   existing file that this process may not write fails with EACCES (a rename would get past a
//   file made read-only, which the user did to keep it as it is). Nothing is changed then.
// - The new contents go to a temporary file in the same folder, which has no name while it is
//   written and flushed where the file system allows it, so that a kill leaves nothing behind;
//   it is then named "<name>.tmp-XXXXXX" and renamed over the file. The old file's owner, group
//   and mode carry over; a new file gets 0666 less the umask.
// - When the folder takes no new file, or the temporary file cannot get the old file's owner,
//   group or mode, an existing file is rewritten in place instead: room for the new contents
//   reserved first (where the file system can), then from its start, cut to the new length and
//   flushed. That is not atomic, but it keeps the file and everything about it, and a disk too
//   full for the new contents fails before the file is touched.
// - After a rename, temporary files of this file that a killed process left behind (older than
//   ten minutes, so never another copy's rewrite in progress) are removed, and so are those of
//   earlier versions, named ".<name>.tmp<pid>-<serial>".
// Throws FileWriteError; no temporary file is left behind then.
void replaceFile(const std::string& path, std::string_view contents);

// replaceFile() in pieces, for contents too large to hold in memory: the pieces go to the
// temporary file as they come, and commit() puts it in the file's place. Until then the file is
// as it was; destroyed without a commit, or after any failure, the replacement leaves the file as
// it was and no temporary file behind. Where the file must be rewritten in place, the pieces are
// kept in a temporary file (in the folder, or in the system's temporary folder when the folder
// takes no new file) and copied into the file at the commit, so that a failure while they come
// never touches it. Every call throws FileWriteError.
class FileReplacement {
public:
    explicit FileReplacement(const std::string& path);
    ~FileReplacement();
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

    void write(std::string_view data);
    // Makes the pieces written the file's contents. Called once; nothing may be written after.
    void commit();

private:
    struct State;
    std::unique_ptr<State> m_state;
};

} // namespace touchdrill
