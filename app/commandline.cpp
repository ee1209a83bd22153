// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/commandline.h"

#include <algorithm>
#include <string_view>

namespace touchdrill {

namespace {

struct ToolkitOption {
    std::string_view name;
    bool takesValue; // the next argument is its value
    bool takesJoinedValue = false; // also -name=value
};

// The options that every Qt 6 Widgets program on X11 reads and takes out of argv itself, with the
// single leading dash it documents; Qt takes two as well. A desktop or a test may start the program
// with any of them, so none may be refused.
constexpr ToolkitOption ToolkitOptions[] = {
    { "-platform", true },
    { "-platformpluginpath", true },
    { "-platformtheme", true },
    { "-plugin", true },
    { "-qwindowgeometry", true },
    { "-geometry", true },
    { "-qwindowtitle", true },
    { "-title", true },
    { "-qwindowicon", true },
    { "-icon", true },
    { "-session", true },
    { "-reverse", false },
    { "-testability", false },
    { "-qmljsdebugger", true, true },
    { "-style", true, true },
    { "-stylesheet", true, true },
    { "-widgetcount", false },
    { "-display", true },
    { "-name", true },
    { "-visual", true },
    { "-nograb", false },
    { "-dograb", false },
};

CommandLine refuse(std::string complaint)
{
    return { CommandLine::Action::Refuse, std::move(complaint) };
}

} // namespace

// The options that run without a window and take one file: only as the first argument.
struct FileOption {
    std::string_view name;
    CommandLine::Action action;
};
constexpr FileOption FileOptions[] = {
    { "--export-history", CommandLine::Action::ExportHistory },
    { "--export-answers", CommandLine::Action::ExportAnswers },
    { "--import-history", CommandLine::Action::ImportHistory },
};

CommandLine readCommandLine(int argc, const char* const* argv)
{
    for (const FileOption& option : FileOptions)
        if (argc >= 2 && std::string_view(argv[1]) == option.name)
            return { option.action, {} };
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--help" || argument == "-h")
            return { CommandLine::Action::ShowHelp, {} };
        if (argument == "--version")
            return { CommandLine::Action::ShowVersion, {} };
        for (const FileOption& option : FileOptions)
            if (argument == option.name)
                return refuse(std::string(option.name) + " は最初の引数に、FILE と二つだけで書いてください");
        if (argument.size() < 2 || argument[0] != '-')
            return refuse("余分な引数です: " + std::string(argument));

        const std::string_view name = argument.starts_with("--") ? argument.substr(1) : argument;
        const std::size_t equals = name.find('=');
        const std::string_view bare = name.substr(0, equals);
        const auto* option = std::find_if(std::begin(ToolkitOptions), std::end(ToolkitOptions),
            [bare](const ToolkitOption& o) { return o.name == bare; });
        if (option == std::end(ToolkitOptions)
            || (equals != std::string_view::npos && !option->takesJoinedValue))
            return refuse("不明なオプションです: " + std::string(argument));
        if (option->takesValue && equals == std::string_view::npos) {
            if (i + 1 >= argc)
                return refuse(std::string(argument) + " の後に値がありません");
            ++i; // the value, which may start with a dash
        }
    }
    return {};
}

std::string usageText()
{
    return "使い方: touchdrill [Qt のオプション]\n"
           "        touchdrill --export-history FILE\n"
           "        touchdrill --export-answers FILE\n"
           "        touchdrill --import-history OTHER.sqlite\n"
           "        touchdrill --help | --version\n";
}

std::string helpText()
{
    return usageText()
        + "\n"
          "JIS キーボードでタッチタイピングを練習するウィンドウを開きます。\n"
          "\n"
          "  --export-history FILE  練習の履歴を CSV で FILE に書き出して終了します（FILE が - "
          "なら標準出力）\n"
          "  --export-answers FILE  一つ一つの答え（時間と打ち間違い）を CSV で FILE に書き出して終了します"
          "（FILE が - なら標準出力）\n"
          "  --import-history OTHER.sqlite\n"
          "                         別の touchdrill の練習の記録を、この練習の記録に取り込んで終了します"
          "（すでにある練習は飛ばします）\n"
          "  -h, --help             この説明を表示して終了します\n"
          "  --version              バージョンを表示して終了します\n"
          "\n"
          "Qt のプログラムに共通のオプション（-platform、-display、-geometry、-style、-stylesheet "
          "など）も使えます。\n";
}

std::string versionText()
{
    return "touchdrill " TOUCHDRILL_VERSION "\n";
}

} // namespace touchdrill
