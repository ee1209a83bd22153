// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/platform.h"

#include "fileio/sysfile_win.h"

#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <io.h>

namespace touchdrill::platform {

std::string executablePath(const char* argv0)
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0)
            return argv0;
        if (length < path.size()) {
            path.resize(length);
            return sysfile::utf8Path(path);
        }
        path.resize(path.size() * 2);
    }
}

std::vector<std::string> arguments(int argc, char** argv)
{
    int count = 0;
    LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (!wide)
        return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> utf8;
    for (int i = 0; i < count; ++i)
        utf8.push_back(sysfile::utf8(wide[i]));
    ::LocalFree(wide);
    return utf8;
}

namespace {

UINT consoleCodePage = 0;

void restoreCodePage()
{
    ::SetConsoleOutputCP(consoleCodePage);
}

bool hasHandle(DWORD which)
{
    const HANDLE handle = ::GetStdHandle(which);
    return handle && handle != INVALID_HANDLE_VALUE && ::GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

} // namespace

void prepareStandardStreams()
{
    // Redirected output (a file, a pipe) is inherited as it is; only a missing stream goes to the
    // parent's console.
    const bool out = hasHandle(STD_OUTPUT_HANDLE);
    const bool err = hasHandle(STD_ERROR_HANDLE);
    if ((!out || !err) && ::AttachConsole(ATTACH_PARENT_PROCESS)) {
        if (!out)
            std::freopen("CONOUT$", "w", stdout);
        if (!err)
            std::freopen("CONOUT$", "w", stderr);
    }
    // The texts are UTF-8; a console shows them as such only in that code page.
    DWORD mode = 0;
    if (::GetConsoleMode(::GetStdHandle(STD_OUTPUT_HANDLE), &mode)
        || ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode)) {
        consoleCodePage = ::GetConsoleOutputCP();
        if (consoleCodePage != CP_UTF8 && ::SetConsoleOutputCP(CP_UTF8))
            std::atexit(restoreCodePage);
    }
    std::fflush(stdout);
    std::fflush(stderr);
    if (_fileno(stdout) >= 0)
        _setmode(_fileno(stdout), _O_BINARY);
    if (_fileno(stderr) >= 0)
        _setmode(_fileno(stderr), _O_BINARY);
}

} // namespace touchdrill::platform
