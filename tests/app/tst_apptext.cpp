#include "apptext.h"

#include <gtest/gtest.h>

using namespace touchdrill;

TEST(AppText, finalStopByTheLastByte)
{
    struct Row {
        const char* name;
        std::string message;
        std::string shown;
    };
    const Row table[] = {
        { "Japanese gets a stop", "ファイルが見つかりません", "ファイルが見つかりません." },
        { "path then Japanese", "/home/u/touchdrill.ini に書き込めません",
            "/home/u/touchdrill.ini に書き込めません." },
        { "ASCII letter gets a stop", "disk error", "disk error." },
        { "closing parenthesis is below the stop", "I/O エラー (112)", "I/O エラー (112)" },
        { "already a stop", "done.", "done." },
        { "trailing blank", "trailing ", "trailing " },
        { "slash is above the stop", "a/", "a/." },
        { "minus is below the stop", "-", "-" },
        { "empty stays empty", "", "" },
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(withFinalStop(row.message), row.shown);
    }
}

TEST(AppText, applicationTitleFromTheExecutableName)
{
    struct Row {
        const char* path;
        const char* title;
    };
    const Row table[] = {
        { "/usr/local/bin/touchdrill", "touchdrill" },
        { "/opt/x/TouchDrill.x86", "Touchdrill" },
        { "/opt/x/TOUCH.DRILL.exe", "Touch" },
        { "/a.b/c/drill", "drill" },
        { "Q", "Q" },
        { "/x/練習Drill", "練習drill" },
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.path);
        EXPECT_EQ(applicationTitle(row.path), row.title);
    }
}
