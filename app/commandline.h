// SPDX-License-Identifier: GPL-3.0-or-later
// The command line, read before the toolkit starts: the program's own options, and the toolkit's,
// which are left for it.
#pragma once

#include <string>

namespace touchdrill {

struct CommandLine {
    enum class Action {
        OpenWindow, // no option of the program's own: the toolkit reads the rest
        ExportHistory, // --export-history as the first argument; its own reader checks the rest
        ExportAnswers, // --export-answers as the first argument, likewise
        ImportHistory, // --import-history as the first argument, likewise
        ShowHelp,
        ShowVersion,
        Refuse, // an argument neither the program nor the toolkit takes
    };
    Action action = Action::OpenWindow;
    std::string complaint; // Refuse: one line on what is wrong
};

// Reads argv[1] to argv[argc - 1]. The first option of the program's own or the first argument
// that nothing takes decides; the toolkit's options and their values are passed over.
CommandLine readCommandLine(int argc, const char* const* argv);

// The synopsis that a refused command line is answered with.
std::string usageText();
// What --help prints: the synopsis and each option.
std::string helpText();
// What --version prints.
std::string versionText();

} // namespace touchdrill
