// SPDX-License-Identifier: GPL-3.0-or-later
// Writes a made-up week of practice and its best-times file, for the end-to-end run of the progress
// window and the README's picture of it. The learner drills the home row two or three times a day
// and gets faster, from about 1,470 ms to about 950 ms; rests on the fourth day; from the fifth
// day on also drills the upper, home and lower rows, which come slower since the new rows are new
// and more keys may come; and once drills the weak keys. Every drill is of a day before today, in
// the computer's time zone, so that the window counts the week's days as the learner lived them.
// Each drill keeps its answers, drawn from the simulated learner's skewed times around each
// character's level, so that the window shows medians and their spread.
//
// Usage: make_demo_history FOLDER   (writes FOLDER/touchdrill.sqlite and FOLDER/touchdrill.bst)
#include "drill/practiceset.h"
#include "history/historydb.h"
#include "results/besttimesfile.h"
#include "tests/support/learnermodel.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <exception>
#include <map>
#include <string>
#include <string_view>

using namespace touchdrill;

namespace {

constexpr int Days = 7;
constexpr int RestDay = 3;

// A small fixed random walk, so that every run draws the same figures.
uint32_t nextRandom(uint32_t& state)
{
    state = state * 1664525u + 1013904223u;
    return state >> 8;
}

// Milliseconds since the epoch of `hour`:00 local time, `daysAgo` days before today.
int64_t localTime(int daysAgo, int hour)
{
    const std::time_t now = std::time(nullptr);
    std::tm t = *std::localtime(&now);
    t.tm_mday -= daysAgo;
    t.tm_hour = hour;
    t.tm_min = 0;
    t.tm_sec = 0;
    t.tm_isdst = -1;
    return static_cast<int64_t>(std::mktime(&t)) * 1000;
}

// How much slower than the learner's level a character comes, and the key typed instead of it.
struct KeyNature {
    double factor;
    char instead;
};

const std::map<char, KeyNature>& natures()
{
    static const std::map<char, KeyNature> keys = {
        // The home row: g and h, reached sideways, are the slow ones; l is missed for k.
        { 'a', { 0.95, 's' } },
        { 's', { 1.0, 'a' } },
        { 'd', { 0.95, 'f' } },
        { 'f', { 0.85, 'd' } },
        { 'g', { 1.25, 'h' } },
        { 'h', { 1.2, 'g' } },
        { 'j', { 0.85, 'k' } },
        { 'k', { 0.95, 'j' } },
        { 'l', { 1.05, 'k' } },
        // The rows learned later.
        { 'q', { 1.5, 'a' } },
        { 'w', { 1.35, 'e' } },
        { 'e', { 1.2, 'w' } },
        { 'r', { 1.25, 't' } },
        { 't', { 1.4, 'r' } },
        { 'y', { 1.6, 'u' } },
        { 'u', { 1.25, 'y' } },
        { 'i', { 1.2, 'o' } },
        { 'o', { 1.3, 'i' } },
        { 'p', { 1.6, 'o' } },
        { 'z', { 1.6, 'x' } },
        { 'x', { 1.5, 'z' } },
        { 'c', { 1.4, 'v' } },
        { 'v', { 1.35, 'b' } },
        { 'b', { 1.6, 'v' } },
        { 'n', { 1.3, 'm' } },
        { 'm', { 1.3, 'n' } },
    };
    return keys;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_demo_history FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    try {
        auto db = history::HistoryDb::open(folder + "/touchdrill.sqlite", true);
        BestTimes best {};
        uint32_t random = 7;
        testing::Learner learner(7);
        int done = 0; // home-row drills so far
        const int homeDrills = 2 * (Days - 1) + 1; // two a day on six days, three on the last
        auto drill = [&](int day, int hour, const std::string& rows, std::string_view characters) {
            history::DrillRecord record;
            record.startedUtcMs = localTime(Days - day, hour) + (day * 7 % 50) * 60000;
            record.endedUtcMs = record.startedUtcMs + 4 * 60000;
            record.rows = rows;
            // The learner's home-row level, from 1,469 ms down to 948 ms by equal ratios.
            const double level = 1469.0 * std::pow(948.0 / 1469.0, done / double(homeDrills - 1));
            // More keys to choose from take longer: the same level gives a third more over 26 keys.
            const double choice = characters.size() > HomeRow.size() ? 1.3 : 1.0;
            std::map<unsigned char, history::KeyRecord> keys;
            std::vector<history::Answer> answers;
            for (const char c : characters) {
                const KeyNature nature = natures().at(c);
                history::KeyRecord& key = keys[static_cast<unsigned char>(c)];
                key.code = static_cast<unsigned char>(c);
                key.hits = 4 + nextRandom(random) % 4;
                const double average
                    = level * choice * nature.factor * (0.94 + (nextRandom(random) % 120) / 1000.0);
                key.totalMs = static_cast<uint32_t>(std::lround(average * key.hits));
                // The answers: skewed, most near the level and a few long lapses (an ex-Gaussian),
                // scaled to add up to the total, so that the averages, and the line of every
                // character's averages, are those of the totals.
                const testing::ExGaussian times { 0.7 * average, 0.08 * average, 0.3 * average };
                const std::size_t first = answers.size();
                double drawn = 0;
                for (uint32_t i = 0; i < key.hits; ++i) {
                    answers.push_back({ key.code, 0, learner.ms(times), {}, true });
                    drawn += answers.back().ms;
                }
                uint32_t left = key.totalMs;
                for (std::size_t i = first; i + 1 < answers.size(); ++i) {
                    answers[i].ms = std::min(left,
                        static_cast<uint32_t>(
                            std::lround(answers[i].ms * (key.totalMs / std::max(drawn, 1.0)))));
                    left -= answers[i].ms;
                }
                answers.back().ms = left;
                const bool shaky = nature.factor >= 1.2;
                key.wrong = nextRandom(random) % (shaky ? 3 : 10) == 0 ? 1 + nextRandom(random) % 2 : 0;
                if (key.wrong) {
                    key.wrongKeys[static_cast<unsigned char>(nature.instead)] = key.wrong;
                    history::Answer& missed = answers[first];
                    for (uint32_t i = 0; i < key.wrong; ++i)
                        missed.wrongKeys.push_back({ static_cast<unsigned char>(nature.instead),
                            missed.ms * (i + 1) / (key.wrong + 1) });
                }
                uint32_t& b = best[static_cast<std::size_t>(c - FirstCode)];
                const uint32_t truncated = key.totalMs / key.hits;
                if (b == 0 || truncated < b)
                    b = truncated;
            }
            for (auto& [code, key] : keys)
                record.keys.push_back(std::move(key));
            // The targets in the order the drill brought them, each after the one before.
            for (std::size_t i = answers.size(); i > 1; --i)
                std::swap(answers[i - 1], answers[learner.below(static_cast<uint32_t>(i))]);
            for (std::size_t i = 1; i < answers.size(); ++i)
                answers[i].previous = answers[i - 1].target;
            record.answers = std::move(answers);
            record.poolSize = static_cast<uint32_t>(keys.size());
            db->record(record);
        };
        const std::string threeRows = std::string(UpperRow) + std::string(HomeRow) + std::string(LowerRow);
        // Each day's drills in the order they were done: home row at 8:00, 13:00 (and 18:00 on the
        // last day), the three rows at 10:00 and 15:00 from the day after the rest, weak keys at 21:00.
        for (int day = 0; day < Days; ++day) {
            if (day == RestDay)
                continue;
            for (int hour = 8; hour <= 21; ++hour) {
                const bool home = hour == 8 || hour == 13 || (hour == 18 && day == Days - 1);
                if (home) {
                    drill(day, hour, "h", HomeRow);
                    ++done;
                } else if ((hour == 10 || hour == 15) && day > RestDay) {
                    drill(day, hour, "uhl", threeRows);
                } else if (hour == 21 && day == Days - 2) {
                    drill(day, hour, WeakKeysRows, "ghl");
                }
            }
        }
        saveBestTimes(folder + "/touchdrill.bst", best);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "make_demo_history: %s\n", error.what());
        return 1;
    }
    return 0;
}
