// SPDX-License-Identifier: GPL-3.0-or-later
// What the program asks of the system before the toolkit starts, where the systems differ.
#pragma once

#include <string>
#include <vector>

namespace touchdrill::platform {

// The running executable's full path, as the window would have it (UTF-8, "/" between folders).
std::string executablePath(const char* argv0);

// The command line as UTF-8. On Windows argv is in the ANSI code page, which has no room for most
// Japanese file names; the wide command line is read instead.
std::vector<std::string> arguments(int argc, char** argv);

// Readies standard output and error for a run that prints instead of opening the window. A
// Windows program with a window has no console of its own: it prints into the console of the
// program that started it (cmd), in binary mode, so that the CSV's CRLF stays CRLF.
void prepareStandardStreams();

} // namespace touchdrill::platform
