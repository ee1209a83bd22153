// SPDX-License-Identifier: GPL-3.0-or-later
// Fault injection into replaceFile, for tests that fail or interrupt a rewrite at a chosen step.
#pragma once

namespace touchdrill::detail {

enum class WriteStep {
    CreateUnnamed, // the temporary file without a name (O_TMPFILE)
    CreateNamed, // the temporary file under a name, where there can be no unnamed one
    Write, // each write of contents, into the temporary file or the file itself
    Sync,
    Link, // naming the unnamed temporary file
    Close,
    Rename,
};

// Answer of a WriteFault for WriteStep::Write: the write stores nothing and reports no error.
constexpr int StoredNothing = -1;

// Called before each step with the descriptor it works on (-1 before a file is open).
// A non-zero result makes the step fail with that errno. Null in the program.
using WriteFault = int (*)(WriteStep step, int fd);
extern WriteFault writeFault;

} // namespace touchdrill::detail
