// SPDX-License-Identifier: GPL-3.0-or-later
// Arbitrary bytes as a drill's answer blob: refused with AnswerBlobError or read, and what is read
// is written back to the very same bytes. The same bytes taken as answers come back from their blob.
#include "drill/keystats.h"
#include "history/answercodec.h"

#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

using namespace touchdrill;
using namespace touchdrill::history;

namespace {

void check(bool ok)
{
    if (!ok)
        std::abort();
}

uint32_t read32(const uint8_t* p)
{
    return uint32_t { p[0] } | uint32_t { p[1] } << 8 | uint32_t { p[2] } << 16 | uint32_t { p[3] } << 24;
}

// Answers from the bytes, six a piece: the target, how many wrong keys (0..3, each taking the
// next piece's bytes as its byte and time), and the time; the last one unanswered when the
// length is odd.
std::vector<Answer> answersFrom(const uint8_t* data, std::size_t size)
{
    std::vector<Answer> answers;
    unsigned char previous = 0;
    for (std::size_t at = 0; at + 6 <= size; at += 6) {
        Answer answer;
        answer.target = static_cast<unsigned char>(FirstCode + data[at] % CodeCount);
        answer.previous = previous;
        answer.ms = read32(data + at + 2);
        for (int wrong = data[at + 1] % 4; wrong > 0 && at + 12 <= size; --wrong) {
            at += 6;
            answer.wrongKeys.push_back({ data[at], read32(data + at + 1) });
        }
        previous = answer.target;
        answers.push_back(std::move(answer));
    }
    // An odd length: the drill ended before the last target's right key.
    if (!answers.empty() && size % 2 == 1) {
        answers.back().answered = false;
        answers.back().ms = 0;
    }
    return answers;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    try {
        const std::vector<Answer> answers = decodeAnswers(std::span(data, size));
        // Every answer and wrong key takes at least two bytes of the blob.
        std::size_t wrongKeys = 0;
        for (const Answer& answer : answers)
            wrongKeys += answer.wrongKeys.size();
        check(2 * (answers.size() + wrongKeys) <= size);
        check(encodeAnswers(answers) == std::vector<uint8_t>(data, data + size));
        // A character's times read straight from the blob: its answered ones, in order.
        const unsigned char code = answers.empty() ? 'a' : answers.front().target;
        std::vector<uint32_t> times;
        for (const Answer& answer : answers)
            if (answer.target == code && answer.answered)
                times.push_back(answer.ms);
        check(answerTimesOf(std::span(data, size), code) == times);
    } catch (const AnswerBlobError&) {
        // Refused by one reader, refused by the other.
        bool refused = false;
        try {
            answerTimesOf(std::span(data, size), 'a');
        } catch (const AnswerBlobError&) {
            refused = true;
        }
        check(refused);
    }

    // The same bytes as one character's times: refused, or written back to the very same bytes.
    try {
        check(encodeTimes(decodeTimes(std::span(data, size))) == std::vector<uint8_t>(data, data + size));
    } catch (const AnswerBlobError&) {
    }

    const std::vector<Answer> answers = answersFrom(data, size);
    check(decodeAnswers(encodeAnswers(answers)) == answers);
    return 0;
}
