// SPDX-License-Identifier: GPL-3.0-or-later
// A drill's answers as one blob: every answer comes back as it was, the bytes stay within the
// budget on a realistic learner's drills, and damaged bytes are refused without reading past them.
#include "history/answercodec.h"

#include "drill/keystats.h"
#include "tests/support/learnermodel.h"

#include <gtest/gtest.h>

#include <array>
#include <iostream>
#include <optional>

using namespace touchdrill;
using namespace touchdrill::history;
using Reason = AnswerBlobError::Reason;

namespace {

// Answers in order, each's `previous` set from the one before.
std::vector<Answer> drill(std::vector<Answer> answers)
{
    unsigned char previous = 0;
    for (Answer& answer : answers) {
        answer.previous = previous;
        previous = answer.target;
    }
    return answers;
}

std::vector<WrongKey> manyWrongKeys(std::size_t count)
{
    std::vector<WrongKey> keys;
    for (std::size_t i = 0; i < count; ++i)
        keys.push_back({ static_cast<unsigned char>(i), static_cast<uint32_t>(i * 37) });
    return keys;
}

} // namespace

TEST(AnswerCodec, roundTrip)
{
    struct Row {
        const char* name;
        std::vector<Answer> answers;
        std::vector<uint8_t> bytes; // checked where given: files written today must read tomorrow
    };
    const Row table[] = {
        { "empty drill", {}, { 0x01, 0x00 } },
        { "one answer at 0 ms", drill({ { '!', 0, 0, {} } }), { 0x01, 0x01, '!', 0x00 } },
        { "a wrong key before the right one: deltas within the answer",
            drill({ { 'a', 0, 700, { { 's', 300 } } } }), { 0x01, 0x01, 'a', 0xd9, 0x04, 's', 0xa0, 0x06 } },
        { "2^32-1 ms in five bytes", drill({ { '~', 0, UINT32_MAX, {} } }),
            { 0x01, 0x01, '~', 0xfe, 0xff, 0xff, 0xff, 0x1f } },
        { "a wrong key later than the right key wraps and comes back",
            drill({ { 'a', 0, 5, { { 0, UINT32_MAX }, { 255, 3 } } } }), {} },
        { "any byte as a wrong key, the target itself included",
            drill({ { 'q', 0, 900, { { 0, 1 }, { 'q', 2 }, { 0x80, 3 }, { 0xff, 4 } } } }), {} },
        { "200 wrong keys", drill({ { 'z', 0, 90'000, manyWrongKeys(200) } }), {} },
        { "answers chain their previous targets",
            drill({ { 'a', 0, 400, {} }, { 'a', 0, 350, {} }, { '\\', 0, 1200, { { ']', 600 } } },
                { 'A', 0, 16384, {} } }),
            {} },
        { "the last target unanswered: top bit of the format, its wrong keys, a closing 0",
            drill({ { 'a', 0, 400, {} }, { 'b', 0, 0, { { 'v', 300 }, { 'n', 900 } }, false } }),
            { 0x81, 0x02, 'a', 0xa0, 0x06, 'b', 0xd9, 0x04, 'v', 0xb1, 0x09, 'n', 0x00 } },
        { "an unanswered first and only answer", drill({ { '~', 0, 0, { { ' ', UINT32_MAX } }, false } }),
            {} },
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        const std::vector<uint8_t> blob = encodeAnswers(row.answers);
        if (!row.bytes.empty()) {
            EXPECT_EQ(blob, row.bytes);
        }
        EXPECT_EQ(decodeAnswers(blob), row.answers);
        // A character's times read straight from the blob are its answered ones, in order.
        for (const unsigned char code : { 'a', 'b', '~' }) {
            std::vector<uint32_t> times;
            for (const Answer& answer : row.answers)
                if (answer.target == code && answer.answered)
                    times.push_back(answer.ms);
            EXPECT_EQ(answerTimesOf(blob, code), times) << code;
        }
    }
}

TEST(AnswerCodec, damagedBlobsRefused)
{
    struct Row {
        const char* name;
        std::vector<uint8_t> bytes;
        Reason reason;
    };
    const Row table[] = {
        { "no bytes", {}, Reason::CutOff },
        { "a later format", { 0x02, 0x00 }, Reason::UnknownFormat },
        { "count 0 written in two bytes", { 0x01, 0x80, 0x00 }, Reason::BadInteger },
        { "a time beyond 33 bits", { 0x01, 0x01, 'a', 0xff, 0xff, 0xff, 0xff, 0x3f }, Reason::BadInteger },
        { "a sixth integer byte", { 0x01, 0x01, 'a', 0x80, 0x80, 0x80, 0x80, 0x80, 0x01 },
            Reason::BadInteger },
        { "2^32-1 answers in five bytes", { 0x01, 0xff, 0xff, 0xff, 0xff, 0x0f }, Reason::CountTooLarge },
        { "two answers, bytes for one", { 0x01, 0x02, 'a', 0x0a }, Reason::CountTooLarge },
        { "a time cut off", { 0x01, 0x01, 'a', 0x85 }, Reason::CutOff },
        { "a wrong key without its byte", { 0x01, 0x01, 'a', 0x0b }, Reason::CutOff },
        { "wrong keys to the end, no right key", { 0x01, 0x01, 'a', 0x0b, 's', 0x03, 's' }, Reason::CutOff },
        { "a space as target", { 0x01, 0x01, ' ', 0x0a }, Reason::BadTarget },
        { "DEL as target", { 0x01, 0x01, 0x7f, 0x0a }, Reason::BadTarget },
        { "a byte after the last answer", { 0x01, 0x01, 'a', 0x0a, 0x00 }, Reason::TrailingBytes },
        { "other flag bits of the format", { 0x41, 0x00 }, Reason::UnknownFormat },
        { "unanswered mark on a drill without answers", { 0x81, 0x00 }, Reason::BadUnanswered },
        { "unanswered last answer with a time", { 0x81, 0x01, 'a', 0x0b, 's', 0x02 }, Reason::BadUnanswered },
        { "unanswered last answer without its closing 0", { 0x81, 0x01, 'a', 0x0b, 's' }, Reason::CutOff },
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        try {
            decodeAnswers(row.bytes);
            ADD_FAILURE() << "decoded";
        } catch (const AnswerBlobError& error) {
            EXPECT_EQ(error.reason(), row.reason) << error.what();
        }
        EXPECT_THROW(answerTimesOf(row.bytes, 'a'), AnswerBlobError);
    }

    // Every cut of a drill is refused, at an answer's end too.
    const std::vector<uint8_t> whole = encodeAnswers(drill(
        { { 'a', 0, 700, { { 's', 300 } } }, { 'b', 0, 20'000, {} }, { 'c', 0, 0, manyWrongKeys(3) } }));
    for (std::size_t size = 0; size < whole.size(); ++size) {
        SCOPED_TRACE(size);
        EXPECT_THROW(decodeAnswers(std::span(whole).first(size)), AnswerBlobError);
    }
}

// A character's times in one drill, as kept beside its counts.
TEST(AnswerCodec, timesComeBackOrAreRefused)
{
    struct Row {
        const char* name;
        std::vector<uint8_t> bytes;
        std::optional<std::vector<uint32_t>> times; // none: refused
    };
    const Row table[] = {
        { "none", {}, std::vector<uint32_t> {} },
        { "0, 127, 128 and 2^32-1", { 0x00, 0x7f, 0x80, 0x01, 0xff, 0xff, 0xff, 0xff, 0x0f },
            std::vector<uint32_t> { 0, 127, 128, UINT32_MAX } },
        { "2^32", { 0x80, 0x80, 0x80, 0x80, 0x10 }, std::nullopt },
        { "a longer form", { 0x85, 0x00 }, std::nullopt },
        { "cut off", { 0x85 }, std::nullopt },
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        if (!row.times) {
            EXPECT_THROW(decodeTimes(row.bytes), AnswerBlobError);
            continue;
        }
        EXPECT_EQ(decodeTimes(row.bytes), *row.times);
        EXPECT_EQ(encodeTimes(*row.times), row.bytes);
    }
}

TEST(AnswerCodec, answersNoDrillGivesRefused)
{
    EXPECT_THROW(encodeAnswers({ { ' ', 0, 400, {} } }), std::invalid_argument);
    EXPECT_THROW(encodeAnswers({ { 'a', 'b', 400, {} } }), std::invalid_argument); // first has none
    EXPECT_THROW(encodeAnswers({ { 'a', 0, 400, {} }, { 'b', 'c', 400, {} } }), std::invalid_argument);
    // Only the last may lack its right key, and then it has no time.
    EXPECT_THROW(encodeAnswers({ { 'a', 0, 0, {}, false }, { 'b', 'a', 400, {} } }), std::invalid_argument);
    EXPECT_THROW(encodeAnswers({ { 'a', 0, 400, { { 's', 5 } }, false } }), std::invalid_argument);
}

// 10,000 drills of every row, 600 answers each, from a learner whose times are ex-Gaussian with
// means of about 400 to 1500 ms by key and who types a wrong key about once in 20 answers.
TEST(AnswerCodec, budgetOnRealisticDrills)
{
    constexpr int Drills = 10'000;
    constexpr int AnswersPerDrill = 600;
    touchdrill::testing::Learner learner(20261207);
    std::array<touchdrill::testing::ExGaussian, CodeCount> keys;
    for (auto& key : keys)
        key = { 350 + 500 * learner.uniform(), 40 + 60 * learner.uniform(), 100 + 500 * learner.uniform() };

    uint64_t answers = 0, wrongKeys = 0, bytes = 0, bytesWithoutWrongKeys = 0;
    std::vector<Answer> answersOfDrill(AnswersPerDrill);
    for (int d = 0; d < Drills; ++d) {
        unsigned char previous = 0;
        for (Answer& answer : answersOfDrill) {
            answer.target = static_cast<unsigned char>(FirstCode + learner.below(CodeCount));
            answer.previous = previous;
            previous = answer.target;
            const auto& key = keys[answer.target - FirstCode];
            answer.wrongKeys.clear();
            uint32_t at = 0;
            // Another wrong key after one is likelier: a finger off its home key misses twice.
            for (double chance = 0.04; learner.uniform() < chance; chance = 0.2)
                answer.wrongKeys.push_back({ static_cast<unsigned char>(FirstCode + learner.below(CodeCount)),
                    at += learner.ms(key) });
            answer.ms = at + learner.ms(key);
            wrongKeys += answer.wrongKeys.size();
        }
        // One drill in ten ends on a target whose right key never came.
        Answer& last = answersOfDrill.back();
        last.answered = d % 10 != 0;
        if (!last.answered) {
            last.ms = 0;
            last.wrongKeys.push_back({ 'x', (last.wrongKeys.empty() ? 0 : last.wrongKeys.back().ms) + 100 });
            ++wrongKeys;
        }
        answers += answersOfDrill.size();
        const std::vector<uint8_t> blob = encodeAnswers(answersOfDrill);
        bytes += blob.size();
        if (d % 100 == 0) {
            ASSERT_EQ(decodeAnswers(blob), answersOfDrill);
        }
        for (Answer& answer : answersOfDrill)
            answer.wrongKeys.clear();
        last.answered = true;
        bytesWithoutWrongKeys += encodeAnswers(answersOfDrill).size();
    }
    const double perAnswer = double(bytesWithoutWrongKeys) / double(answers);
    const double perWrongKey = double(bytes - bytesWithoutWrongKeys) / double(wrongKeys);
    std::cout << "answer blobs: " << Drills << " drills, " << answers << " answers, " << wrongKeys
              << " wrong keys (" << 100.0 * double(wrongKeys) / double(answers) << " %): " << bytes
              << " bytes, " << perAnswer << " bytes per answer, " << perWrongKey << " more per wrong key, "
              << double(bytes) / Drills << " bytes per drill\n";
    EXPECT_NEAR(double(wrongKeys) / double(answers), 0.05, 0.005); // the learner as described
    EXPECT_LE(bytes, 4 * answers + 3 * wrongKeys);
}
