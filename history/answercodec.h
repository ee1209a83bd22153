// SPDX-License-Identifier: GPL-3.0-or-later
// Every answer of one drill, in order, and the compact blob the practice history keeps them in.
//
// The blob is bytes and unsigned LEB128 integers (7 bits a byte, low bits first, the top bit set on
// every byte but the last), each at most 33 bits and written in its shortest form:
//
//   blob    = format (one byte)  count of answers  answer * count
//   format  = 0x01 (every answer has its right key) | 0x81 (the last answer has none)
//   answer  = target (one byte, '!'..'~')  wrong * any  right
//   wrong   = (step << 1 | 1)  typed (one raw byte)
//   right   = (step << 1 | 0)
//
// A drill that ended before its last target's right key came (answered == false) sets the top bit
// of the format byte; that answer keeps its wrong keys and ends with a right step of 0 (the byte
// 0x00), which stands for no key, and its ms is 0. A drill without answers has no last answer,
// so 0x81 with a count of 0 is refused.
//
// Each step is a key's time less the one before it within the answer (less 0 for the first key),
// modulo 2^32: times within an answer only grow, so a step is one typing time (one byte below
// 64 ms, two up to 8191 ms), and any 32-bit times still come back as they were. A wrong key so
// costs its byte and its time, with no count ahead. The target before each answer is not stored:
// it is the previous answer's target. The count of answers up front tells a blob cut off at an
// answer's end from a shorter drill.
//
// A blob read back is held to what the encoder writes, so that each drill has one blob: the format
// byte, a count no larger than the bytes left could hold (so a damaged count allocates no more than
// the blob's size allows), the shortest form of every integer, targets '!'..'~', nothing after the
// last answer. Anything else is refused whole.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace touchdrill::history {

// A key typed while the target was on show, other than the target.
struct WrongKey {
    unsigned char typed = 0; // any byte
    uint32_t ms = 0; // when it came, from the target's showing
    bool operator==(const WrongKey&) const = default;
};

// One target of a drill, from its showing to its right key.
struct Answer {
    unsigned char target = 0; // '!'..'~'
    unsigned char previous = 0; // the target before it; 0 for a drill's first answer
    uint32_t ms = 0; // to the right key, as the results list adds it up
    std::vector<WrongKey> wrongKeys; // in the order typed
    // False only for a drill's last target when the drill ended before its right key came: its
    // wrong keys count as the results list counts them, its ms is 0 and is no time.
    bool answered = true;
    bool operator==(const Answer&) const = default;
};

// A blob that is not one the encoder wrote: damaged, cut off, or of a later format.
class AnswerBlobError : public std::runtime_error {
public:
    enum class Reason {
        UnknownFormat, // the first byte is not a format this program writes
        CutOff, // the bytes end within an integer or before the last answer
        BadInteger, // an integer beyond 33 bits or not in its shortest form
        CountTooLarge, // more answers than the bytes left can hold
        BadTarget, // a target outside '!'..'~'
        TrailingBytes, // bytes after the last answer
        BadUnanswered, // an unanswered mark without answers, or an unanswered answer with a time
    };
    explicit AnswerBlobError(Reason reason);
    Reason reason() const { return m_reason; }

private:
    Reason m_reason;
};

// The blob of a drill's answers, oldest first. Throws std::invalid_argument for answers no drill
// gives: a target outside '!'..'~', a `previous` other than the target before it, an unanswered
// answer other than the last or with an ms other than 0, or more than 2^32 - 1 answers.
std::vector<uint8_t> encodeAnswers(const std::vector<Answer>& answers);

// The answers of a blob encodeAnswers() wrote. Any other bytes throw AnswerBlobError; no read
// goes beyond `blob`, and no more is allocated than its size allows.
std::vector<Answer> decodeAnswers(std::span<const uint8_t> blob);

// The milliseconds of `code`'s right keys in a blob, in order, read without building its answers:
// what a character's chart needs of each drill. Refuses what decodeAnswers() refuses.
std::vector<uint32_t> answerTimesOf(std::span<const uint8_t> blob, unsigned char code);

// One character's right-key times in a drill as the history keeps them beside its counts: each an
// unsigned LEB128 integer of at most 32 bits in its shortest form, nothing else. decodeTimes()
// throws AnswerBlobError (BadInteger, CutOff) for any other bytes.
std::vector<uint8_t> encodeTimes(std::span<const uint32_t> times);
std::vector<uint32_t> decodeTimes(std::span<const uint8_t> bytes);

} // namespace touchdrill::history
