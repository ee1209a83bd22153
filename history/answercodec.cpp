// SPDX-License-Identifier: GPL-3.0-or-later
#include "history/answercodec.h"

#include "drill/keystats.h"

#include <limits>
#include <utility>

namespace touchdrill::history {

namespace {

constexpr uint8_t Format = 1;
constexpr uint8_t LastUnanswered = 0x80; // set in the format byte

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
    case Reason::BadUnanswered:
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

// Reads a blob as the encoder writes it, handing each piece to `sink` as it comes; anything else
// throws AnswerBlobError.
template <typename Sink> void walkAnswers(std::span<const uint8_t> blob, Sink& sink)
{
    using Reason = AnswerBlobError::Reason;
    Reader in(blob);
    const uint8_t format = in.byte();
    if ((format & ~LastUnanswered) != Format)
        throw AnswerBlobError(Reason::UnknownFormat);
    const bool lastUnanswered = (format & LastUnanswered) != 0;
    // An answer takes at least two bytes, its target and its time; wrong keys take two bytes each
    // too, so that no count read here can ask for more than the blob's size.
    const uint64_t count = in.varint();
    if (count > in.left() / 2)
        throw AnswerBlobError(Reason::CountTooLarge);
    if (lastUnanswered && count == 0)
        throw AnswerBlobError(Reason::BadUnanswered);
    sink.reserve(count);
    for (uint64_t i = 0; i < count; ++i) {
        const uint8_t target = in.byte();
        if (!isPracticeCode(target))
            throw AnswerBlobError(Reason::BadTarget);
        sink.target(target);
        // The last answer of a drill that ended before its right key closes with a step of 0.
        const bool open = lastUnanswered && i + 1 == count;
        uint32_t last = 0;
        for (;;) {
            const uint64_t step = in.varint();
            if (!(step & 1)) {
                if (!open)
                    sink.right(last + static_cast<uint32_t>(step >> 1));
                else if (step != 0)
                    throw AnswerBlobError(Reason::BadUnanswered);
                else
                    sink.unanswered();
                break;
            }
            last += static_cast<uint32_t>(step >> 1);
            sink.wrong(in.byte(), last);
        }
    }
    if (in.left() != 0)
        throw AnswerBlobError(Reason::TrailingBytes);
}

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
    const bool lastUnanswered = !answers.empty() && !answers.back().answered;
    out.push_back(lastUnanswered ? Format | LastUnanswered : Format);
    putVarint(out, answers.size());
    unsigned char previous = 0;
    for (const Answer& answer : answers) {
        if (!isPracticeCode(answer.target))
            throw std::invalid_argument("encodeAnswers: target outside '!'..'~'");
        if (answer.previous != previous)
            throw std::invalid_argument("encodeAnswers: previous is not the target before");
        if (!answer.answered && (&answer != &answers.back() || answer.ms != 0))
            throw std::invalid_argument("encodeAnswers: an unanswered answer not last or with a time");
        out.push_back(answer.target);
        uint32_t last = 0;
        for (const WrongKey& wrong : answer.wrongKeys) {
            putStep(out, wrong.ms - last, true);
            out.push_back(wrong.typed);
            last = wrong.ms;
        }
        putStep(out, answer.answered ? answer.ms - last : 0, false);
        previous = answer.target;
    }
    return out;
}

std::vector<Answer> decodeAnswers(std::span<const uint8_t> blob)
{
    struct Sink {
        std::vector<Answer> answers;
        unsigned char previous = 0;
        void reserve(std::size_t count) { answers.reserve(count); }
        void target(unsigned char target)
        {
            answers.push_back({ target, previous, 0, {}, true });
            previous = target;
        }
        void wrong(unsigned char typed, uint32_t ms) { answers.back().wrongKeys.push_back({ typed, ms }); }
        void right(uint32_t ms) { answers.back().ms = ms; }
        void unanswered() { answers.back().answered = false; }
    } sink;
    walkAnswers(blob, sink);
    return std::move(sink.answers);
}

std::vector<uint32_t> answerTimesOf(std::span<const uint8_t> blob, unsigned char code)
{
    struct Sink {
        unsigned char code = 0;
        bool current = false;
        std::vector<uint32_t> times;
        void reserve(std::size_t) { }
        void target(unsigned char target) { current = target == code; }
        void wrong(unsigned char, uint32_t) { }
        void right(uint32_t ms)
        {
            if (current)
                times.push_back(ms);
        }
        void unanswered() { }
    } sink;
    sink.code = code;
    walkAnswers(blob, sink);
    return std::move(sink.times);
}

std::vector<uint8_t> encodeTimes(std::span<const uint32_t> times)
{
    std::vector<uint8_t> out;
    out.reserve(times.size() * 2);
    for (const uint32_t ms : times)
        putVarint(out, ms);
    return out;
}

std::vector<uint32_t> decodeTimes(std::span<const uint8_t> bytes)
{
    Reader in(bytes);
    std::vector<uint32_t> times;
    times.reserve(bytes.size());
    while (in.left() != 0) {
        const uint64_t ms = in.varint();
        if (ms > UINT32_MAX)
            throw AnswerBlobError(AnswerBlobError::Reason::BadInteger);
        times.push_back(static_cast<uint32_t>(ms));
    }
    return times;
}

} // namespace touchdrill::history
