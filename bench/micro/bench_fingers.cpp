// SPDX-License-Identifier: GPL-3.0-or-later
// The finger, hand and transition figures over the answers of every-row drills of 600 answers:
// the progress window works them out for the kind shown each time it opens.
#include "drill/practiceset.h"
#include "figures/fingerfigures.h"
#include "tests/support/learnermodel.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

using namespace touchdrill::history;
using namespace touchdrill::figures;
using touchdrill::testing::Learner;

namespace {

// 10,000 drills of every row, made once: a wrong key before one answer in twenty, the drill's
// last target cut off by its end.
const std::vector<DrillAnswers>& everyRowDrills()
{
    static const std::vector<DrillAnswers> drills = [] {
        const std::string pool = touchdrill::buildPool({ true, true, true, true, true, true });
        Learner learner(10000);
        std::vector<DrillAnswers> made(10000);
        for (std::size_t d = 0; d < made.size(); ++d) {
            made[d].drillId = static_cast<int64_t>(d) + 1;
            made[d].answers.resize(600);
            unsigned char previous = 0;
            for (Answer& answer : made[d].answers) {
                answer.target
                    = static_cast<unsigned char>(pool[learner.below(static_cast<uint32_t>(pool.size()))]);
                answer.previous = previous;
                answer.ms = learner.ms({ 450, 60, 200 });
                if (learner.below(20) == 0)
                    answer.wrongKeys.push_back({ 'x', answer.ms / 2 });
                previous = answer.target;
            }
            made[d].answers.back().answered = false;
            made[d].answers.back().ms = 0;
        }
        return made;
    }();
    return drills;
}

// The figures over the latest range(0) drills of 10,000, every answer of them (range(1) = 0) or
// the latest FingerWindow answers (range(1) = 1), as the window shows them.
void BM_FingerFigures(benchmark::State& state)
{
    const std::vector<DrillAnswers>& all = everyRowDrills();
    const auto count = static_cast<std::size_t>(state.range(0));
    const std::span<const DrillAnswers> latest(all.end() - static_cast<std::ptrdiff_t>(count), all.end());
    const std::size_t window = state.range(1) ? FingerWindow : SIZE_MAX;
    for (auto _ : state) {
        FingerFigures figures = fingerFigures(latest, FingerMap::standard(), {}, window);
        benchmark::DoNotOptimize(figures);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * std::min(window, count * 600)));
}
BENCHMARK(BM_FingerFigures)
    ->Args({ 10000, 1 })
    ->Args({ 20, 0 })
    ->Args({ 1000, 0 })
    ->Args({ 10000, 0 })
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
