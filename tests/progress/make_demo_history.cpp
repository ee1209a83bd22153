// SPDX-License-Identifier: GPL-3.0-or-later
// Writes a made-up practice history and best-times file for the README's picture of the progress
// window: twelve days of the upper and home rows, getting faster, with a few keys slow and missed.
//
// Usage: make_demo_history FOLDER   (writes FOLDER/touchdrill.sqlite and FOLDER/touchdrill.bst)
#include "besttimesfile.h"
#include "historydb.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <map>
#include <string>

using namespace touchdrill;

namespace {

constexpr int64_t Nov24 = 1795478400000LL; // 2026-11-24 00:00 UTC
constexpr int64_t Hour = 3600000LL;

// A small fixed random walk, so that every run draws the same picture.
uint32_t nextRandom(uint32_t& state)
{
    state = state * 1664525u + 1013904223u;
    return state >> 8;
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
        // Per character: its first average, and the key typed instead when it is missed.
        const std::map<char, std::pair<double, char>> keys = {
            { 'q', { 900, 'a' } }, { 'w', { 720, 'e' } }, { 'e', { 560, 'w' } }, { 'r', { 600, 't' } },
            { 't', { 780, 'r' } }, { 'y', { 980, 'u' } }, { 'u', { 640, 'y' } }, { 'i', { 620, 'o' } },
            { 'o', { 700, 'i' } }, { 'p', { 1050, 'o' } }, { 'a', { 420, 's' } }, { 's', { 450, 'a' } },
            { 'd', { 430, 'f' } }, { 'f', { 380, 'd' } }, { 'g', { 650, 'h' } }, { 'h', { 610, 'g' } },
            { 'j', { 390, 'k' } }, { 'k', { 470, 'l' } }, { 'l', { 560, 'k' } },
        };
        auto db = history::HistoryDb::open(folder + "/touchdrill.sqlite", true);
        BestTimes best {};
        uint32_t random = 7;
        const int days = 12;
        for (int day = 0; day < days; ++day) {
            for (int session = 0; session < 3; ++session) {
                history::DrillRecord drill;
                drill.startedUtcMs = Nov24 + day * 24 * Hour + (8 + session * 5) * Hour + (day * 7 % 50) * 60000;
                drill.endedUtcMs = drill.startedUtcMs + 4 * 60000;
                drill.rows = "uh";
                // Faster by a third over the twelve days; the slow keys stay slow for longer.
                const double progress = (day * 3 + session) / double(days * 3 - 1);
                for (const auto& [c, figures] : keys) {
                    const auto [first, instead] = figures;
                    history::KeyRecord key;
                    key.code = static_cast<unsigned char>(c);
                    key.hits = 3 + nextRandom(random) % 4;
                    const double slow = first > 700 ? 0.2 : 0.35;
                    const double average = first * (1.0 - slow * progress) * (0.9 + (nextRandom(random) % 200) / 1000.0);
                    key.totalMs = static_cast<uint32_t>(std::lround(average * key.hits));
                    const bool shaky = first > 700 || c == 'g';
                    key.wrong = nextRandom(random) % (shaky ? 3 : 12) == 0 ? 1 + (shaky ? nextRandom(random) % 2 : 0) : 0;
                    if (key.wrong)
                        key.wrongKeys[static_cast<unsigned char>(instead)] = key.wrong;
                    drill.keys.push_back(key);
                    uint32_t& b = best[static_cast<std::size_t>(c - FirstCode)];
                    const uint32_t rounded = key.totalMs / key.hits;
                    if (b == 0 || rounded < b)
                        b = rounded;
                }
                db->record(drill);
            }
        }
        saveBestTimes(folder + "/touchdrill.bst", best);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "make_demo_history: %s\n", error.what());
        return 1;
    }
    return 0;
}
