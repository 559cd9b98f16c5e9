// Start-up of the three programs against a Qt hello-world (one QApplication,
// one QWidget shown; startup_hello beside this bench): the time from exec to
// the first window of the process that is viewable on the display, seen from
// outside through X events, and the process's resident memory (VmRSS) 1.5 s
// after that window came up. Beside the time, the processor time the process
// had used by then (user and system, the children it waited for included, in
// 10 ms steps): on a loaded machine it varies less than the time.
//
// Every side runs on a private Xvfb with openbox, once per DPI asked for; the
// bench, Xvfb, openbox, the fake panel and every program run on the same
// processors (--cpus, default the last four this process may use). Each run
// gets fresh HOME, XDG_CONFIG/DATA/CACHE/STATE_HOME and XDG_RUNTIME_DIR
// folders and the same small environment, so every start is a first start
// and the single-instance locks of Tarnwick and Quillet (in the runtime
// folder) never meet; a run ends (SIGTERM, SIGKILL after 5 s) before the next
// one starts. The order of the sides turns by one each round, after one
// warm-up round that is not counted.
//
// When it may (root), the bench moves into a network namespace of its own
// with only loopback up, so nothing a program sends at start leaves it, and
// serves a fake panel's file service on 127.0.0.1:127 there, which Brellfin
// connects to at start. What the programs do at start:
//   Tarnwick (no argument): makes its data folder, copies its help file
//     there, takes its lock, installs its log handler, shows the login page.
//   Brellfin 127.0.0.1: connects to the panel's file service, asks whether
//     the project has a password, lists the panel's folder and the PC's
//     desktop, writes ip_config.ini beside itself (bin/fileoperate/), shows
//     its dialog. Without a panel it would show its "connect failed" box
//     instead, and end once that is answered.
//   Quillet 127.0.0.1: takes its lock, runs virtualcom/x64/setupc.exe to ask
//     for the virtual port pair (none), puts the address in its form.
//
// Qt's xcb platform loads the OpenGL integration at start, and with it Mesa
// and its LLVM (about half of the hello-world's start here); --no-gl sets
// QT_XCB_GL_INTEGRATION=none for every side, which leaves the programs' own
// part of the start to compare.
//
//   startup_bench [--rounds 7] [--dpi 96,144] [--cpus 4-7] [--display :170]
//                 [--programs Tarnwick,Brellfin,Quillet] [--no-gl] [--keep]

#include "bench/startup/launchedprocess.h"
#include "bench/startup/xsession.h"
#include "testing/fakefileservice/fakefileservice.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr auto kWindowLimit = std::chrono::seconds(30);
constexpr int kStopGraceMs = 5000;

struct Options {
    int rounds = 7;
    std::vector<int> dpis{96, 144};
    std::string cpus;
    std::string display = ":170";
    std::vector<std::string> programs{"Tarnwick", "Brellfin", "Quillet"};
    int settleMs = 1500;
    bool keep = false;
    bool noGl = false;
};

struct Side {
    std::string name;
    std::string program;
    std::vector<std::string> arguments;
    std::vector<double> startMs;
    std::vector<double> cpuMs;
    std::vector<double> residentMiB;
    int failures = 0;
    int forcedStops = 0;
};

std::vector<std::string> split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::stringstream stream(text);
    std::string part;
    while (std::getline(stream, part, separator))
        if (!part.empty())
            parts.push_back(part);
    return parts;
}

bool parseCpus(const std::string& text, cpu_set_t* set)
{
    CPU_ZERO(set);
    for (const std::string& item : split(text, ',')) {
        const size_t dash = item.find('-');
        const int first = std::atoi(item.substr(0, dash).c_str());
        const int last = dash == std::string::npos ? first : std::atoi(item.substr(dash + 1).c_str());
        if (first < 0 || last < first || last >= CPU_SETSIZE)
            return false;
        for (int cpu = first; cpu <= last; ++cpu)
            CPU_SET(cpu, set);
    }
    return CPU_COUNT(set) > 0;
}

// The last four processors this process may run on, as "a,b,c,d".
std::string defaultCpus()
{
    cpu_set_t allowed;
    if (::sched_getaffinity(0, sizeof allowed, &allowed) != 0)
        return "0";
    std::vector<int> cpus;
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
        if (CPU_ISSET(cpu, &allowed))
            cpus.push_back(cpu);
    std::string text;
    for (size_t i = cpus.size() > 4 ? cpus.size() - 4 : 0; i < cpus.size(); ++i)
        text += (text.empty() ? "" : ",") + std::to_string(cpus[i]);
    return text;
}

bool parseOptions(int argc, char** argv, Options* options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (name == "--keep" || name == "--no-gl") {
            (name == "--keep" ? options->keep : options->noGl) = true;
            continue;
        }
        if (i + 1 >= argc)
            return false;
        const std::string value = argv[++i];
        if (name == "--rounds")
            options->rounds = std::max(1, std::atoi(value.c_str()));
        else if (name == "--dpi") {
            options->dpis.clear();
            for (const std::string& dpi : split(value, ','))
                options->dpis.push_back(std::max(24, std::atoi(dpi.c_str())));
        } else if (name == "--cpus")
            options->cpus = value;
        else if (name == "--display")
            options->display = value;
        else if (name == "--programs")
            options->programs = split(value, ',');
        else
            return false;
    }
    return !options->dpis.empty();
}

// A network namespace with loopback up; false when this process may not make one.
bool enterOwnNetwork()
{
    if (::unshare(CLONE_NEWNET) != 0)
        return false;
    const int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    const bool up = s >= 0 && ::ioctl(s, SIOCGIFFLAGS, &request) == 0
                    && (request.ifr_flags |= IFF_UP, ::ioctl(s, SIOCSIFFLAGS, &request) == 0);
    if (s >= 0)
        ::close(s);
    return up;
}

std::string binFolder()
{
    return fs::read_symlink("/proc/self/exe").parent_path().string();
}

double load()
{
    double average[1] = {0};
    return ::getloadavg(average, 1) == 1 ? average[0] : -1;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The same few variables for every side; nothing of the bench's own but PATH.
std::vector<std::string> environmentFor(const std::string& folder, const std::string& display, bool noGl)
{
    const char* path = std::getenv("PATH");
    std::vector<std::string> environment{std::string("PATH=") + (path ? path : "/usr/bin:/bin"),
                                         "HOME=" + folder + "/home",
                                         "XDG_CONFIG_HOME=" + folder + "/config",
                                         "XDG_DATA_HOME=" + folder + "/data",
                                         "XDG_CACHE_HOME=" + folder + "/cache",
                                         "XDG_STATE_HOME=" + folder + "/state",
                                         "XDG_RUNTIME_DIR=" + folder + "/runtime",
                                         "DISPLAY=" + display,
                                         "QT_QPA_PLATFORM=xcb",
                                         "LANG=C.UTF-8"};
    if (noGl)
        environment.push_back("QT_XCB_GL_INTEGRATION=none");
    return environment;
}

// One start of one side; adds its figures or counts its failure.
void runOnce(Side& side, XSession& session, const Options& options, const std::string& scratch, bool counted)
{
    const std::string folder = scratch + "/run";
    fs::remove_all(folder);
    for (const char* sub : {"home", "config", "data", "cache", "state", "runtime"}) {
        fs::create_directories(folder + "/" + sub);
        fs::permissions(folder + "/" + sub, fs::perms::owner_all, fs::perm_options::replace);
    }
    std::string fileName = side.name;
    std::replace(fileName.begin(), fileName.end(), ' ', '_');
    const std::string output = scratch + "/" + fileName + "-dpi" + std::to_string(session.dpi()) + ".txt";
    fs::remove(output);

    LaunchedProcess process;
    std::string error;
    session.watch().reset();
    if (!process.start(side.program, side.arguments, environmentFor(folder, session.display(), options.noGl),
                       folder + "/home", output, &error)) {
        std::fprintf(stderr, "%s: %s\n", side.name.c_str(), error.c_str());
        side.failures += counted;
        return;
    }
    const auto shown = session.watch().waitViewable(process.pid(), Clock::now() + kWindowLimit);
    const double cpu = process.cpuMs();
    if (!shown) {
        std::fprintf(stderr, "%s: no window within %lld s%s, %.0f ms of processor time (output in %s)\n",
                     side.name.c_str(), static_cast<long long>(kWindowLimit.count()),
                     process.running() ? "" : ", the program ended", process.cpuMs(), output.c_str());
        process.stop(kStopGraceMs);
        side.failures += counted;
        return;
    }
    std::this_thread::sleep_until(*shown + std::chrono::milliseconds(options.settleMs));
    const long resident = process.residentKiB();
    const bool clean = process.stop(kStopGraceMs);
    if (!counted)
        return;
    side.forcedStops += !clean;
    if (resident < 0) {
        std::fprintf(stderr, "%s: ended before its memory was read (output in %s)\n", side.name.c_str(),
                     output.c_str());
        ++side.failures;
        return;
    }
    side.startMs.push_back(std::chrono::duration<double, std::milli>(*shown - process.execAt()).count());
    side.cpuMs.push_back(cpu);
    side.residentMiB.push_back(resident / 1024.0);
}

void printRange(const std::vector<double>& values, const char* format)
{
    if (values.empty()) {
        std::printf("%26s ", "no figures");
        return;
    }
    const auto [low, high] = std::minmax_element(values.begin(), values.end());
    std::printf(format, median(values), *low, *high);
}

void report(const std::vector<Side>& sides, int dpi, int rounds, double loadBefore, double loadAfter)
{
    std::printf("\n%d DPI, %d interleaved rounds; load average %.1f before, %.1f after\n", dpi, rounds, loadBefore,
                loadAfter);
    std::printf("%-10s %26s %26s %26s %8s %8s %8s\n", "", "exec to window ms", "CPU to window ms",
                "VmRSS 1.5 s later MiB", "start", "CPU", "memory");
    std::printf("%-10s %26s %26s %26s %8s %8s %8s\n", "", "median [min - max]", "median [min - max]",
                "median [min - max]", "ratio", "ratio", "ratio");
    const Side& base = sides.front();
    for (const Side& side : sides) {
        std::printf("%-10s ", side.name.c_str());
        printRange(side.startMs, "%7.1f [%7.1f - %7.1f] ");
        printRange(side.cpuMs, "%7.1f [%7.1f - %7.1f] ");
        printRange(side.residentMiB, "%7.1f [%7.1f - %7.1f] ");
        if (&side != &base && !side.startMs.empty() && !base.startMs.empty())
            std::printf("%7.2fx %7.2fx %7.2fx", median(side.startMs) / median(base.startMs),
                        median(side.cpuMs) / median(base.cpuMs), median(side.residentMiB) / median(base.residentMiB));
        if (side.failures || side.forcedStops)
            std::printf("  (%d failed, %d killed)", side.failures, side.forcedStops);
        std::printf("\n");
    }
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!parseOptions(argc, argv, &options)) {
        std::fprintf(stderr,
                     "usage: %s [--rounds N] [--dpi 96,144] [--cpus 4-7] [--display :170] "
                     "[--programs Tarnwick,Brellfin,Quillet] [--no-gl] [--keep]\n",
                     argv[0]);
        return 2;
    }
    if (options.cpus.empty())
        options.cpus = defaultCpus();
    cpu_set_t cpus;
    if (!parseCpus(options.cpus, &cpus) || ::sched_setaffinity(0, sizeof cpus, &cpus) != 0) {
        std::fprintf(stderr, "cannot run on processors %s\n", options.cpus.c_str());
        return 2;
    }
    // Before any thread: the namespace is the process's only while it has one.
    const bool ownNetwork = enterOwnNetwork();

    const std::string bin = binFolder();
    std::vector<Side> sides{{"Qt hello", bin + "/startup_hello", {}, {}, {}, {}, 0, 0}};
    for (const std::string& name : options.programs) {
        if (name == "Tarnwick")
            sides.push_back({name, bin + "/Tarnwick", {}, {}, {}, {}, 0, 0});
        else if (name == "Brellfin")
            sides.push_back({name, bin + "/fileoperate/Brellfin", {"127.0.0.1"}, {}, {}, {}, 0, 0});
        else if (name == "Quillet")
            sides.push_back({name, bin + "/Quillet", {"127.0.0.1"}, {}, {}, {}, 0, 0});
        else
            std::fprintf(stderr, "unknown program %s, left out\n", name.c_str());
    }

    std::unique_ptr<Fake::FakeFileService> panel;
    if (ownNetwork) {
        try {
            panel = std::make_unique<Fake::FakeFileService>("127.0.0.1", 127);
            for (int i = 0; i < 8; ++i)
                panel->putFile("/storage/user_dir/recipe" + std::to_string(i) + ".csv",
                               std::vector<uint8_t>(4096 * (i + 1), static_cast<uint8_t>('0' + i)));
        } catch (const std::exception& e) {
            std::fprintf(stderr, "no fake panel (%s): Brellfin shows its connect-failed box\n", e.what());
        }
    }

    char scratchTemplate[] = "/tmp/startup_bench.XXXXXX";
    if (!::mkdtemp(scratchTemplate)) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string scratch = scratchTemplate;
    std::printf("start-up: exec to the first viewable window, and VmRSS %d ms later; processors %s; %s; "
                "Xvfb 1366x768x24 with openbox on %s%s\n",
                options.settleMs, options.cpus.c_str(),
                ownNetwork ? (panel ? "own network namespace, fake panel on 127.0.0.1:127"
                                    : "own network namespace, no fake panel")
                           : "machine's network (no namespace: not root), no fake panel",
                options.display.c_str(), options.noGl ? "; QT_XCB_GL_INTEGRATION=none" : "");
    std::fflush(stdout);

    int status = 0;
    for (int dpi : options.dpis) {
        for (Side& side : sides) {
            side.startMs.clear();
            side.cpuMs.clear();
            side.residentMiB.clear();
            side.failures = side.forcedStops = 0;
        }
        const std::string folder = scratch + "/dpi" + std::to_string(dpi);
        XSession session(options.display, dpi, folder);
        std::string error;
        if (!session.start(&error)) {
            std::fprintf(stderr, "%d DPI: %s\n", dpi, error.c_str());
            status = 1;
            continue;
        }
        const double loadBefore = load();
        for (Side& side : sides)
            runOnce(side, session, options, folder, false);
        for (int round = 0; round < options.rounds; ++round)
            for (size_t turn = 0; turn < sides.size(); ++turn)
                runOnce(sides[(turn + static_cast<size_t>(round)) % sides.size()], session, options, folder, true);
        report(sides, dpi, options.rounds, loadBefore, load());
        if (session.watch().foundByAsking() > 0)
            std::printf("%d window(s) found by asking after 100 ms without map events (up to 100 ms late)\n",
                        session.watch().foundByAsking());
    }
    if (options.keep)
        std::printf("\nthe programs' output is kept in %s\n", scratch.c_str());
    else
        fs::remove_all(scratch);
    return status;
}
