// SPDX-License-Identifier: GPL-3.0-or-later
// xprobe: starts one program on the X server named by DISPLAY and measures it from the outside, the
// way its user meets it: the time from exec to its first painted frame, its resident memory, and,
// for touchdrill, the CPU a running drill costs and the time from a key to the changed pixels of
// the target display.
//
// Screen changes are seen through the DAMAGE extension: the server reports every drawing into the
// program's window as it happens, so nothing is polled and the probe takes no CPU from the program
// while it waits. Each report is checked against the pixels themselves (GetImage) before it counts.
// --detect poll reads the pixels in a tight loop instead, to cross-check the figures.
//
// Output: "name value..." lines on stdout; errors on stderr and a non-zero exit status.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xdamage.h>
#include <X11/keysym.h>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

extern char** environ;

namespace {

int64_t nowUs()
{
    timespec ts {};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t { ts.tv_sec } * 1'000'000 + ts.tv_nsec / 1000;
}

pid_t g_child = 0; // the program under test, killed when the probe gives up

[[noreturn]] void fail(const std::string& message)
{
    std::fprintf(stderr, "xprobe: %s\n", message.c_str());
    if (g_child > 0) {
        kill(g_child, SIGKILL);
        waitpid(g_child, nullptr, 0);
    }
    std::exit(2);
}

int ignoreXErrors(Display*, XErrorEvent*)
{
    // A window can vanish between its creation notice and our request about it; that is no fault.
    return 0;
}

struct Options {
    double timeoutSeconds = 20;
    double rssAfterSeconds = -1;
    bool drill = false;
    int keys = 0;
    double cpuSeconds = 10;
    double answerEvery = 0.5;
    bool poll = false;
    std::string log = "/dev/null";
    std::vector<char*> command;
};

void usage()
{
    std::fprintf(stderr,
        "usage: xprobe [--timeout S] [--rss-after S] [--drill] [--keys N] [--cpu-seconds S]\n"
        "              [--answer-every S] [--detect damage|poll] [--log FILE] -- program [args]\n");
    std::exit(2);
}

Options parse(int argc, char** argv)
{
    Options o;
    int i = 1;
    auto value = [&](const char* name) -> const char* {
        if (i + 1 >= argc)
            fail(std::string(name) + " needs a value");
        return argv[++i];
    };
    for (; i < argc; ++i) {
        const std::string_view a = argv[i];
        if (a == "--") {
            ++i;
            break;
        }
        if (a == "--timeout")
            o.timeoutSeconds = std::atof(value("--timeout"));
        else if (a == "--rss-after")
            o.rssAfterSeconds = std::atof(value("--rss-after"));
        else if (a == "--drill")
            o.drill = true;
        else if (a == "--keys")
            o.keys = std::atoi(value("--keys"));
        else if (a == "--cpu-seconds")
            o.cpuSeconds = std::atof(value("--cpu-seconds"));
        else if (a == "--answer-every")
            o.answerEvery = std::atof(value("--answer-every"));
        else if (a == "--detect") {
            const std::string_view d = value("--detect");
            if (d != "damage" && d != "poll")
                usage();
            o.poll = d == "poll";
        } else if (a == "--log")
            o.log = value("--log");
        else
            usage();
    }
    for (; i < argc; ++i)
        o.command.push_back(argv[i]);
    if (o.command.empty())
        usage();
    o.command.push_back(nullptr);
    return o;
}

// The scheduler's own account of the time each thread ran, to the nanosecond, by thread id;
// /proc/<pid>/stat counts in clock ticks (10 ms), which is coarse for a few tenths of a per cent.
std::map<std::string, int64_t> runNsByThread(pid_t pid)
{
    std::map<std::string, int64_t> threads;
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    if (DIR* dir = opendir(tasks.c_str())) {
        while (const dirent* entry = readdir(dir)) {
            if (entry->d_name[0] == '.')
                continue;
            std::ifstream in(tasks + "/" + entry->d_name + "/schedstat");
            long long ns = 0;
            if (in >> ns)
                threads[entry->d_name] = ns;
        }
        closedir(dir);
    }
    return threads;
}

int64_t runNsOf(pid_t pid)
{
    int64_t total = 0;
    for (const auto& [tid, ns] : runNsByThread(pid))
        total += ns;
    return total;
}

struct CpuSample {
    long ticks = 0; // utime + stime, all threads, in clock ticks
    std::map<std::string, int64_t> runNs; // by thread
    int64_t at = 0;
};

CpuSample cpuOf(pid_t pid)
{
    CpuSample s;
    s.at = nowUs();
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(in, line);
    const auto close = line.rfind(')');
    if (close == std::string::npos)
        fail("cannot read /proc/" + std::to_string(pid) + "/stat");
    std::istringstream fields(line.substr(close + 2));
    std::string field;
    // After the command come the state (field 3) ... utime (14) and stime (15).
    long utime = 0, stime = 0;
    for (int n = 3; n <= 15 && fields >> field; ++n) {
        if (n == 14)
            utime = std::stol(field);
        if (n == 15)
            stime = std::stol(field);
    }
    s.ticks = utime + stime;
    s.runNs = runNsByThread(pid);
    return s;
}

double cpuPercent(const CpuSample& a, const CpuSample& b)
{
    const double cpuSeconds = double(b.ticks - a.ticks) / double(sysconf(_SC_CLK_TCK));
    return 100.0 * cpuSeconds / (double(b.at - a.at) / 1e6);
}

// Threads that ended within the window are lost to this count; threads born in it count whole.
double runPercent(const CpuSample& a, const CpuSample& b)
{
    int64_t ns = 0;
    for (const auto& [tid, end] : b.runNs) {
        const auto start = a.runNs.find(tid);
        ns += end - (start == a.runNs.end() ? 0 : start->second);
    }
    return 100.0 * double(ns) / 1e9 / (double(b.at - a.at) / 1e6);
}

long rssKb(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    fail("no VmRSS for " + std::to_string(pid));
}

struct Rect {
    int x, y, w, h;
    bool intersects(const XRectangle& r) const
    {
        return r.x < x + w && x < r.x + r.width && r.y < y + h && y < r.y + r.height;
    }
};

class Probe {
public:
    explicit Probe(const Options& options)
        : m_options(options)
    {
        m_dpy = XOpenDisplay(nullptr);
        if (!m_dpy)
            fail("cannot open the display (is DISPLAY set?)");
        XSetErrorHandler(ignoreXErrors);
        int error = 0, major = 0, minor = 0;
        if (!XDamageQueryExtension(m_dpy, &m_damageEvent, &error))
            fail("the X server lacks the DAMAGE extension");
        int xtestEvent = 0, xtestError = 0;
        if (!XTestQueryExtension(m_dpy, &xtestEvent, &xtestError, &major, &minor))
            fail("the X server lacks the XTEST extension");
        m_root = DefaultRootWindow(m_dpy);
        XSelectInput(m_dpy, m_root, SubstructureNotifyMask);
        XSync(m_dpy, False);
    }

    ~Probe() { stopChild(); }

    void launch()
    {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(
            &actions, 1, m_options.log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        m_launchedAt = nowUs();
        const int rc = posix_spawn(
            &m_child, m_options.command[0], &actions, nullptr, m_options.command.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0)
            fail(std::string("cannot start ") + m_options.command[0] + ": " + std::strerror(rc));
        g_child = m_child;
    }

    // Waits for the program's first mapped top-level window and then for its first frame that is
    // not a single flat colour; the time of the screen report that brought that frame counts.
    void waitFirstFrame()
    {
        const int64_t deadline = m_launchedAt + int64_t(m_options.timeoutSeconds * 1e6);
        int64_t pendingSince = -1;
        for (;;) {
            XEvent ev;
            int64_t at = 0;
            if (!nextEvent(ev, deadline, at))
                fail(childGone() ? "the program exited before it showed a window"
                                 : "no painted window within the time limit");
            if (ev.type == CreateNotify && ev.xcreatewindow.parent == m_root) {
                // Watch every new top-level window from its birth, so no drawing slips past.
                m_damages[ev.xcreatewindow.window]
                    = XDamageCreate(m_dpy, ev.xcreatewindow.window, XDamageReportRawRectangles);
            } else if (ev.type == MapNotify && ev.xmap.event == m_root && !m_window) {
                XWindowAttributes attrs {};
                if (XGetWindowAttributes(m_dpy, ev.xmap.window, &attrs) && attrs.width >= 100
                    && attrs.height >= 100 && !attrs.override_redirect) {
                    m_window = ev.xmap.window;
                    m_mappedAt = at;
                    m_width = attrs.width;
                    m_height = attrs.height;
                    if (!m_damages.count(m_window))
                        m_damages[m_window] = XDamageCreate(m_dpy, m_window, XDamageReportRawRectangles);
                    pendingSince = at; // it might have been drawn before we heard of it
                }
            } else if (ev.type == m_damageEvent + XDamageNotify) {
                const auto& d = reinterpret_cast<const XDamageNotifyEvent&>(ev);
                if (m_window && d.drawable == m_window && pendingSince < 0)
                    pendingSince = at;
            }
            if (pendingSince >= 0 && XQLength(m_dpy) == 0) {
                if (painted()) {
                    m_firstFrameAt = pendingSince;
                    return;
                }
                pendingSince = -1;
            }
        }
    }

    void report()
    {
        // The program's own CPU time so far (all threads): how much of the start-up was its work
        // rather than waiting for the X server or the disk.
        const int64_t cpuNs = runNsOf(m_child);
        std::printf(
            "pid %d\nwindow 0x%lx\nsize %d %d\nmapped_us %lld\nstartup_us %lld\nstartup_cpu_us %lld\n",
            int(m_child), m_window, m_width, m_height, static_cast<long long>(m_mappedAt - m_launchedAt),
            static_cast<long long>(m_firstFrameAt - m_launchedAt), static_cast<long long>(cpuNs / 1000));
        std::fflush(stdout);
    }

    void measureRss(double afterSeconds)
    {
        drainUntil(m_firstFrameAt + int64_t(afterSeconds * 1e6));
        if (childGone())
            fail("the program exited before its memory was read");
        std::printf("rss_kb %ld\n", rssKb(m_child));
        std::fflush(stdout);
    }

    void runDrill();

    void stopChild()
    {
        if (m_child <= 0)
            return;
        kill(m_child, SIGTERM);
        for (int i = 0; i < 300; ++i) {
            if (waitpid(m_child, nullptr, WNOHANG) == m_child) {
                m_child = g_child = 0;
                return;
            }
            usleep(10'000);
        }
        kill(m_child, SIGKILL);
        waitpid(m_child, nullptr, 0);
        m_child = g_child = 0;
    }

private:
    // The next event, waiting until the deadline; `at` is when the event reached this process.
    bool nextEvent(XEvent& ev, int64_t deadline, int64_t& at)
    {
        if (XQLength(m_dpy) == 0) {
            m_readAt = nowUs();
            while (XPending(m_dpy) == 0) {
                const int64_t left = deadline - nowUs();
                if (left <= 0 || childGone())
                    return false;
                pollfd pfd { ConnectionNumber(m_dpy), POLLIN, 0 };
                const int64_t slice = std::min<int64_t>(left, 100'000); // look at the child now and then
                timespec ts { time_t(slice / 1'000'000), long(slice % 1'000'000) * 1000 };
                ppoll(&pfd, 1, &ts, nullptr);
                m_readAt = nowUs();
            }
        }
        XNextEvent(m_dpy, &ev);
        at = m_readAt;
        return true;
    }

    // Handles events until the deadline; returns the number of drawing reports on the window.
    int drainUntil(int64_t deadline)
    {
        int drawn = 0;
        XEvent ev;
        int64_t at = 0;
        while (nextEvent(ev, deadline, at))
            if (ev.type == m_damageEvent + XDamageNotify
                && reinterpret_cast<const XDamageNotifyEvent&>(ev).drawable == m_window)
                ++drawn;
        return drawn;
    }

    bool childGone()
    {
        if (m_child <= 0)
            return true;
        if (waitpid(m_child, nullptr, WNOHANG) == m_child) {
            m_child = g_child = 0;
            return true;
        }
        return false;
    }

    XImage* grab(const Rect& r)
    {
        return XGetImage(m_dpy, m_window, r.x, r.y, unsigned(r.w), unsigned(r.h), AllPlanes, ZPixmap);
    }

    // Anything but one flat colour over the whole window.
    bool painted()
    {
        XImage* image = grab({ 0, 0, m_width, m_height });
        if (!image)
            return false;
        const unsigned long first = XGetPixel(image, 0, 0) & 0xFFFFFF;
        bool varied = false;
        for (int y = 0; y < image->height && !varied; ++y)
            for (int x = 0; x < image->width; ++x)
                if ((XGetPixel(image, x, y) & 0xFFFFFF) != first) {
                    varied = true;
                    break;
                }
        XDestroyImage(image);
        return varied;
    }

    uint64_t hashOf(const Rect& r)
    {
        XImage* image = grab(r);
        if (!image)
            fail("cannot read the window's pixels");
        uint64_t h = 1469598103934665603ull;
        for (int y = 0; y < image->height; ++y)
            for (int x = 0; x < image->width; ++x) {
                h ^= XGetPixel(image, x, y) & 0xFFFFFF;
                h *= 1099511628211ull;
            }
        XDestroyImage(image);
        return h;
    }

    void tap(KeySym sym)
    {
        const KeyCode code = XKeysymToKeycode(m_dpy, sym);
        XTestFakeKeyEvent(m_dpy, code, True, CurrentTime);
        XTestFakeKeyEvent(m_dpy, code, False, CurrentTime);
        XFlush(m_dpy);
    }

    void altTap(KeySym sym)
    {
        const KeyCode alt = XKeysymToKeycode(m_dpy, XK_Alt_L);
        const KeyCode code = XKeysymToKeycode(m_dpy, sym);
        XTestFakeKeyEvent(m_dpy, alt, True, CurrentTime);
        XTestFakeKeyEvent(m_dpy, code, True, CurrentTime);
        XTestFakeKeyEvent(m_dpy, code, False, CurrentTime);
        XTestFakeKeyEvent(m_dpy, alt, False, CurrentTime);
        XFlush(m_dpy);
    }

    // Waits until the pixels of `region` differ from `before`; returns the time the screen report
    // of that change arrived (with --detect poll, the time the pixels were seen), or -1.
    int64_t waitChange(const Rect& region, uint64_t before, int64_t deadline, uint64_t& after)
    {
        if (m_options.poll) {
            while (nowUs() < deadline) {
                const uint64_t h = hashOf(region);
                const int64_t at = nowUs();
                while (XPending(m_dpy)) { // keep the queue short
                    XEvent ev;
                    XNextEvent(m_dpy, &ev);
                }
                if (h != before) {
                    after = h;
                    return at;
                }
            }
            return -1;
        }
        int64_t pendingSince = -1;
        XEvent ev;
        int64_t at = 0;
        while (nextEvent(ev, deadline, at)) {
            if (ev.type == m_damageEvent + XDamageNotify) {
                const auto& d = reinterpret_cast<const XDamageNotifyEvent&>(ev);
                if (d.drawable == m_window && region.intersects(d.area) && pendingSince < 0)
                    pendingSince = at;
            }
            if (pendingSince >= 0 && XQLength(m_dpy) == 0) {
                const uint64_t h = hashOf(region);
                if (h != before) {
                    after = h;
                    return pendingSince;
                }
                pendingSince = -1;
            }
        }
        return -1;
    }

    const Options& m_options;
    Display* m_dpy = nullptr;
    Window m_root = 0;
    int m_damageEvent = 0;
    std::map<Window, Damage> m_damages;
    pid_t m_child = 0;
    Window m_window = 0;
    int m_width = 0, m_height = 0;
    int64_t m_launchedAt = 0, m_mappedAt = 0, m_firstFrameAt = 0, m_readAt = 0;
};

// Drives one drill of the home row. The probe cannot ask the program which character is on show,
// so it learns it from the screen: each character always looks the same in the target display, so
// the first time a picture is seen the row's keys are tried in turn until one changes it (a wrong
// key only shows in the wrong-key display, outside the region watched), and from then on that
// picture's key is known. Every latency sample is a key that changed the target display.
void Probe::runDrill()
{
    // The target display: the big label at (8, 128) in the panel, up to where the wrong-key display
    // (at x = 200) and the gauge begin. Only the target display draws here during a drill.
    const Rect region { 8, 128, 192, 250 };
    const std::string row = "asdfghjkl";
    std::map<uint64_t, char> known;
    int wrongKeys = 0, misses = 0;
    std::vector<int64_t> samples;
    uint32_t seed = 12345;
    auto pauseMs = [&seed](int lo, int hi) {
        seed = seed * 1103515245u + 12345u;
        return lo + int((seed >> 16) % uint32_t(hi - lo + 1));
    };

    XSetInputFocus(m_dpy, m_window, RevertToParent, CurrentTime);
    XSync(m_dpy, False);
    drainUntil(nowUs() + 300'000);
    // Tick the home row (three Tabs from the list, then space), prepare with Alt+R, start with space.
    for (int i = 0; i < 3; ++i) {
        tap(XK_Tab);
        drainUntil(nowUs() + 40'000);
    }
    tap(XK_space);
    drainUntil(nowUs() + 100'000);
    altTap(XK_r);
    drainUntil(nowUs() + 200'000);
    uint64_t current = hashOf(region);
    tap(XK_space);
    if (waitChange(region, current, nowUs() + 3'000'000, current) < 0)
        fail("the drill did not start (no target appeared)");
    drainUntil(nowUs() + 200'000);
    current = hashOf(region);

    // One correct key: the one the picture is known by, or found by trying the row's keys.
    // Returns the latency in µs, or -1 when no key changed the display.
    auto answer = [&]() -> int64_t {
        drainUntil(nowUs()); // earlier reports must not be taken for this key's
        const uint64_t before = current;
        if (auto it = known.find(before); it != known.end()) {
            const int64_t sent = nowUs();
            tap(KeySym(it->second));
            const int64_t seen = waitChange(region, before, sent + 1'000'000, current);
            if (seen >= 0)
                return seen - sent;
            ++misses; // the picture was not that character's after all: learn it again
            known.erase(it);
            return -1;
        }
        for (const char c : row) {
            bool taken = false;
            for (const auto& [picture, key] : known)
                taken = taken || key == c;
            if (taken)
                continue;
            const int64_t sent = nowUs();
            tap(KeySym(c));
            const int64_t seen = waitChange(region, before, sent + 300'000, current);
            if (seen >= 0) {
                known[before] = c;
                return seen - sent;
            }
            ++wrongKeys;
        }
        ++misses;
        return -1;
    };

    // Latency: keys at a typist's irregular pace, so they fall anywhere within the gauge's ticks.
    for (int attempts = 0; int(samples.size()) < m_options.keys && attempts < m_options.keys * 4;
         ++attempts) {
        drainUntil(nowUs() + 1000 * pauseMs(30, 120));
        const int64_t latency = answer();
        if (latency >= 0)
            samples.push_back(latency);
        if (childGone())
            fail("the program exited during the drill");
    }
    std::printf("latency_us");
    for (const int64_t s : samples)
        std::printf(" %lld", static_cast<long long>(s));
    std::printf("\nwrong_keys %d\nmisses %d\n", wrongKeys, misses);
    std::fflush(stdout);

    if (m_options.cpuSeconds <= 0)
        return;
    // The gauge rising: a correct key every answerEvery seconds, so the gauge never fills.
    const int64_t span = int64_t(m_options.cpuSeconds * 1e6);
    const int64_t every = int64_t(m_options.answerEvery * 1e6);
    answer();
    const CpuSample risingFrom = cpuOf(m_child);
    int drawn = 0, answered = 0;
    for (int64_t next = risingFrom.at + every; next < risingFrom.at + span; next += every) {
        drawn += drainUntil(next);
        if (answer() >= 0)
            ++answered;
    }
    drawn += drainUntil(risingFrom.at + span);
    const CpuSample risingTo = cpuOf(m_child);
    std::printf(
        "cpu_rising_pct %.3f\ncpu_rising_sched_pct %.3f\nrising_draws_per_s %.1f\nrising_answers %d\n",
        cpuPercent(risingFrom, risingTo), runPercent(risingFrom, risingTo),
        drawn / (double(risingTo.at - risingFrom.at) / 1e6), answered);
    std::fflush(stdout);

    // The gauge full: no key; the gauge fills within a second of the last answer, then nothing moves.
    drainUntil(nowUs() + 2'000'000);
    const CpuSample fullFrom = cpuOf(m_child);
    drawn = drainUntil(fullFrom.at + span);
    const CpuSample fullTo = cpuOf(m_child);
    std::printf("cpu_full_pct %.3f\ncpu_full_sched_pct %.3f\nfull_draws %d\n", cpuPercent(fullFrom, fullTo),
        runPercent(fullFrom, fullTo), drawn);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    const Options options = parse(argc, argv);
    Probe probe(options);
    probe.launch();
    probe.waitFirstFrame();
    probe.report();
    if (options.rssAfterSeconds >= 0)
        probe.measureRss(options.rssAfterSeconds);
    if (options.drill)
        probe.runDrill();
    probe.stopChild();
    return 0;
}
