// SPDX-License-Identifier: GPL-3.0-or-later
// The progress window's figures: series, per-character summaries, weak keys and the colour scale.
#include "figures/progressfigures.h"

#include "drill/calendar.h"
#include "figures/fingermap.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <iterator>
#include <limits>
#include <numeric>
#include <span>
#include <utility>

namespace touchdrill::figures {

namespace {

constexpr double Infinite = std::numeric_limits<double>::infinity();

// Adds up the entries [first, last) of a character's drills.
template <typename Entry>
CountsSum sum(const std::vector<Entry>& entries, std::size_t first, std::size_t last)
{
    CountsSum window;
    for (std::size_t i = first; i < last; ++i)
        window += entries[i];
    return window;
}

// Over the threshold, adds up the points side by side on one day into one.
void addUpDays(Series& series, const DayOf& dayOf, std::size_t perDayThreshold)
{
    if (series.points.size() <= perDayThreshold)
        return;
    series.perDay = true;
    std::vector<SeriesPoint> days;
    int64_t currentDay = 0;
    for (const SeriesPoint& p : series.points) {
        const int64_t day = dayOf ? dayOf(p.firstStartedUtcMs) : utcDayOf(p.firstStartedUtcMs);
        if (days.empty() || day != currentDay) {
            days.push_back(p);
            currentDay = day;
            continue;
        }
        SeriesPoint& into = days.back();
        into.lastStartedUtcMs = p.lastStartedUtcMs;
        into.drills += p.drills;
        into += p;
        into.answerMs.insert(into.answerMs.end(), p.answerMs.begin(), p.answerMs.end());
        into.answersKept = into.answersKept || p.answersKept;
        into.newBest = into.newBest || p.newBest;
    }
    series.points = std::move(days);
}

// Sorts a character's drills that kept answers by drill, each drill once (the first found).
template <typename KeyAnswers> void sortByDrill(std::vector<KeyAnswers>& answers)
{
    std::stable_sort(answers.begin(), answers.end(),
        [](const KeyAnswers& a, const KeyAnswers& b) { return a.drill < b.drill; });
    answers.erase(std::unique(answers.begin(), answers.end(),
                      [](const KeyAnswers& a, const KeyAnswers& b) { return a.drill == b.drill; }),
        answers.end());
}

double medianOf(std::span<const uint32_t> ms)
{
    std::vector<double> sorted(ms.begin(), ms.end());
    std::sort(sorted.begin(), sorted.end());
    return quantile(sorted, 0.5);
}

// A character's best level in one kind so far (NewBestAnswers, BestSittings), and whether a drill
// beats it.
struct BestLevel {
    explicit BestLevel(const std::string* rows)
        : rows(rows)
    {
    }
    const std::string* rows;
    // Of the sittings ended so far: the log of the character's median over its drills' form.
    std::vector<double> levels;
    uint32_t sitting = UINT32_MAX; // the sitting under way
    std::vector<uint32_t> current; // its answers
    double currentForm = 0; // the log of its drills' average, added up
    int currentDrills = 0;
    std::optional<double> best; // the lowest level of BestSittings sittings in a row

    // Adds a drill of the kind, of sitting `at`, with `form` the log of the drill's average of
    // every answer; whether its answers set a new best.
    bool add(uint32_t at, double form, const std::vector<uint32_t>& ms)
    {
        if (at != sitting && !current.empty()) {
            levels.push_back(std::log(std::max(1.0, medianOf(current))) - currentForm / currentDrills);
            current.clear();
            currentForm = 0;
            currentDrills = 0;
            if (levels.size() >= BestSittings) {
                std::vector<double> last(levels.end() - BestSittings, levels.end());
                std::sort(last.begin(), last.end());
                const double level = quantile(last, 0.5);
                best = best ? std::min(*best, level) : level;
            }
        }
        sitting = at;
        current.insert(current.end(), ms.begin(), ms.end());
        currentForm += form;
        ++currentDrills;
        if (!best || ms.size() < NewBestAnswers)
            return false;
        const std::optional<Estimate> median = timeFigures(ms).median;
        if (!median || !median->interval || median->interval->low <= 0)
            return false;
        // How far a drill's level strays by chance: the spread of the sittings' levels and the
        // drill's own sampling, from its median's interval.
        double mean = 0, squares = 0;
        for (const double level : levels)
            mean += level;
        mean /= static_cast<double>(levels.size());
        for (const double level : levels)
            squares += (level - mean) * (level - mean);
        const double spread = squares / static_cast<double>(levels.size() - 1);
        const double own = std::log(median->interval->high / median->interval->low) / (2 * 1.96);
        const double margin = studentCritical(2 * NewBestChance, static_cast<double>(levels.size() - 1));
        return *best - (std::log(median->value) - form) > margin * std::sqrt(spread + own * own);
    }
};

} // namespace

std::optional<SeriesPoint::Quartiles> SeriesPoint::quartiles() const
{
    if (answerMs.empty())
        return std::nullopt;
    std::vector<double> sorted(answerMs.begin(), answerMs.end());
    std::sort(sorted.begin(), sorted.end());
    return Quartiles { quantile(sorted, 0.25), quantile(sorted, 0.5), quantile(sorted, 0.75) };
}

std::string kindName(const std::string& rows)
{
    if (rows == WeakKeysRows)
        return "苦手なキー";
    if (rows == PairsRows)
        return "苦手な組み合わせ";
    if (const std::optional<Finger> finger = fingerOfRows(rows))
        return "指: " + fingerName(*finger);
    if (rows.empty())
        return "種類不明";
    // The main window's check boxes, in their order.
    std::string name;
    for (const char letter : rows) {
        if (!name.empty())
            name += "・";
        const std::size_t box = RowLetters.find(letter);
        if (box != std::string_view::npos)
            name += RowCaptions[box];
        else
            name += letter;
    }
    return name;
}

int64_t utcDayOf(int64_t utcMs)
{
    if (!isKnownTime(utcMs))
        return UnknownDay;
    return dayOf(utcMs);
}

Series timeSeries(
    Series drills, int64_t fromUtcMs, int64_t toUtcMs, const DayOf& dayOf, std::size_t perDayThreshold)
{
    std::vector<SeriesPoint>& points = drills.points;
    if (fromUtcMs != INT64_MIN)
        std::erase_if(points, [fromUtcMs](const SeriesPoint& p) {
            return !isKnownTime(p.firstStartedUtcMs) || p.firstStartedUtcMs < fromUtcMs;
        });
    // A clock put back makes a later drill start earlier: on a time axis the line would run back.
    // Drills mostly come in order already, and a point carries its answers: sorted only if need be.
    const auto earlier = [](const SeriesPoint& a, const SeriesPoint& b) {
        const bool aKnown = isKnownTime(a.firstStartedUtcMs);
        const bool bKnown = isKnownTime(b.firstStartedUtcMs);
        if (aKnown != bKnown)
            return aKnown;
        return aKnown && a.firstStartedUtcMs < b.firstStartedUtcMs;
    };
    if (!std::is_sorted(points.begin(), points.end(), earlier))
        std::stable_sort(points.begin(), points.end(), earlier);
    int64_t first = fromUtcMs;
    int64_t last = toUtcMs;
    if (fromUtcMs == INT64_MIN) {
        first = last = 0;
        const auto known = std::partition_point(points.begin(), points.end(),
            [](const SeriesPoint& p) { return isKnownTime(p.firstStartedUtcMs); });
        if (known != points.begin()) {
            first = points.front().firstStartedUtcMs;
            last = std::prev(known)->firstStartedUtcMs;
        }
    }
    // Counted in days rather than hours, so that a week's period is a week across a change of
    // summer time.
    const auto day = [&dayOf](int64_t utcMs) { return dayOf ? dayOf(utcMs) : utcDayOf(utcMs); };
    const bool longAxis = last > first && day(last) - day(first) + 1 > PerDrillDays;
    drills.perDay = false;
    addUpDays(drills, dayOf, longAxis ? 0 : perDayThreshold);
    return drills;
}

void ProgressTally::add(const DrillRecord& drill)
{
    const auto index = static_cast<uint32_t>(m_drills.size());
    for (const KeyRecord& key : drill.keys) {
        if (!key.isKeyDrill())
            continue;
        const std::size_t code = key.code - FirstCode;
        m_keys[code].entries.push_back({ key, index });
        ++m_keys[code].count;
        for (const auto& [typed, count] : key.wrongKeys)
            m_wrongKeys[code][typed] += count;
    }
    if (drill.answers)
        addAnswers(index, *drill.answers);
    m_drills.push_back(drillTotalsOf(drill));
    m_sittings.push_back(
        index == 0 ? 0 : m_sittings.back() + !sameSitting(m_drills[index - 1], m_drills.back()));
    // Stored after every drill held, as a rule; a merged one is put in its place.
    const IdIndex entry { drill.id, index };
    const auto by = [](const IdIndex& a, const IdIndex& b) { return a.id < b.id; };
    m_indexOfId.insert(std::upper_bound(m_indexOfId.begin(), m_indexOfId.end(), entry, by), entry);
    m_lastId = std::max(m_lastId, drill.id);
}

std::size_t ProgressTally::drillsInPeriod() const
{
    return static_cast<std::size_t>(m_drills.end()
        - std::partition_point(m_drills.begin(), m_drills.end(),
            [this](const DrillTotals& drill) { return drill.startedUtcMs < m_fromUtcMs; }));
}

bool ProgressTally::inTimeOrder(std::span<const DrillRecord> drills) const
{
    int64_t last = m_drills.empty() ? INT64_MIN : m_drills.back().startedUtcMs;
    for (const DrillRecord& drill : drills) {
        if (drill.startedUtcMs < last)
            return false;
        last = drill.startedUtcMs;
    }
    return true;
}

void ProgressTally::addAnswers(uint32_t drill, const std::vector<Answer>& answers)
{
    // Where this drill's times of each character go.
    std::array<KeyAnswers*, CodeCount> into {};
    for (const Answer& answer : answers) {
        if (!isPracticeCode(answer.target))
            continue;
        const std::size_t code = answer.target - FirstCode;
        if (!into[code]) {
            // A new entry even where the drill's times came already (a digest holds a drill's
            // answers both ways): load() keeps one of them.
            std::vector<KeyAnswers>& of = m_keys[code].answers;
            of.push_back({ drill, {}, 0 });
            into[code] = &of.back();
        }
        into[code]->wrong += static_cast<uint32_t>(answer.wrongKeys.size());
        // The last target of a drill ended before its right key came has no time.
        if (answer.answered)
            into[code]->ms.push_back(answer.ms);
    }
}

void ProgressTally::add(const std::vector<DrillRecord>& drills)
{
    m_drills.reserve(m_drills.size() + drills.size());
    for (const DrillRecord& drill : drills)
        add(drill);
}

void ProgressTally::load(HistoryDigest digest)
{
    KindChoice kind = std::move(m_kind);
    *this = {};
    m_kind = std::move(kind);
    m_drills = std::move(digest.drills);
    m_sittings = sittingsOf(m_drills);
    m_indexOfId.reserve(m_drills.size());
    for (std::size_t i = 0; i < m_drills.size(); ++i) {
        m_indexOfId.push_back({ m_drills[i].id, static_cast<uint32_t>(i) });
        m_lastId = std::max(m_lastId, m_drills[i].id);
    }
    std::sort(m_indexOfId.begin(), m_indexOfId.end(),
        [](const IdIndex& a, const IdIndex& b) { return a.id < b.id; });
    for (const KeyDigest& key : digest.keys) {
        if (!isPracticeCode(key.code))
            continue;
        KeyDrills& into = m_keys[key.code - FirstCode];
        into.count = key.drills;
        for (const KeyDrill& drill : key.latest) {
            const int64_t index = drillIndexOf(drill.drillId);
            if (index < 0)
                continue;
            into.entries.push_back({ drill, static_cast<uint32_t>(index) });
            if (drill.answerMs)
                into.answers.push_back({ static_cast<uint32_t>(index), *drill.answerMs, drill.wrong });
        }
        // The digest has them by id; a merged drill's id is no guide to when it started.
        std::stable_sort(into.entries.begin(), into.entries.end(),
            [](const KeyEntry& a, const KeyEntry& b) { return a.drill < b.drill; });
    }
    for (const DrillAnswers& drill : digest.answers) {
        const int64_t index = drillIndexOf(drill.drillId);
        if (index >= 0)
            addAnswers(static_cast<uint32_t>(index), drill.answers);
    }
    for (KeyDrills& key : m_keys)
        sortByDrill(key.answers);
    for (const Confusion& confusion : digest.confusions)
        if (isPracticeCode(confusion.code))
            m_wrongKeys[confusion.code - FirstCode][confusion.typed] += confusion.count;
}

bool ProgressTally::knowsAllDrillsOf(unsigned char code) const
{
    if (!isPracticeCode(code))
        return true;
    const KeyDrills& key = m_keys[code - FirstCode];
    return key.entries.size() >= key.count;
}

void ProgressTally::fillKey(unsigned char code, const std::vector<KeyDrill>& drills)
{
    if (!isPracticeCode(code))
        return;
    KeyDrills& key = m_keys[code - FirstCode];
    key.entries.clear();
    for (const KeyDrill& drill : drills) {
        const int64_t index = drillIndexOf(drill.drillId);
        if (index < 0)
            continue;
        key.entries.push_back({ drill, static_cast<uint32_t>(index) });
        if (drill.answerMs)
            key.answers.push_back({ static_cast<uint32_t>(index), *drill.answerMs, drill.wrong });
    }
    sortByDrill(key.answers);
    // What the history holds is all there is, even if its count said otherwise.
    key.count = static_cast<uint32_t>(key.entries.size());
}

int64_t ProgressTally::drillIndexOf(int64_t id) const
{
    const auto found = std::lower_bound(m_indexOfId.begin(), m_indexOfId.end(), id,
        [](const IdIndex& entry, int64_t value) { return entry.id < value; });
    return found != m_indexOfId.end() && found->id == id ? static_cast<int64_t>(found->index) : -1;
}

Series ProgressTally::series(unsigned char code, const DayOf& dayOf, std::size_t perDayThreshold) const
{
    Series series;
    auto point = [](int64_t started, const auto& counts) {
        SeriesPoint p(started, started, 1, {});
        p += counts;
        return p;
    };
    auto chosen = [this](const DrillTotals& drill) { return !m_kind || drill.rows == *m_kind; };
    if (code == AllCharacters) {
        series.points.reserve(m_drills.size());
        for (const DrillTotals& drill : m_drills)
            if (drill.countsAsDrill() && chosen(drill))
                series.points.push_back(point(drill.startedUtcMs, drill));
    } else if (isPracticeCode(code)) {
        const std::size_t index = code - FirstCode;
        const std::vector<KeyEntry>& entries = m_keys[index].entries;
        series.points.reserve(entries.size());
        // Each kind's best level so far; few kinds, so a list.
        std::vector<BestLevel> best;
        for (const KeyEntry& entry : entries) {
            const DrillTotals& drill = m_drills[entry.drill];
            if (!chosen(drill))
                continue;
            SeriesPoint p = point(drill.startedUtcMs, entry);
            if (const KeyAnswers* answers = answersIn(index, entry.drill)) {
                p.answersKept = true;
                p.answerMs = answers->ms;
                auto of = std::find_if(best.begin(), best.end(),
                    [&](const BestLevel& level) { return *level.rows == drill.rows; });
                if (of == best.end())
                    of = best.insert(best.end(), BestLevel(&drill.rows));
                const std::optional<double> form = drill.averageMs();
                p.newBest
                    = form && *form >= 1 && of->add(m_sittings[entry.drill], std::log(*form), answers->ms);
            }
            series.points.push_back(std::move(p));
        }
    }
    addUpDays(series, dayOf, perDayThreshold);
    return series;
}

std::vector<KeySummary> ProgressTally::summaries(const BestTimes& best) const
{
    std::vector<KeySummary> summaries;
    std::vector<KeyEntry> own;
    for (std::size_t index = 0; index < m_keys.size(); ++index) {
        const std::vector<KeyEntry>& all = m_keys[index].entries;
        if (m_keys[index].count == 0 || all.empty())
            continue;
        // Drills start in order: those of the period are the last ones.
        const auto inPeriod = std::partition_point(all.begin(), all.end(),
            [&](const KeyEntry& entry) { return m_drills[entry.drill].startedUtcMs < m_fromUtcMs; });
        const auto latest
            = all.end() - std::min(all.end() - inPeriod, static_cast<std::ptrdiff_t>(LatestDrills));
        if (latest == all.end())
            continue;
        const std::string* kind = m_kind ? &*m_kind : mostPractised(latest, all.end());
        own.clear();
        std::copy_if(latest, all.end(), std::back_inserter(own),
            [&](const KeyEntry& entry) { return m_drills[entry.drill].rows == *kind; });
        if (own.empty())
            continue;
        KeySummary summary;
        summary.code = static_cast<unsigned char>(FirstCode + index);
        summary.drills = m_keys[index].count;
        if (best[index] != 0) // 0 in the best-times file: none yet
            summary.bestMs = best[index];
        summary.kind = *kind;

        const std::size_t n = own.size();
        const std::size_t recentFrom = n > RecentDrills ? n - RecentDrills : 0;
        const std::size_t earlierFrom = recentFrom > RecentDrills ? recentFrom - RecentDrills : 0;
        const CountsSum recent = sum(own, recentFrom, n);
        const CountsSum earlier = sum(own, earlierFrom, recentFrom);
        summary.recentHits = recent.hits;
        summary.recentWrong = recent.wrong;
        summary.earlierAnswers = earlier.answers();
        summary.recentMs = recent.averageMs();
        summary.accuracy = recent.accuracy();
        if (summary.recentMs && earlier.averageMs())
            summary.trendMs = *summary.recentMs - *earlier.averageMs();
        timesOf(index, *kind, summary);

        const auto& counts = m_wrongKeys[index];
        const auto top = std::max_element(counts.begin(), counts.end()); // first of equals: lower code
        if (*top > 0) {
            summary.topWrongKey = static_cast<unsigned char>(top - counts.begin());
            summary.topWrongCount = *top;
        }
        summaries.push_back(summary);
    }
    adjustForKeys(summaries);
    return summaries;
}

void adjustForKeys(std::vector<KeySummary>& keys)
{
    std::vector<double> p;
    for (const KeySummary& key : keys)
        if (key.trend.enough)
            p.push_back(key.trend.p);
    const std::vector<double> adjusted = benjaminiHochberg(p);
    auto next = adjusted.begin();
    for (KeySummary& key : keys) {
        if (!key.trend.enough)
            continue;
        key.trend.adjustedP = *next++;
        if (key.trend.adjustedP >= 0.05)
            key.trend.trend = Trend::NoChange;
    }
}

const ProgressTally::KeyAnswers* ProgressTally::answersIn(std::size_t index, uint32_t drill) const
{
    const std::vector<KeyAnswers>& answers = m_keys[index].answers;
    const auto found = std::lower_bound(answers.begin(), answers.end(), drill,
        [](const KeyAnswers& a, uint32_t value) { return a.drill < value; });
    return found != answers.end() && found->drill == drill ? &*found : nullptr;
}

std::vector<Sitting> ProgressTally::keySittings(
    std::size_t index, const std::string& kind, bool& kept, std::vector<uint64_t>& wrong) const
{
    // The latest sittings of the kind, newest first, back to where both of the trend's windows are
    // full, or MostAnswerDrillsPerKind drills of it.
    std::vector<Sitting> newestFirst;
    uint32_t current = UINT32_MAX;
    std::size_t later = 0, earlier = 0, laterSittings = 0, earlierSittings = 0;
    const auto full = [](std::size_t answers, std::size_t sittings) {
        return answers >= TrendWindow && sittings >= TrendSittings;
    };
    const std::vector<KeyAnswers>& answers = m_keys[index].answers;
    std::size_t drills = 0;
    for (auto it = answers.rbegin(); it != answers.rend() && drills < MostAnswerDrillsPerKind; ++it) {
        if (m_drills[it->drill].startedUtcMs < m_fromUtcMs)
            break; // before the period: so are all before it
        if (m_drills[it->drill].rows != kind)
            continue;
        kept = true;
        ++drills;
        if (it->ms.empty()) { // wrong keys only: they count in its sitting, if it has times
            if (m_sittings[it->drill] == current)
                wrong.back() += it->wrong;
            continue;
        }
        if (m_sittings[it->drill] != current) {
            if (full(earlier, earlierSittings))
                break;
            current = m_sittings[it->drill];
            newestFirst.emplace_back();
            wrong.push_back(0);
            ++(full(later, laterSittings) ? earlierSittings : laterSittings);
        }
        wrong.back() += it->wrong;
        newestFirst.back().insert(newestFirst.back().end(), it->ms.begin(), it->ms.end());
        (earlierSittings > 0 ? earlier : later) += it->ms.size();
    }
    std::reverse(newestFirst.begin(), newestFirst.end());
    std::reverse(wrong.begin(), wrong.end());
    return newestFirst;
}

void ProgressTally::timesOf(std::size_t index, const std::string& kind, KeySummary& summary) const
{
    std::vector<uint64_t> wrong;
    const std::vector<Sitting> sittings = keySittings(index, kind, summary.answersKept, wrong);
    summary.trend = keyTrend(sittings);
    // The figures are over the trend's later window; the median's interval counts its sittings.
    std::vector<uint32_t> window;
    window.reserve(summary.trend.later);
    const auto later = std::span(sittings).last(summary.trend.laterSittings);
    for (const Sitting& sitting : later)
        window.insert(window.end(), sitting.begin(), sitting.end());
    summary.times = timeFigures(window);
    if (!window.empty()) {
        summary.recentHits = window.size();
        summary.recentWrong = std::accumulate(
            wrong.end() - static_cast<std::ptrdiff_t>(later.size()), wrong.end(), uint64_t { 0 });
        summary.accuracy
            = static_cast<double>(summary.recentHits) / static_cast<double>(summary.recentAnswers());
    }
    summary.medianLogError = Infinite;
    if (summary.times.median && summary.times.median->interval && summary.times.median->interval->low > 0)
        summary.medianLogError
            = std::log(summary.times.median->interval->high / summary.times.median->interval->low)
            / (2 * 1.96);
    if (summary.times.median) {
        summary.times.median->interval = sittingInterval(later, 0.5);
        summary.times.p90->interval = sittingInterval(later, 0.9);
    }
}

const std::string* ProgressTally::mostPractised(
    std::vector<KeyEntry>::const_iterator first, std::vector<KeyEntry>::const_iterator last) const
{
    // Few drills: counting each one's kind among them is cheaper than a map.
    const std::string* best = nullptr;
    std::ptrdiff_t bestCount = 0;
    for (auto it = last; it != first;) {
        --it; // the latest first, so that a tie keeps the kind practised last
        const std::string& rows = m_drills[it->drill].rows;
        const auto count = std::count_if(
            first, last, [&](const KeyEntry& entry) { return m_drills[entry.drill].rows == rows; });
        if (count > bestCount) {
            best = &rows;
            bestCount = count;
        }
    }
    return best;
}

std::vector<KindCount> ProgressTally::kinds(int64_t nowUtcMs) const
{
    const int64_t since = nowUtcMs - DefaultKindDays * MsPerDay;
    std::vector<KindCount> kinds;
    for (std::size_t index = 0; index < m_drills.size(); ++index) {
        const DrillTotals& drill = m_drills[index];
        auto found = std::find_if(
            kinds.begin(), kinds.end(), [&](const KindCount& kind) { return kind.rows == drill.rows; });
        if (found == kinds.end())
            found = kinds.insert(kinds.end(), KindCount { drill.rows, 0, 0, 0 });
        ++found->drills;
        if (drill.startedUtcMs >= since)
            ++found->lately;
        found->lastDrill = index;
    }
    std::sort(kinds.begin(), kinds.end(), [](const KindCount& a, const KindCount& b) {
        return a.drills != b.drills ? a.drills > b.drills : a.lastDrill > b.lastDrill;
    });
    return kinds;
}

KindChoice ProgressTally::defaultKind(int64_t nowUtcMs) const
{
    const std::vector<KindCount> all = kinds(nowUtcMs);
    const auto most = std::max_element(all.begin(), all.end(), [](const KindCount& a, const KindCount& b) {
        return a.lately != b.lately ? a.lately < b.lately : a.lastDrill < b.lastDrill;
    });
    if (most == all.end())
        return std::nullopt;
    return most->rows;
}

double HeatScale::position(double value) const
{
    if (bad == good)
        return 0;
    if (logarithmic) {
        // Both ends are above zero; a value at or below zero is as good as it gets.
        if (!(value > 0))
            return good < bad ? 0 : 1;
        return std::clamp(std::log(value / good) / std::log(bad / good), 0.0, 1.0);
    }
    return std::clamp((value - good) / (bad - good), 0.0, 1.0);
}

double HeatScale::valueAt(double position) const
{
    if (logarithmic)
        return good * std::pow(bad / good, position);
    return good + (bad - good) * position;
}

HeatScale averageScale()
{
    return { 250, 4000, true };
}

HeatScale accuracyScale()
{
    return { 1.0, 0.8 };
}

std::optional<double> heatPosition(const KeySummary& key, HeatMeasure measure)
{
    if (measure == HeatMeasure::Accuracy) {
        if (!key.enoughForAccuracy() || !key.accuracy)
            return std::nullopt;
        return accuracyScale().position(*key.accuracy);
    }
    if (!key.enoughAnswers())
        return std::nullopt;
    const std::optional<double> median = key.medianMs();
    return median ? averageScale().position(*median) : 1.0;
}

} // namespace touchdrill::figures
