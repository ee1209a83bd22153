// SPDX-License-Identifier: GPL-3.0-or-later
#include "history/answercodec.h"

#include "drill/keystats.h"

#include <limits>

namespace touchdrill::history {

namespace {

constexpr uint8_t Format = 1;

std::string reasonText(AnswerBlobError::Reason reason)
{
    using Reason = AnswerBlobError::Reason;
    switch (reason) {
    case Reason::UnknownFormat:
        return "練習の回答の記録は新しい版の形式か、壊れています";
    case Reason::CutOff:
        return "練習の回答の記録が途中で切れています";
    case Reason::BadInteger:
    case Reason::CountTooLarge:
    case Reason::BadTarget:
    case Reason::TrailingBytes:
        break;
    }
    return "練習の回答の記録が壊れています";
}

void putVarint(std::vector<uint8_t>& out, uint64_t value)
{
    while (value >= 0x80) {
        out.push_back(static_cast<uint8_t>(value | 0x80));
        value >>= 7;
    }
    out.push_back(static_cast<uint8_t>(value));
}

void putStep(std::vector<uint8_t>& out, uint32_t step, bool wrong)
{
    putVarint(out, uint64_t { step } << 1 | uint64_t { wrong });
}

class Reader {
public:
    explicit Reader(std::span<const uint8_t> bytes)
        : m_bytes(bytes)
    {
    }

    std::size_t left() const { return m_bytes.size() - m_at; }

    uint8_t byte()
    {
        if (m_at == m_bytes.size())
            throw AnswerBlobError(AnswerBlobError::Reason::CutOff);
        return m_bytes[m_at++];
    }

    // At most 33 bits, in five bytes at most.
    uint64_t varint()
    {
        uint64_t value = 0;
        for (unsigned shift = 0;; shift += 7) {
            const uint8_t b = byte();
            // The fifth byte holds the top 5 bits; a last byte of 0 after others is a longer form.
            if ((shift == 28 && b > 0x1f) || (shift > 0 && b == 0))
                throw AnswerBlobError(AnswerBlobError::Reason::BadInteger);
            value |= uint64_t { b & 0x7fu } << shift;
            if (!(b & 0x80))
                return value;
        }
    }

private:
    std::span<const uint8_t> m_bytes;
    std::size_t m_at = 0;
};

} // namespace

AnswerBlobError::AnswerBlobError(Reason reason)
    : std::runtime_error(reasonText(reason))
    , m_reason(reason)
{
}

std::vector<uint8_t> encodeAnswers(const std::vector<Answer>& answers)
{
    if (answers.size() > std::numeric_limits<uint32_t>::max())
        throw std::invalid_argument("encodeAnswers: too many answers");
    std::vector<uint8_t> out;
    // Most answers take 3 bytes: the target and a two-byte time.
    out.reserve(2 + answers.size() * 3);
    out.push_back(Format);
    putVarint(out, answers.size());
    unsigned char previous = 0;
    for (const Answer& answer : answers) {
        if (!isPracticeCode(answer.target))
            throw std::invalid_argument("encodeAnswers: target outside '!'..'~'");
        if (answer.previous != previous)
            throw std::invalid_argument("encodeAnswers: previous is not the target before");
        out.push_back(answer.target);
        uint32_t last = 0;
        for (const WrongKey& wrong : answer.wrongKeys) {
            putStep(out, wrong.ms - last, true);
            out.push_back(wrong.typed);
            last = wrong.ms;
        }
        putStep(out, answer.ms - last, false);
        previous = answer.target;
    }
    return out;
}

std::vector<Answer> decodeAnswers(std::span<const uint8_t> blob)
{
    using Reason = AnswerBlobError::Reason;
    Reader in(blob);
    if (in.byte() != Format)
        throw AnswerBlobError(Reason::UnknownFormat);
    // An answer takes at least two bytes, its target and its time; wrong keys take two bytes each
    // too, so that no count read here can ask for more than the blob's size.
    const uint64_t count = in.varint();
    if (count > in.left() / 2)
        throw AnswerBlobError(Reason::CountTooLarge);
    std::vector<Answer> answers(count);
    unsigned char previous = 0;
    for (Answer& answer : answers) {
        answer.target = in.byte();
        if (!isPracticeCode(answer.target))
            throw AnswerBlobError(Reason::BadTarget);
        answer.previous = previous;
        uint32_t last = 0;
        for (;;) {
            const uint64_t step = in.varint();
            last += static_cast<uint32_t>(step >> 1);
            if (!(step & 1))
                break;
            answer.wrongKeys.push_back({ in.byte(), last });
        }
        answer.ms = last;
        previous = answer.target;
    }
    if (in.left() != 0)
        throw AnswerBlobError(Reason::TrailingBytes);
    return answers;
}

} // namespace touchdrill::history
