// SPDX-License-Identifier: GPL-3.0-or-later
#include "figures/fingermap.h"

#include "drill/jiskeyboard.h"

#include "settings/inifile.h"
#include "settings/iniinteger.h"

#include <algorithm>
#include <stdexcept>

namespace touchdrill::figures {

namespace {

constexpr std::array<std::string_view, FingerCount> Keys { "left-little", "left-ring", "left-middle",
    "left-index", "right-index", "right-middle", "right-ring", "right-little" };

constexpr std::array<const char*, FingerCount> Names { "左手の小指", "左手の薬指", "左手の中指",
    "左手の人差し指", "右手の人差し指", "右手の中指", "右手の薬指", "右手の小指" };

bool sameAscii(std::string_view a, std::string_view b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
        return lower(x) == lower(y);
    });
}

// A line of the INI as the status line quotes it: short, and never cut inside a UTF-8 sequence.
std::string quoted(const std::string& key, const std::string& value)
{
    constexpr std::size_t Longest = 32;
    std::string line = key + "=" + value;
    if (line.size() > Longest) {
        std::size_t cut = Longest;
        while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80)
            --cut;
        line.resize(cut);
        line += "…";
    }
    return line;
}

} // namespace

std::string_view fingerKey(Finger finger)
{
    return Keys[indexOf(finger)];
}

std::optional<Finger> fingerFromKey(std::string_view key)
{
    for (std::size_t i = 0; i < FingerCount; ++i)
        if (sameAscii(key, Keys[i]))
            return static_cast<Finger>(i);
    return std::nullopt;
}

std::string fingerName(Finger finger)
{
    return Names[indexOf(finger)];
}

std::string handName(Hand hand)
{
    return hand == Hand::Left ? "左手" : "右手";
}

const FingerMap& FingerMap::standard()
{
    static const FingerMap map = [] {
        FingerMap built;
        static_assert(JisFingers == static_cast<int>(FingerCount));
        const auto place = [&](char c, Finger finger, bool shifted) {
            built.m_fingers[slot(static_cast<unsigned char>(c))] = finger;
            built.m_shifted[slot(static_cast<unsigned char>(c))] = shifted;
        };
        for (const JisKey& key : JisKeys) {
            place(key.base, static_cast<Finger>(key.finger), false);
            if (key.shifted)
                place(key.shifted, static_cast<Finger>(key.finger), true);
        }
        return built;
    }();
    return map;
}

std::optional<Hand> FingerMap::shiftHand(unsigned char code) const
{
    if (!shifted(code))
        return std::nullopt;
    return handOf(finger(code)) == Hand::Left ? Hand::Right : Hand::Left;
}

std::string FingerMap::characters(Finger finger) const
{
    std::string out;
    for (int code = FirstCode; code <= LastCode; ++code)
        if (m_fingers[slot(static_cast<unsigned char>(code))] == finger)
            out += static_cast<char>(code);
    return out;
}

std::optional<unsigned char> overrideCharacter(std::string_view key)
{
    if (key.size() == 1 && isPracticeCode(static_cast<unsigned char>(key[0])))
        return static_cast<unsigned char>(key[0]);
    if (key.size() == 4 && key[0] == '0' && (key[1] == 'x' || key[1] == 'X')) {
        const int high = hexDigitValue(key[2]), low = hexDigitValue(key[3]);
        if (high >= 0 && low >= 0 && isPracticeCode(high * 16 + low))
            return static_cast<unsigned char>(high * 16 + low);
    }
    return std::nullopt;
}

FingerMap::Applied FingerMap::withOverrides(
    const std::vector<std::pair<std::string, std::string>>& entries) const
{
    Applied applied { *this, {} };
    std::array<bool, CodeCount> named {};
    std::vector<std::string> ignored;
    for (const auto& [key, value] : entries) {
        const std::optional<unsigned char> code = overrideCharacter(key);
        const std::optional<Finger> finger = fingerFromKey(value);
        if (!code || !finger || named[slot(*code)]) {
            ignored.push_back(quoted(key, value));
            continue;
        }
        named[slot(*code)] = true;
        applied.map.m_fingers[slot(*code)] = *finger;
    }
    if (ignored.empty())
        return applied;
    // One line: the first few quoted, the rest counted.
    constexpr std::size_t Shown = 3;
    std::string& status = applied.status;
    status = "[Fingers] の " + std::to_string(ignored.size()) + " 行を無視しました: ";
    for (std::size_t i = 0; i < std::min(Shown, ignored.size()); ++i)
        status += (i ? "、" : "") + ignored[i];
    if (ignored.size() > Shown)
        status += " ほか " + std::to_string(ignored.size() - Shown) + " 行";
    return applied;
}

FingerMap::Applied fingerMapFromIni(const std::string& iniPath)
{
    if (iniTooLarge(iniPath))
        throw std::runtime_error(iniPath + " " + IniTooLargeText);
    return FingerMap::standard().withOverrides(readIniSection(iniPath, FingersSection));
}

std::string fingerRows(Finger finger)
{
    return std::string(FingerRowsPrefix) + std::string(fingerKey(finger));
}

std::optional<Finger> fingerOfRows(std::string_view rows)
{
    if (!rows.starts_with(FingerRowsPrefix))
        return std::nullopt;
    rows.remove_prefix(FingerRowsPrefix.size());
    // Exactly as written, so that one finger's drills are one kind.
    for (std::size_t i = 0; i < FingerCount; ++i)
        if (rows == Keys[i])
            return static_cast<Finger>(i);
    return std::nullopt;
}

} // namespace touchdrill::figures
