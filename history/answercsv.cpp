// SPDX-License-Identifier: GPL-3.0-or-later
// Every answer of the history as CSV: one row per answer, UTF-8, RFC 4180.
#include "history/answercsv.h"

#include "drill/codepage.h"
#include "history/historycsv.h"

#include <cstdio>

namespace touchdrill::history {

std::string wrongKeyText(unsigned char typed)
{
    // The space separates the items and '@' ends a key: both as hexadecimal, as keyText() writes
    // a byte without a character.
    if (typed == ' ' || typed == '@') {
        char text[8];
        std::snprintf(text, sizeof text, "0x%02X", static_cast<unsigned>(typed));
        return text;
    }
    return keyText(typed);
}

std::string wrongKeysText(const std::vector<WrongKey>& wrongKeys)
{
    std::string text;
    for (const WrongKey& key : wrongKeys) {
        if (!text.empty())
            text += ' ';
        text += wrongKeyText(key.typed);
        text += '@';
        text += std::to_string(key.ms);
    }
    return text;
}

bool appendAnswerCsvRows(const DrillRecord& drill, std::string& out)
{
    if (!drill.answers)
        return false;
    // The same for every row of the drill, so worked out once.
    std::string drillFields = std::to_string(drill.id) + ',' + localTimeText(drill.startedUtcMs) + ','
        + csvField(utf8Text(drill.rows)) + ',';
    if (drill.poolSize != 0)
        drillFields += std::to_string(drill.poolSize);
    drillFields += ',';
    std::size_t number = 0;
    for (const Answer& answer : *drill.answers) {
        out += drillFields;
        out += std::to_string(++number);
        out += ',';
        if (answer.previous != 0)
            out += csvField(keyText(answer.previous));
        out += ',';
        out += csvField(keyText(answer.target));
        out += ',';
        if (answer.answered)
            out += std::to_string(answer.ms);
        out += ',';
        out += csvField(wrongKeysText(answer.wrongKeys));
        out += "\r\n";
    }
    return true;
}

} // namespace touchdrill::history
