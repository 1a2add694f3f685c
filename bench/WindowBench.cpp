// The real program in its own Xvfb, as a user meets it: the CPU it takes while it
// only shows a device, how long a start takes until the page is on screen, and the
// memory it holds. Also the colour-key mask the window updates on every present.
#include "ShapeMask.h"
#include "X11FindWindow.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kWindowClass = "Quorix-Firmware-Main-C7WK0-3HYR7";
constexpr unsigned long kDesktop = 0x336699;
constexpr int kPageWidth = 480;
constexpr int kPageHeight = 240;

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void sleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

bool onPath(const char* program) {
    const char* path = std::getenv("PATH");
    std::stringstream folders(path ? path : "/usr/bin:/bin");
    std::string folder;
    while (std::getline(folders, folder, ':'))
        if (!folder.empty() && access((folder + "/" + program).c_str(), X_OK) == 0)
            return true;
    return false;
}

// A child with stdin/stdout/stderr on /dev/null; optionally one more descriptor
// handed over as fd 3. Returns -1 when it could not be started.
pid_t spawn(const std::vector<std::string>& args, const std::vector<std::string>& env, int fd3 = -1) {
    std::vector<char*> argv, envp;
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    for (const std::string& entry : env)
        envp.push_back(const_cast<char*>(entry.c_str()));
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    if (fd3 >= 0)
        posix_spawn_file_actions_adddup2(&actions, fd3, 3);
    pid_t pid = -1;
    const int error = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return error == 0 ? pid : -1;
}

// Asks politely, then insists: nothing of ours may outlive the benchmark.
void stop(pid_t& pid) {
    if (pid <= 0)
        return;
    kill(pid, SIGTERM);
    int status = 0;
    for (int i = 0; i < 300; ++i) {
        if (waitpid(pid, &status, WNOHANG) == pid) {
            pid = -1;
            return;
        }
        sleepMs(10);
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    pid = -1;
}

int runToEnd(const std::vector<std::string>& args, const std::vector<std::string>& env) {
    pid_t pid = spawn(args, env);
    if (pid < 0)
        return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

// utime + stime of a process, in milliseconds.
double cpuMs(pid_t pid) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    // The command name may hold spaces; the fields counted here follow its ')'.
    const size_t close = text.rfind(')');
    if (close == std::string::npos)
        return -1;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14)
            utime = std::stoull(field);
        else if (i == 15)
            stime = std::stoull(field);
    }
    return double(utime + stime) * 1000.0 / double(sysconf(_SC_CLK_TCK));
}

// CPU time and times scheduled in, summed over the process's threads: finer than
// clock ticks, and the count shows how often timers wake the program.
struct Scheduled {
    double cpuMs = 0;
    double runs = 0;
};

Scheduled scheduled(pid_t pid) {
    Scheduled total;
    std::error_code error;
    for (const auto& task : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", error)) {
        std::ifstream file(task.path() / "schedstat");
        unsigned long long runNs = 0, waitNs = 0, runs = 0;
        if (file >> runNs >> waitNs >> runs) {
            total.cpuMs += double(runNs) / 1e6;
            total.runs += double(runs);
        }
    }
    return total;
}

// A "VmRSS:" style line of /proc/PID/status, in MB.
double statusMb(pid_t pid, const std::string& key) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(file, line))
        if (line.compare(0, key.size(), key) == 0)
            return double(std::strtoull(line.c_str() + key.size(), nullptr, 10)) / 1024.0;
    return -1;
}

int ignoreXErrors(Display*, XErrorEvent*) {
    return 0; // the window may go away between finding and reading it
}

// A private X server with a desktop of a known colour, the temp home the program
// keeps its settings in, and the program itself.
class Session {
public:
    ~Session() {
        stop(program);
        if (display)
            XCloseDisplay(display);
        stop(xvfb);
        if (!home.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(home, ignored);
        }
    }

    // Empty on success, else why not.
    std::string start() {
        if (!onPath("Xvfb"))
            return "Xvfb is not installed";
        char folder[] = "/tmp/quorix-window-bench-XXXXXX";
        if (!mkdtemp(folder))
            return "no temp folder";
        home = folder;
        std::filesystem::create_directories(home + "/config");

        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0)
            return "no pipe";
        // Above 3, so that the child's dup2 to 3 gives a descriptor that survives exec.
        const int writeEnd = fcntl(fds[1], F_DUPFD_CLOEXEC, 10);
        close(fds[1]);
        xvfb = spawn({"Xvfb", "-displayfd", "3", "-screen", "0", "1280x800x24", "-noreset", "-nolisten", "tcp"},
                     inheritedEnvironment(), writeEnd);
        close(writeEnd);
        std::string number;
        pollfd reader{fds[0], POLLIN, 0};
        const auto deadline = Clock::now() + std::chrono::seconds(10);
        while (xvfb > 0 && number.find('\n') == std::string::npos && Clock::now() < deadline) {
            if (poll(&reader, 1, 100) <= 0)
                continue;
            char buffer[32];
            const ssize_t got = read(fds[0], buffer, sizeof buffer);
            if (got <= 0)
                break;
            number.append(buffer, size_t(got));
        }
        close(fds[0]);
        if (number.find('\n') == std::string::npos)
            return "Xvfb did not start";
        char name[32];
        std::snprintf(name, sizeof name, ":%d", std::atoi(number.c_str()));
        displayName = name;

        display = XOpenDisplay(displayName.c_str());
        if (!display)
            return "no connection to Xvfb";
        XSetErrorHandler(ignoreXErrors);
        const Window root = DefaultRootWindow(display);
        XSetWindowBackground(display, root, kDesktop);
        XClearWindow(display, root);
        XSync(display, False);
        return {};
    }

    std::vector<std::string> programEnvironment() const {
        std::vector<std::string> env = inheritedEnvironment();
        env.push_back("DISPLAY=" + displayName);
        env.push_back("HOME=" + home);
        env.push_back("XDG_CONFIG_HOME=" + home + "/config");
        return env;
    }

    bool launch(const std::vector<std::string>& args) {
        std::vector<std::string> all{QUORIX_UPDATER};
        all.insert(all.end(), args.begin(), args.end());
        program = spawn(all, programEnvironment());
        return program > 0;
    }

    Window window() { return findWindowByClass(display, DefaultRootWindow(display), kWindowClass, 1); }

    // Whether the window is mapped and its pixels, read back from the screen, no
    // longer show the desktop at points inside the page (the window keeps what lay
    // under it until its first present).
    bool showsPage() {
        const Window found = window();
        if (!found)
            return false;
        const Window root = DefaultRootWindow(display);
        int x = 0, y = 0;
        Window child = 0;
        if (!XTranslateCoordinates(display, found, root, 0, 0, &x, &y, &child))
            return false;
        const int probes[][2] = {{240, 20}, {240, 120}, {60, 200}, {420, 200}};
        for (const auto& probe : probes) {
            XImage* image = XGetImage(display, root, x + probe[0], y + probe[1], 1, 1, AllPlanes, ZPixmap);
            if (!image)
                return false;
            const unsigned long pixel = XGetPixel(image, 0, 0) & 0xFFFFFFul;
            XDestroyImage(image);
            if (pixel == kDesktop)
                return false;
        }
        return true;
    }

    bool waitFor(bool shown, int timeoutMs, int pollMs) {
        const auto start = Clock::now();
        while (millisecondsSince(start) < timeoutMs) {
            if ((shown ? showsPage() : window() == 0))
                return true;
            sleepMs(pollMs);
        }
        return false;
    }

    // Compares the window with the golden image of the page showing the simulated
    // device, as the end-to-end run does.
    bool showsDevice(int timeoutMs) {
        return runToEnd({QUORIX_WINDOW_SHOT, "--class", kWindowClass, "--golden",
                         std::string(QUORIX_GOLDEN_DIR) + "/window_device.png", "--behind", "336699", "--wait",
                         std::to_string(timeoutMs)},
                        programEnvironment()) == 0;
    }

    std::string packDemoFile() {
        const std::string path = home + "/fw.qfu";
        const int code = runToEnd({QUORIX_QFU_PACK, "--vid", "1209", "--pid", "0001", "--name", "Quorix Demo Device",
                                   "--version", "1.1.0", "--random", "25600", "--seed", "7", "--out", path},
                                  programEnvironment());
        return code == 0 ? path : std::string();
    }

    // The program started with the demo file and the simulated device, its page
    // showing the device, then left alone for a second.
    std::string startWithDevice() {
        const std::string path = packDemoFile();
        if (path.empty())
            return "qfu-pack failed";
        if (!launch({"--simulate=latency=0,restart=0", path}))
            return "the program did not start";
        if (!waitFor(true, 10000, 20))
            return "the window did not show a page";
        if (!showsDevice(10000))
            return "the window does not show the simulated device";
        sleepMs(1000);
        return {};
    }

    std::string home, displayName;
    Display* display = nullptr;
    pid_t xvfb = -1, program = -1;

private:
    static std::vector<std::string> inheritedEnvironment() {
        std::vector<std::string> env;
        for (char** entry = environ; *entry; ++entry) {
            const std::string text = *entry;
            if (text.rfind("DISPLAY=", 0) != 0 && text.rfind("HOME=", 0) != 0 &&
                text.rfind("XDG_CONFIG_HOME=", 0) != 0)
                env.push_back(text);
        }
        return env;
    }
};

// Goal: below 0.25 % of one core while a device is shown and nothing happens. The
// timers that poll for devices and fade must not redraw unchanged pixels, and
// timers due close together share a wake-up. The frame timer alone wakes the
// program 50 times a second, the worker 10 times: on a machine where an empty
// wake-up costs ~45 us that is a floor of ~0.27 %.
void BM_IdleCpuWithDevice(benchmark::State& state) {
    Session session;
    std::string error = session.start();
    if (error.empty())
        error = session.startWithDevice();
    if (!error.empty()) {
        state.SkipWithError(error.c_str());
        return;
    }
    constexpr int kMeasureMs = 10000;
    double programMs = 0, serverMs = 0, wallMs = 0;
    Scheduled threads;
    for (auto _ : state) {
        const double programBefore = cpuMs(session.program), serverBefore = cpuMs(session.xvfb);
        const Scheduled threadsBefore = scheduled(session.program);
        const auto start = Clock::now();
        sleepMs(kMeasureMs);
        programMs = cpuMs(session.program) - programBefore;
        serverMs = cpuMs(session.xvfb) - serverBefore;
        threads = scheduled(session.program);
        threads.cpuMs -= threadsBefore.cpuMs;
        threads.runs -= threadsBefore.runs;
        wallMs = millisecondsSince(start);
        state.SetIterationTime(wallMs / 1000.0);
    }
    if (programMs < 0 || waitpid(session.program, nullptr, WNOHANG) != 0) {
        state.SkipWithError("the program ended during the measurement");
        return;
    }
    state.counters["cpu_percent_of_core"] = programMs / wallMs * 100.0;
    state.counters["cpu_ms"] = programMs;
    state.counters["sched_cpu_percent_of_core"] = threads.cpuMs / wallMs * 100.0;
    state.counters["wakeups_per_s"] = threads.runs / wallMs * 1000.0;
    // What the X server spends on the program's requests (presents, shape changes).
    state.counters["xvfb_cpu_percent_of_core"] = serverMs / wallMs * 100.0;
}
BENCHMARK(BM_IdleCpuWithDevice)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// Goal: below 150 ms from starting the program until its page is on screen, the
// window mapped and presented. Each start is a fresh process; the previous window
// must be gone, or the new start only raises it and exits.
void BM_StartToFirstFrame(benchmark::State& state) {
    Session session;
    const std::string error = session.start();
    if (!error.empty()) {
        state.SkipWithError(error.c_str());
        return;
    }
    double sum = 0, best = 1e9, worst = 0, mappedSum = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        if (!session.launch({})) {
            state.SkipWithError("the program did not start");
            return;
        }
        double mappedMs = -1, shownMs = -1;
        while (millisecondsSince(start) < 10000) {
            if (mappedMs < 0 && session.window())
                mappedMs = millisecondsSince(start);
            if (mappedMs >= 0 && session.showsPage()) {
                shownMs = millisecondsSince(start);
                break;
            }
            sleepMs(1);
        }
        if (shownMs < 0) {
            state.SkipWithError("the window did not show its page within 10 s");
            return;
        }
        state.SetIterationTime(shownMs / 1000.0);
        sum += shownMs;
        mappedSum += mappedMs;
        best = std::min(best, shownMs);
        worst = std::max(worst, shownMs);

        stop(session.program);
        if (!session.waitFor(false, 5000, 5)) {
            state.SkipWithError("the window stayed after the program ended");
            return;
        }
    }
    const double runs = double(state.iterations());
    state.counters["first_frame_ms_mean"] = sum / runs;
    state.counters["first_frame_ms_min"] = best;
    state.counters["first_frame_ms_max"] = worst;
    state.counters["mapped_ms_mean"] = mappedSum / runs;
}
BENCHMARK(BM_StartToFirstFrame)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

// Goal: below 30 MB resident once the page shows a device.
void BM_ResidentMemoryWithDevice(benchmark::State& state) {
    Session session;
    std::string error = session.start();
    if (error.empty())
        error = session.startWithDevice();
    if (!error.empty()) {
        state.SkipWithError(error.c_str());
        return;
    }
    double rss = -1, peak = -1;
    for (auto _ : state) {
        rss = statusMb(session.program, "VmRSS:");
        peak = statusMb(session.program, "VmHWM:");
    }
    if (rss < 0 || peak < 0) {
        state.SkipWithError("no memory figures for the program");
        return;
    }
    state.counters["rss_mb"] = rss;
    state.counters["hwm_mb"] = peak;
}
BENCHMARK(BM_ResidentMemoryWithDevice)->Iterations(1)->Unit(benchmark::kMillisecond);

// A page as the window presents it: bottom-up rows, key-coloured rounded corners.
struct KeyedPage {
    static constexpr uint32_t kKey = 0xFF00FF;

    KeyedPage() : pixels(size_t(kPageWidth) * kPageHeight * 4) {
        constexpr int radius = 12;
        for (int y = 0; y < kPageHeight; ++y)
            for (int x = 0; x < kPageWidth; ++x) {
                const int dx = std::max({radius - x, x - (kPageWidth - 1 - radius), 0});
                const int dy = std::max({radius - y, y - (kPageHeight - 1 - radius), 0});
                const uint32_t colour = dx * dx + dy * dy > radius * radius ? kKey
                                        : y < 44                              ? 0x202830u
                                                                              : 0xF0F0F0u;
                uint8_t* p = &pixels[(size_t(kPageHeight - 1 - y) * kPageWidth + size_t(x)) * 4];
                p[0] = uint8_t(colour), p[1] = uint8_t(colour >> 8), p[2] = uint8_t(colour >> 16), p[3] = 0xFF;
            }
        image = PixelImage{pixels.data(), kPageWidth, kPageHeight, size_t(kPageWidth) * 4};
        mask.reset(kPageWidth, kPageHeight);
        mask.update(image, PixelRect{0, 0, kPageWidth, kPageHeight}, kKey);
    }

    std::vector<uint8_t> pixels;
    PixelImage image;
    ShapeMask mask;
};

// Goal: a present of the whole page must not be held up by the mask; the usual
// present is the progress bar, where the mask costs next to nothing.
void BM_ShapeMaskUpdate(benchmark::State& state) {
    KeyedPage page;
    const PixelRect rect = state.range(0) ? PixelRect{0, 0, kPageWidth, kPageHeight}
                                          : PixelRect{136, 150, 136 + 209, 150 + 18};
    for (auto _ : state) {
        const bool changed = page.mask.update(page.image, rect, KeyedPage::kKey);
        benchmark::DoNotOptimize(changed);
        benchmark::ClobberMemory();
    }
    const int64_t pixelsPerUpdate = int64_t(rect.right - rect.left) * (rect.bottom - rect.top);
    state.SetItemsProcessed(state.iterations() * pixelsPerUpdate);
    state.SetLabel(state.range(0) ? "page 480x240" : "progress bar 209x18");
}
BENCHMARK(BM_ShapeMaskUpdate)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

// Goal: the rectangles handed to the X server when the outline changes stay few
// (one band a corner row) and cheap to find.
void BM_ShapeMaskSolidRectangles(benchmark::State& state) {
    KeyedPage page;
    size_t count = 0;
    for (auto _ : state) {
        const std::vector<PixelRect> rectangles = page.mask.solidRectangles();
        count = rectangles.size();
        benchmark::DoNotOptimize(rectangles.data());
    }
    state.counters["rectangles"] = double(count);
}
BENCHMARK(BM_ShapeMaskSolidRectangles)->Unit(benchmark::kMicrosecond);

} // namespace
