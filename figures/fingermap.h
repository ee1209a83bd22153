// SPDX-License-Identifier: GPL-3.0-or-later
// Which finger types each practice character on the JIS keyboard, and which need the Shift key:
// the home-position assignment built in, changed character by character by the INI's [Fingers].
//
// A Shift character is typed by the finger of its key while the other hand's little finger holds
// Shift; the map records the key's finger and that it is shifted, and the Shift hand follows.
//
// [Fingers] holds one line per character, `6=left-index`: the key names the character itself
// (case-sensitive, `Q` is not `q`) or by its code as `0x` and two hex digits (`0x3d` for `=`),
// the form for the characters an INI key cannot hold or begin with (`=`, `;`, `[`). The value is
// one of the FingerNames. A Shift character is its own entry: `6=left-index` leaves `&` as it was.
#pragma once

#include "drill/drillkinds.h"
#include "drill/keystats.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace touchdrill::figures {

// Left to right across the keyboard, so that the left hand's fingers come first.
enum class Finger : uint8_t {
    LeftLittle,
    LeftRing,
    LeftMiddle,
    LeftIndex,
    RightIndex,
    RightMiddle,
    RightRing,
    RightLittle,
};
inline constexpr std::size_t FingerCount = 8;

enum class Hand : uint8_t { Left, Right };

constexpr Hand handOf(Finger finger)
{
    return static_cast<int>(finger) < 4 ? Hand::Left : Hand::Right;
}
constexpr std::size_t indexOf(Finger finger)
{
    return static_cast<std::size_t>(finger);
}

// The names [Fingers] takes, in Finger's order ("left-little" ... "right-little").
std::string_view fingerKey(Finger finger);
std::optional<Finger> fingerFromKey(std::string_view key); // ASCII case ignored
// 「左手の小指」 ... 「右手の小指」; 「左手」, 「右手」.
std::string fingerName(Finger finger);
std::string handName(Hand hand);

// The INI section of the overrides.
inline constexpr std::string_view FingersSection = "Fingers";

class FingerMap {
public:
    // The home-position assignment of the JIS keyboard (see the README's table).
    static const FingerMap& standard();

    // For '!'..'~'; other codes are the right little finger's, unshifted, so that a stray value
    // never indexes outside the map (every caller checks the code first).
    Finger finger(unsigned char code) const { return m_fingers[slot(code)]; }
    bool shifted(unsigned char code) const { return m_shifted[slot(code)]; }
    // The hand that holds Shift for a Shift character: the other hand; nullopt for a plain one.
    std::optional<Hand> shiftHand(unsigned char code) const;

    // The characters of one finger, in code order, each once.
    std::string characters(Finger finger) const;

    // The map with the [Fingers] entries (key, value) applied in order, and the status line's text
    // about the entries it ignored (empty when it took them all): a key that names no practice
    // character, a value that names no finger, or a character named a second time (the first
    // entry wins, as with any INI key).
    struct Applied;
    Applied withOverrides(const std::vector<std::pair<std::string, std::string>>& entries) const;

    bool operator==(const FingerMap&) const = default;

private:
    static std::size_t slot(unsigned char code)
    {
        return isPracticeCode(code) ? static_cast<std::size_t>(code - FirstCode) : CodeCount - 1;
    }
    std::array<Finger, CodeCount> m_fingers {};
    std::array<bool, CodeCount> m_shifted {};
};

struct FingerMap::Applied {
    FingerMap map;
    std::string status; // 「[Fingers] の 2 行を無視しました: 6=thumb、xy=left-index」
};

// The standard map with the [Fingers] section of the INI file at `iniPath` applied; a missing file
// or section is the standard map with no status.
FingerMap::Applied fingerMapFromIni(const std::string& iniPath);

// The character an override's key names: itself, or 0x21..0x7e in hex; nullopt for anything else.
std::optional<unsigned char> overrideCharacter(std::string_view key);

// A drill of one finger's characters records its rows as this prefix and fingerKey(), e.g.
// "finger:right-little"; a drill of the weak keys weighted by their slow transitions as PairsRows.
std::string fingerRows(Finger finger);
// The finger of a "finger:..." rows value; nullopt for any other.
std::optional<Finger> fingerOfRows(std::string_view rows);

} // namespace touchdrill::figures
