// SPDX-License-Identifier: GPL-3.0-or-later
// In-process micro-benchmarks: the key path of a drill, the painting of the results chart, and the
// end of a drill with its best-times file. Painting goes to QImages on Qt's offscreen platform.
#include "app/tform1.h"
#include "drill/drillengine.h"
#include "figures/weakkeys.h"
#include "history/historydb.h"
#include "history/historyrecorder.h"
#include "progress/fingerview.h"
#include "progress/progresschart.h"
#include "progress/progresswindow.h"
#include "results/chartpainter.h"
#include "results/resultline.h"
#include "results/showresults.h"
#include "tests/support/fakewindow.h"
#include "tests/support/learnermodel.h"
#include "tests/support/scratchfolder.h"

#include <QApplication>
#include <QCheckBox>
#include <QImage>
#include <QListWidget>
#include <QPainter>
#include <QTabWidget>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

using namespace touchdrill;
namespace fs = std::filesystem;
using touchdrill::testing::ScratchFolder;

namespace {

// The real window, not shown unless asked, with a clock the benchmark sets.
struct Window {
    explicit Window(bool shown = false)
    {
        TForm1::Options options;
        options.executablePath = folder.path("touchdrill");
        options.clock = &clock;
        options.errorBox = [](const QString&, const QString& text) {
            throw std::runtime_error("error box: " + text.toStdString());
        };
        form = std::make_unique<TForm1>(options);
        if (shown) {
            form->show();
            QApplication::processEvents();
        }
    }
    ScratchFolder folder;
    testing::FakeClock clock;
    std::unique_ptr<TForm1> form;
};

// One line per practice character, with bars of 0.3 to 1.2 s and stars on either side of them.
std::vector<QString> allResultLines()
{
    std::vector<QString> lines;
    for (int code = FirstCode; code <= LastCode; ++code) {
        const uint32_t average = 300 + uint32_t(code - FirstCode) * 10;
        const uint32_t best = code % 3 == 0 ? 0 : average + (code % 2 ? 40 : -40);
        lines.push_back(QString::fromStdString(formatResultLine(code, average, best)));
    }
    return lines;
}

// FormKeyPress with the correct key, which calls NextChar: counting, noting the answer, drawing
// the next target, setting the displays and the gauge through the window operations (plain fields
// here). Arguments 0 and 1 (home row, every row) type all keys in one drill, millions of answers
// long, whose answers take memory as they come; 2 and 3 type drills of 600 answers, each ended and
// prepared anew while the timer is paused, as a learner's drills go.
void BM_KeyPress(benchmark::State& state)
{
    testing::FakeWindow window;
    testing::FakeClock clock;
    RandomGenerator random(1);
    DrillEngine engine(window, clock, random, {});
    RowChoices rows;
    rows.home = true;
    if (state.range(0) & 1) // every row, capitals included: the largest pool
        rows = { true, true, true, true, true, true };
    const bool drillsOf600 = (state.range(0) & 2) != 0;
    engine.Button1Click(rows);
    char space = ' ';
    engine.FormKeyPress(space);

    uint64_t hits = 0;
    int inDrill = 0;
    for (auto _ : state) {
        char key = static_cast<char>(engine.TargetChar);
        clock.ticks += 437;
        engine.FormKeyPress(key);
        benchmark::DoNotOptimize(key);
        if (drillsOf600 && ++inDrill == 600) {
            state.PauseTiming();
            for (int code = FirstCode; code <= LastCode; ++code)
                hits += engine.Stats[code].Hits;
            space = ' ';
            engine.FormKeyPress(space);
            engine.Button1Click(rows);
            space = ' ';
            engine.FormKeyPress(space);
            inDrill = 0;
            state.ResumeTiming();
        }
    }

    for (int code = FirstCode; code <= LastCode; ++code)
        hits += engine.Stats[code].Hits;
    if (hits != uint64_t(state.iterations())) // every key must have been a correct answer
        state.SkipWithError("a key was not counted as a correct answer");
    state.SetLabel(std::string(state.range(0) & 1 ? "all rows" : "home row")
        + (drillsOf600 ? ", drills of 600 answers" : ", one endless drill"));
}
BENCHMARK(BM_KeyPress)->Arg(0)->Arg(1)->Arg(2)->Arg(3);

// The same key through the real window: labels set and sized, gauge reset, timer kept running.
// The window is not shown, so nothing is painted.
void BM_KeyPressWindow(benchmark::State& state)
{
    Window w;
    TForm1& form = *w.form;
    form.CheckBox3->setChecked(true);
    form.Button1Click();
    char space = ' ';
    form.FormKeyPress(space);
    if (!form.drill().Running)
        state.SkipWithError("the drill did not start");

    for (auto _ : state) {
        char key = static_cast<char>(form.drill().TargetChar);
        w.clock.ticks += 437;
        form.FormKeyPress(key);
        benchmark::DoNotOptimize(key);
    }
    state.SetLabel("home row, window not shown");
}
BENCHMARK(BM_KeyPressWindow);

// One results-list item: parse its text, fill, label, bar, star and number, in the list's font.
void BM_PaintResultLine(benchmark::State& state)
{
    Window w;
    const QFont font = w.form->ListBox1->font();
    QImage image(112, 16, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    painter.setFont(font);
    const QString line = QStringLiteral("a,432,587");
    for (auto _ : state)
        paintResultLine(painter, QRect(0, 0, 112, 16), line);
    painter.end();
    benchmark::DoNotOptimize(image.constBits());
}
BENCHMARK(BM_PaintResultLine);

// The whole list of 94 items painted one after the other, as a full-height list would.
void BM_PaintFullList(benchmark::State& state)
{
    Window w;
    const QFont font = w.form->ListBox1->font();
    const std::vector<QString> lines = allResultLines();
    QImage image(112, int(lines.size()) * 16, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        QPainter painter(&image);
        painter.setFont(font);
        for (std::size_t i = 0; i < lines.size(); ++i)
            paintResultLine(painter, QRect(0, int(i) * 16, 112, 16), lines[i]);
    }
    benchmark::DoNotOptimize(image.constBits());
    state.SetItemsProcessed(state.iterations() * int64_t(lines.size()));
}
BENCHMARK(BM_PaintFullList);

// The same 94 items through the window's own list: the view's paint event, the item delegate,
// the painter and the focus rectangle, into an image as tall as the list.
void BM_PaintListWidget(benchmark::State& state)
{
    Window w(true);
    TForm1& form = *w.form;
    const std::vector<QString> lines = allResultLines();
    for (const QString& line : lines)
        form.ListBox1->addItem(line);
    form.ListBox1->setCurrentRow(0);
    form.resize(369, int(lines.size()) * 16 + 80);
    QApplication::processEvents();
    QWidget* viewport = form.ListBox1->viewport();
    if (viewport->height() < int(lines.size()) * 16)
        state.SkipWithError("the list is not tall enough to show every line");
    QImage image(viewport->size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state)
        viewport->render(&image);
    benchmark::DoNotOptimize(image.constBits());
}
BENCHMARK(BM_PaintListWidget);

struct LinesList final : ResultList {
    void clear() override { lines.clear(); }
    void add(const std::string& line) override { lines.push_back(line); }
    void repaint() override { }
    std::vector<std::string> lines;
};

// The end of a drill with every character practised: load the best-times file, make 94 lines,
// update the bests and write the file back (a new file flushed to disk, then renamed over the old).
void BM_ShowResults(benchmark::State& state)
{
    ScratchFolder folder;
    const std::string path = folder.path("touchdrill.bst");
    KeyStats stats;
    for (int code = FirstCode; code <= LastCode; ++code)
        stats[code] = { uint32_t(4000 + code * 37), 9 };
    BestTimes best {};
    LinesList list;
    ShowResults(path, stats, best, list); // the file exists from here on, as after the first drill
    for (auto _ : state)
        ShowResults(path, stats, best, list);
    if (list.lines.size() != std::size_t(CodeCount))
        state.SkipWithError("the results list does not hold one line per character");
}
BENCHMARK(BM_ShowResults)->UseRealTime();

// A drill of every row, long enough for every character to be answered, with a wrong key now and
// then: the engine's state at the drill's end, as the history records it.
struct FinishedDrill {
    explicit FinishedDrill(RowChoices rows = { true, true, true, true, true, true }, int answers = 600)
    {
        engine.Button1Click(rows);
        char key = ' ';
        engine.FormKeyPress(key);
        for (int i = 0; i < answers; ++i) {
            clock.ticks += 300 + uint32_t(i % 7) * 40;
            if (i % 5 == 0) {
                key = static_cast<char>(engine.TargetChar == 'x' ? 'z' : 'x');
                engine.FormKeyPress(key);
            }
            key = static_cast<char>(engine.TargetChar);
            engine.FormKeyPress(key);
        }
        clock.utcMs += 180'000;
        key = ' ';
        engine.FormKeyPress(key);
    }
    testing::FakeWindow window;
    testing::FakeClock clock;
    RandomGenerator random { 7 };
    DrillEngine engine { window, clock, random, {} };
};

// `count` such drills, of every row (600 answers each) or of the home row alone (60 answers each:
// a learner's everyday drill), 200 s apart, stored a thousand to a transaction.
void writeDrills(const std::string& file, int count, bool everyRow)
{
    const FinishedDrill drill(
        everyRow ? RowChoices { true, true, true, true, true, true } : RowChoices { .home = true },
        everyRow ? 600 : 60);
    const history::DrillRecord record = history::drillRecordOf(drill.engine);
    auto db = history::HistoryDb::open(file, true);
    std::vector<history::DrillRecord> batch;
    for (int i = 0; i < count;) {
        batch.assign(std::size_t(std::min(1000, count - i)), record);
        for (history::DrillRecord& stored : batch) {
            ++i;
            stored.startedUtcMs += int64_t { i } * 200'000;
            stored.endedUtcMs += int64_t { i } * 200'000;
        }
        db->recordAll(batch);
    }
}

// A history of 10,000 drills of every row or of the home row, made once on tmpfs (where a commit
// costs no flush) and copied wherever a benchmark needs it.
const std::string& tenThousandDrills(bool everyRow = true)
{
    static ScratchFolder folder("/dev/shm");
    static std::string paths[2];
    std::string& path = paths[everyRow ? 1 : 0];
    if (path.empty()) {
        const std::string file = folder.path(everyRow ? "every-row.sqlite" : "home-row.sqlite");
        writeDrills(file, 10'000, everyRow);
        path = file;
    }
    return path;
}

// 100,000 drills of every row: about 470 MB, made once into the build's bench folder (a minute or
// more) and kept there for later runs; a file of another schema is made anew.
const std::string& hundredThousandDrills()
{
    static const std::string path = [] {
        const fs::path folder = fs::read_symlink("/proc/self/exe").parent_path() / "cache";
        const fs::path file
            = folder / ("every-row-100000-v" + std::to_string(history::HistoryDb::SchemaVersion) + ".sqlite");
        if (!fs::exists(file)) {
            fs::create_directories(folder);
            const fs::path part = file.string() + ".part";
            fs::remove(part);
            writeDrills(part, 100'000, true);
            fs::rename(part, file);
        }
        return file.string();
    }();
    return path;
}

// The history's growth per drill of the home row alone with 60 answers, over 1,000 such drills.
double homeRowDrillSize()
{
    static const double size = [] {
        ScratchFolder folder("/dev/shm");
        const std::string file = folder.path("touchdrill.sqlite");
        FinishedDrill drill({ .home = true }, 60);
        history::DrillRecord record = history::drillRecordOf(drill.engine);
        auto db = history::HistoryDb::open(file, true);
        for (int i = 0; i < 1000; ++i)
            db->record(record);
        return double(fs::file_size(file)) / 1000;
    }();
    return size;
}

// The median of a benchmark's timed runs, in ms, as its counter median_ms (the timer shows the mean).
void setMedianMs(benchmark::State& state, std::vector<double>& ms)
{
    std::sort(ms.begin(), ms.end());
    state.counters["median_ms"] = ms.empty() ? 0 : ms[ms.size() / 2];
}

// What recording adds to a drill's end: the drill taken from the engine and stored in its own
// transaction, in a history of 10,000 drills that is open already (every drill's end but the
// run's first), on tmpfs (0) and on disk (1). The median of the drill ends is a counter; the
// mean is what the timer shows.
void BM_RecordDrill(benchmark::State& state)
{
    ScratchFolder folder(state.range(0) ? "/var/tmp" : "/dev/shm");
    const std::string path = folder.path("touchdrill.sqlite");
    fs::copy_file(tenThousandDrills(), path);
    const double size = double(fs::file_size(path));
    FinishedDrill drill;
    history::HistoryRecorder recorder(path, folder.path("touchdrill.ini"));
    if (!recorder.record(history::drillRecordOf(drill.engine)).empty()) // opens the database
        state.SkipWithError("the first drill was not recorded");
    std::vector<double> ms;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const std::string report = recorder.record(history::drillRecordOf(drill.engine));
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        if (!report.empty())
            state.SkipWithError(report.c_str());
        state.SetIterationTime(took.count());
        ms.push_back(took.count() * 1000);
    }
    setMedianMs(state, ms);
    state.counters["bytes_per_drill"] = size / 10'000;
    state.counters["bytes_per_home_row_drill"] = homeRowDrillSize();
    state.SetLabel(state.range(0) ? "disk (/var/tmp)" : "tmpfs (/dev/shm)");
}
BENCHMARK(BM_RecordDrill)->Arg(0)->Arg(1)->UseManualTime()->Iterations(200);

// The run's first drill's end: the database opened, checked and the drill stored, then closed.
void BM_RecordFirstDrill(benchmark::State& state)
{
    ScratchFolder folder(state.range(0) ? "/var/tmp" : "/dev/shm");
    const std::string path = folder.path("touchdrill.sqlite");
    fs::copy_file(tenThousandDrills(), path);
    FinishedDrill drill;
    for (auto _ : state) {
        history::HistoryRecorder recorder(path, folder.path("touchdrill.ini"));
        if (!recorder.record(history::drillRecordOf(drill.engine)).empty())
            state.SkipWithError("the drill was not recorded");
    }
    state.SetLabel(state.range(0) ? "disk (/var/tmp)" : "tmpfs (/dev/shm)");
}
BENCHMARK(BM_RecordFirstDrill)->Arg(0)->Arg(1)->UseRealTime()->Iterations(30);

const std::string& progressHistory(int64_t everyRow)
{
    return tenThousandDrills(everyRow != 0);
}

// The 「練習の記録」 window opened by F2 over a history of 10,000 drills, of the home row (0) or of
// every row (1, 94 characters each): the database opened and checked, each drill's totals and each
// character's latest drills read, the figures worked out, the window laid out and painted.
void BM_OpenProgress(benchmark::State& state)
{
    std::vector<double> ms;
    for (auto _ : state) {
        Window w(true);
        fs::copy_file(progressHistory(state.range(0)), w.folder.path("touchdrill.sqlite"));
        const auto start = std::chrono::steady_clock::now();
        w.form->openProgress();
        QApplication::processEvents(); // shown, laid out and painted
        ProgressWindow* window = w.form->progressWindow();
        if (window)
            window->repaint();
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        if (!window || window->drillCount() != 10'000)
            state.SkipWithError("the window does not show the 10,000 drills");
        state.SetIterationTime(took.count());
        ms.push_back(took.count() * 1000);
    }
    setMedianMs(state, ms);
    state.SetLabel(state.range(0) ? "every row" : "home row");
}
BENCHMARK(BM_OpenProgress)->Arg(0)->Arg(1)->UseManualTime()->Iterations(15)->Unit(benchmark::kMillisecond);

// The same with 100,000 drills of every row, to see how the figures grow with the history.
void BM_OpenProgressLargeHistory(benchmark::State& state)
{
    std::vector<double> ms;
    for (auto _ : state) {
        Window w(true);
        fs::copy_file(hundredThousandDrills(), w.folder.path("touchdrill.sqlite"));
        const auto start = std::chrono::steady_clock::now();
        w.form->openProgress();
        QApplication::processEvents();
        ProgressWindow* window = w.form->progressWindow();
        if (window)
            window->repaint();
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        if (!window || window->drillCount() != 100'000)
            state.SkipWithError("the window does not show the 100,000 drills");
        state.SetIterationTime(took.count());
        ms.push_back(took.count() * 1000);
    }
    setMedianMs(state, ms);
    state.SetLabel("every row, 100,000 drills");
}
BENCHMARK(BM_OpenProgressLargeHistory)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

// A character chosen for the first time in the window open over 10,000 drills (of the home row, or
// of every row): its every drill read from the history, its chart worked out and painted. The
// window reads the history afresh between choices, untimed, so that each is a first.
void BM_ChooseCharacterInProgress(benchmark::State& state)
{
    Window w(true);
    fs::copy_file(progressHistory(state.range(0)), w.folder.path("touchdrill.sqlite"));
    w.form->openProgress();
    QApplication::processEvents();
    ProgressWindow* window = w.form->progressWindow();
    if (!window) {
        state.SkipWithError("no window");
        return;
    }
    std::vector<double> ms;
    for (auto _ : state) {
        window->chooseCharacter(0);
        window->reload();
        QApplication::processEvents();
        const auto start = std::chrono::steady_clock::now();
        window->chooseCharacter('a');
        QApplication::processEvents();
        window->repaint();
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        if (window->chosenCharacter() != 'a' || window->chart->series().points.empty())
            state.SkipWithError("the chart does not show the chosen character");
        state.SetIterationTime(took.count());
        ms.push_back(took.count() * 1000);
    }
    setMedianMs(state, ms);
    state.SetLabel(state.range(0) ? "every row" : "home row");
}
BENCHMARK(BM_ChooseCharacterInProgress)
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Iterations(15)
    ->Unit(benchmark::kMillisecond);

// The finger view first shown over those 10,000 drills: the latest answers of the kind read (some
// 100,000 of every row: 167 drills), the finger and transition figures worked out, the tables
// filled, laid out and painted. Not on F2's opening path: read when the learner asks.
void BM_ShowFingersInProgress(benchmark::State& state)
{
    Window w(true);
    fs::copy_file(progressHistory(state.range(0)), w.folder.path("touchdrill.sqlite"));
    w.form->openProgress();
    QApplication::processEvents();
    ProgressWindow* window = w.form->progressWindow();
    if (!window) {
        state.SkipWithError("no window");
        return;
    }
    std::vector<double> ms;
    for (auto _ : state) {
        window->tabs->setCurrentIndex(0);
        window->reload(); // the answers are let go, to be read again
        QApplication::processEvents();
        const auto start = std::chrono::steady_clock::now();
        window->tabs->setCurrentWidget(window->fingers->fingerPage);
        QApplication::processEvents();
        window->repaint();
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        const auto& figures = window->fingers->figures();
        if (!figures || figures->all.timed < (state.range(0) ? figures::FingerWindow / 2 : 1))
            state.SkipWithError("the finger view shows no figures");
        state.SetIterationTime(took.count());
        ms.push_back(took.count() * 1000);
    }
    setMedianMs(state, ms);
    state.SetLabel(state.range(0) ? "every row" : "home row");
}
BENCHMARK(BM_ShowFingersInProgress)
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Iterations(15)
    ->Unit(benchmark::kMillisecond);

// A drill's end while the window is open over 10,000 drills (of the home row, or of every row): the
// results step, the recording, then the window reading the new drill, working its figures out again
// and painting, as the event loop runs it right after the key.
void BM_DrillEndWithProgressOpen(benchmark::State& state)
{
    Window w(true);
    fs::copy_file(progressHistory(state.range(0)), w.folder.path("touchdrill.sqlite"));
    TForm1& form = *w.form;
    form.openProgress();
    ProgressWindow* window = form.progressWindow();
    if (!window) {
        state.SkipWithError("no window");
        return;
    }
    form.CheckBox3->setChecked(true);
    std::vector<double> ms;
    for (auto _ : state) {
        form.Button1Click();
        char key = ' ';
        form.FormKeyPress(key);
        for (int i = 0; i < 60; ++i) {
            w.clock.ticks += 350 + uint32_t(i % 5) * 60;
            key = static_cast<char>(form.drill().TargetChar);
            form.FormKeyPress(key);
        }
        w.clock.utcMs += 120'000;
        const std::size_t before = window->drillCount();
        const auto start = std::chrono::steady_clock::now();
        key = ' ';
        form.FormKeyPress(key);
        QApplication::processEvents(); // the window's update, queued behind the key
        window->repaint();
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        if (window->drillCount() != before + 1)
            state.SkipWithError("the window did not take the new drill");
        state.SetIterationTime(took.count());
        ms.push_back(took.count() * 1000);
    }
    setMedianMs(state, ms);
    state.SetLabel(state.range(0) ? "every row" : "home row");
}
BENCHMARK(BM_DrillEndWithProgressOpen)
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Iterations(30)
    ->Unit(benchmark::kMillisecond);

// Every character's figures as the progress window works them out (median, 90th percentile and
// spread with their intervals, the trend, the weak keys), from a tally of 10,000 drills of every
// row with 600 answers each from the simulated learner, all of one kind.
void BM_KeyFigures(benchmark::State& state)
{
    figures::ProgressTally tally;
    testing::Learner learner(20261207);
    std::vector<testing::ExGaussian> keys;
    for (int code = FirstCode; code <= LastCode; ++code)
        keys.push_back({ 500.0 + (code % 7) * 40, 70, 250.0 + (code % 5) * 40 });
    for (int d = 0; d < 10'000; ++d) {
        history::DrillRecord drill;
        drill.id = d + 1;
        drill.startedUtcMs = 1'796'083'200'000 + int64_t(d) * 600'000;
        drill.rows = "nuhlsc";
        drill.poolSize = CodeCount;
        drill.answers.emplace();
        drill.answers->reserve(600);
        std::vector<history::KeyRecord> records(CodeCount);
        unsigned char previous = 0;
        for (int i = 0; i < 600; ++i) {
            const uint32_t k = learner.below(CodeCount);
            const auto target = static_cast<unsigned char>(FirstCode + k);
            const uint32_t ms = learner.ms(keys[k]);
            drill.answers->push_back({ target, previous, ms, {}, true });
            records[k].code = target;
            ++records[k].hits;
            records[k].totalMs += ms;
            previous = target;
        }
        for (const history::KeyRecord& record : records)
            if (record.hits)
                drill.keys.push_back(record);
        tally.add(drill);
    }
    const BestTimes best {};
    std::size_t figures = 0;
    for (auto _ : state) {
        const std::vector<figures::KeySummary> summaries = tally.summaries(best);
        benchmark::DoNotOptimize(figures::weakKeys(summaries));
        figures = summaries.size();
    }
    if (figures != CodeCount)
        state.SkipWithError("not every character has its figures");
}
BENCHMARK(BM_KeyFigures)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
