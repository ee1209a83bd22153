// SPDX-License-Identifier: GPL-3.0-or-later
// touchdrill: a touch-typing trainer for the Japanese keyboard.
#include "app/apptext.h"
#include "app/commandline.h"
#include "app/platform.h"
#include "app/tform1.h"
#include "history/historyexport.h"
#include "history/historyimport.h"

#include "app/touchdrill_icon.xpm"

#include <QApplication>
#include <QIcon>
#include <QPixmap>

#include <iostream>
#include <string>
#include <vector>

namespace {

// touchdrill --export-history FILE: the history as CSV, no window and no display needed.
int exportHistory(const std::vector<std::string>& argv)
{
    if (argv.size() != 3) {
        std::cerr << "使い方: touchdrill --export-history FILE（FILE が - なら標準出力）\n";
        return 2;
    }
    try {
        const std::string executable = touchdrill::platform::executablePath(argv[0].c_str());
        const std::size_t unreadable = touchdrill::history::exportHistory(
            touchdrill::FileLocations::decide(executable).history(), argv[2], std::cout);
        if (unreadable > 0)
            std::cerr << touchdrill::history::unreadableReport(unreadable) << '\n';
        return 0;
    } catch (const std::exception& error) {
        std::cerr << touchdrill::withFinalStop(error.what()) << '\n';
        return 1;
    }
}

// touchdrill --export-answers FILE: every answer as CSV, as the history export runs. Drills recorded
// before the history kept answers have no rows: their count is said on standard error.
int exportAnswers(const std::vector<std::string>& argv)
{
    if (argv.size() != 3) {
        std::cerr << "使い方: touchdrill --export-answers FILE（FILE が - なら標準出力）\n";
        return 2;
    }
    try {
        const std::string executable = touchdrill::platform::executablePath(argv[0].c_str());
        const touchdrill::history::AnswerExport written = touchdrill::history::exportAnswers(
            touchdrill::FileLocations::decide(executable).history(), argv[2], std::cout);
        if (written.drillsWithoutAnswers > 0)
            std::cerr << written.drillsWithoutAnswers
                      << " 回の練習は答えごとの記録がない（前の版で記録された）ため、書き出していません\n";
        if (written.drillsWithDamagedAnswers > 0)
            std::cerr << written.drillsWithDamagedAnswers
                      << " 回の練習は答えごとの記録が壊れているため、書き出していません\n";
        if (written.unreadable > 0)
            std::cerr << touchdrill::history::unreadableReport(written.unreadable) << '\n';
        return 0;
    } catch (const std::exception& error) {
        std::cerr << touchdrill::withFinalStop(error.what()) << '\n';
        return 1;
    }
}

// touchdrill --import-history OTHER.sqlite: another history merged into this program's.
int importHistory(const std::vector<std::string>& argv)
{
    if (argv.size() != 3) {
        std::cerr << "使い方: touchdrill --import-history OTHER.sqlite\n";
        return 2;
    }
    try {
        const std::string executable = touchdrill::platform::executablePath(argv[0].c_str());
        const touchdrill::FileLocations files = touchdrill::FileLocations::decide(executable);
        files.createFolders(); // where the history is made, as the window would make it
        const touchdrill::history::ImportResult result
            = touchdrill::history::importHistory(files.history(), argv[2]);
        std::cout << touchdrill::history::importReport(result) << '\n';
        return 0;
    } catch (const std::exception& error) {
        std::cerr << touchdrill::withFinalStop(error.what()) << '\n';
        return 1;
    }
}

} // namespace

int main(int argc, char** argv)
{
    // Before the toolkit starts: these need no display.
    const std::vector<std::string> arguments = touchdrill::platform::arguments(argc, argv);
    std::vector<const char*> utf8Argv;
    for (const std::string& argument : arguments)
        utf8Argv.push_back(argument.c_str());
    const touchdrill::CommandLine commandLine
        = touchdrill::readCommandLine(static_cast<int>(utf8Argv.size()), utf8Argv.data());
    if (commandLine.action != touchdrill::CommandLine::Action::OpenWindow)
        touchdrill::platform::prepareStandardStreams();
    switch (commandLine.action) {
    case touchdrill::CommandLine::Action::ExportHistory:
        return exportHistory(arguments);
    case touchdrill::CommandLine::Action::ExportAnswers:
        return exportAnswers(arguments);
    case touchdrill::CommandLine::Action::ImportHistory:
        return importHistory(arguments);
    case touchdrill::CommandLine::Action::ShowHelp:
        std::cout << touchdrill::helpText();
        return 0;
    case touchdrill::CommandLine::Action::ShowVersion:
        std::cout << touchdrill::versionText();
        return 0;
    case touchdrill::CommandLine::Action::Refuse:
        std::cerr << "touchdrill: " << commandLine.complaint << '\n' << touchdrill::usageText();
        return 2;
    case touchdrill::CommandLine::Action::OpenWindow:
        break;
    }

    QApplication app(argc, argv);
    const std::string executable = QCoreApplication::applicationFilePath().toStdString();
    const QString title = QString::fromStdString(touchdrill::applicationTitle(executable));
    QApplication::setApplicationName(title);
    QApplication::setWindowIcon(QIcon(QPixmap(touchdrill_icon_xpm)));
    // The name of the installed desktop entry: on Wayland it becomes the window's app id, by which
    // the desktop finds the entry's name and icon for the window.
    QGuiApplication::setDesktopFileName(QStringLiteral(TOUCHDRILL_APP_ID));

    // Beside the executable or in the user's folders: decided once, here, for every file.
    const touchdrill::FileLocations files = touchdrill::FileLocations::decide(executable);
    files.createFolders();

    touchdrill::TForm1 Form1({ executable, nullptr, {}, files });
    Form1.show();
    return QApplication::exec();
}
