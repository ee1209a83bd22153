// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/apptext.h"

#include <array>

namespace touchdrill {

std::string applicationTitle(std::string_view executablePath)
{
    std::string_view name = executablePath;
    if (const auto slash = name.find_last_of('/'); slash != std::string_view::npos)
        name.remove_prefix(slash + 1);
    name = name.substr(0, name.find('.'));
    std::string title(name);
    // Only ASCII letters change case, so a UTF-8 name stays whole.
    for (std::size_t i = 1; i < title.size(); ++i)
        if (title[i] >= 'A' && title[i] <= 'Z')
            title[i] = static_cast<char>(title[i] - 'A' + 'a');
    return title;
}

std::string withFinalStop(std::string message)
{
    if (!message.empty() && static_cast<unsigned char>(message.back()) > static_cast<unsigned char>('.'))
        message += '.';
    return message;
}

namespace {

// The full-width forms of the half-width katakana 0xA1-0xDF, in byte order: what a kana key types
// where the keyboard map gives full-width kana.
// clang-format off
constexpr std::array<char32_t, LastKanaByte - FirstKanaByte + 1> FullWidthKana {
    U'。', U'「', U'」', U'、', U'・', U'ヲ', U'ァ', U'ィ', U'ゥ', U'ェ', U'ォ', U'ャ', U'ュ', U'ョ', U'ッ', //
    U'ー', U'ア', U'イ', U'ウ', U'エ', U'オ', U'カ', U'キ', U'ク', U'ケ', U'コ', U'サ', U'シ', U'ス', U'セ', U'ソ', //
    U'タ', U'チ', U'ツ', U'テ', U'ト', U'ナ', U'ニ', U'ヌ', U'ネ', U'ノ', U'ハ', U'ヒ', U'フ', U'ヘ', U'ホ', U'マ', //
    U'ミ', U'ム', U'メ', U'モ', U'ヤ', U'ユ', U'ヨ', U'ラ', U'リ', U'ル', U'レ', U'ロ', U'ワ', U'ン', U'゛', U'゜'
};
// clang-format on

} // namespace

std::optional<unsigned char> typedByte(char32_t typed)
{
    if (typed < 0x20 || (typed >= 0x7F && typed < 0xA0))
        return std::nullopt;
    if (typed < 0x80)
        return static_cast<unsigned char>(typed);
    if (typed == U'¥')
        return static_cast<unsigned char>('\\');
    if (typed >= FirstHalfWidthKana && typed < FirstHalfWidthKana + FullWidthKana.size())
        return static_cast<unsigned char>(FirstKanaByte + (typed - FirstHalfWidthKana));
    for (std::size_t i = 0; i < FullWidthKana.size(); ++i)
        if (FullWidthKana[i] == typed)
            return static_cast<unsigned char>(FirstKanaByte + i);
    return OtherCharacter;
}

} // namespace touchdrill
