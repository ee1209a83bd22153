// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/apptext.h"

#include <QString>
#include <gtest/gtest.h>

#include <optional>

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

TEST(AppText, typedCharactersAsCodePageBytes)
{
    struct Row {
        const char* name;
        char32_t typed;
        std::optional<unsigned char> byte;
    };
    const Row table[] = {
        { "letter", U'a', 'a' },
        { "yen key types the backslash", U'¥', '\\' },
        { "backslash", U'\\', '\\' },
        { "Ctrl+Space", 0x00, std::nullopt },
        { "Backspace", 0x08, std::nullopt },
        { "Enter", 0x0D, std::nullopt },
        { "Ctrl+Q", 0x11, std::nullopt },
        { "Escape", 0x1B, std::nullopt },
        { "Delete", 0x7F, std::nullopt },
        { "half-width a", U'ｱ', 0xB1 },
        { "full-width a", U'ア', 0xB1 },
        { "voiced mark", U'゛', 0xDE },
        { "semi-voiced mark", U'゜', 0xDF },
        { "no half-width form", U'ヴ', OtherCharacter },
        { "hiragana", U'あ', OtherCharacter },
        { "Latin-1 e acute", U'é', OtherCharacter },
        { "Latin-1 A umlaut, not the kana byte 0xC4", U'Ä', OtherCharacter },
        { "no-break space", 0xA0, OtherCharacter },
        { "outside the basic plane", U'😀', OtherCharacter },
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(typedByte(row.typed), row.byte);
    }
}

TEST(AppText, codePageBytesShownOnTheirOwn)
{
    struct Row {
        unsigned char byte;
        std::optional<char32_t> shown;
    };
    const Row table[] = {
        { '!', U'!' },
        { 0x80, std::nullopt },
        { 0x81, std::nullopt }, // lead byte
        { 0xA0, std::nullopt },
        { 0xA1, U'｡' },
        { 0xB1, U'ｱ' },
        { 0xDF, U'ﾟ' },
        { 0xE0, std::nullopt },
        { 0xFF, std::nullopt },
    };
    for (const auto& row : table) {
        SCOPED_TRACE(static_cast<int>(row.byte));
        EXPECT_EQ(shownCharacter(row.byte), row.shown);
    }
    // Every kana byte goes round through the half-width katakana it shows and through that
    // katakana's full-width form (the two marks' compatibility forms combine; rows above).
    for (unsigned byte = 0xA1; byte <= 0xDD; ++byte) {
        SCOPED_TRACE(byte);
        const char32_t half = *shownCharacter(static_cast<unsigned char>(byte));
        EXPECT_EQ(typedByte(half), byte);
        const QString full = QString::fromUcs4(&half, 1).normalized(QString::NormalizationForm_KC);
        ASSERT_EQ(full.size(), 1);
        EXPECT_EQ(typedByte(full[0].unicode()), byte);
    }
}
