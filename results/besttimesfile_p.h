// Fault injection into saveBestTimes, for tests that fail or interrupt a rewrite at a chosen step.
#pragma once

#include <string>

namespace touchdrill::detail {

enum class SaveStep { Create, Write, Sync, Close, Rename };

// Answer of a SaveFault for SaveStep::Write: the write stores nothing and reports no error.
constexpr int ShortWrite = -1;

// Called before each step of a rewrite with the temporary file's path (empty before it exists).
// A non-zero result makes the step fail with that errno. Null in the program.
using SaveFault = int (*)(SaveStep step, const std::string& tempPath);
extern SaveFault saveFault;

} // namespace touchdrill::detail
