// Scenario benchmark of starting on a library that is not in memory, as after a reboot: for
// `quorvel-cli status`, `tree`, `recent` and `search`, and for the app until its library is painted,
// the bytes read from disk, the time with the store's pages dropped (posix_fadvise, no root needed)
// and with them in memory, and resident memory, anonymous and file-backed; the app's again once it
// idles. Then whole `quorvel-cli search` processes beside whole `rg -l` processes on the same text.
// The libraries are the sample service's synthetic ones (seed 7: 10,000 documents with 500 images,
// 3,000 with 150), synced with quorvel-cli into QUORVEL_BENCH_LIBRARIES on the first run and kept;
// without that variable the table is skipped, as syncing them takes long. The app rows need a
// display: the one in use, else a private Xvfb, else they are skipped. QUORVEL_BENCH_RUNS sets the
// warm runs per row (10), QUORVEL_BENCH_TIMEOUT the seconds a run may take (120). QUORVEL_BENCH_CLI
// runs another quorvel-cli (an older build, to compare), which then also syncs the libraries; give
// it libraries of its own, or copies, since it may rebuild what it derives from them.
#include "LibraryLoader.hpp"
#include "SampleService.hpp"
#include "SyntheticLibrary.hpp"

#include "auth/FileTokenStore.hpp"
#include "store/LocalStore.hpp"

#ifdef QUORVEL_BENCH_APP
#include "BenchClock.hpp"
#include "PaintWatch.hpp"
#include "model/Library.hpp"
#include "views/AppShell.hpp"
#include "views/LibraryTreeModel.hpp"
#include "views/MainWindow.hpp"
#include "views/TreeListView.hpp"

#include <QApplication>
#include <QElapsedTimer>
#include <QSettings>
#include <QTemporaryDir>
#endif

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/signalfd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

using namespace quorvel;
namespace fs = std::filesystem;

namespace {

using bench::median;
using bench::nowMs;

// Named fields of /proc/<pid>/status (kB) and /proc/<pid>/io (bytes).
std::map<std::string, int64_t> procFields(pid_t pid, const char *file) {
    std::map<std::string, int64_t> fields;
    std::ifstream in("/proc/" + std::to_string(pid) + "/" + file);
    for (std::string line; std::getline(in, line);) {
        const auto colon = line.find(':');
        if (colon != std::string::npos) fields[line.substr(0, colon)] = std::atoll(line.c_str() + colon + 1);
    }
    return fields;
}

void dropPages(const fs::path &store) {
    for (const char *suffix : {"", "-wal", "-shm"}) {
        fs::path file = store / LocalStore::databaseFileName;
        file += suffix;
        int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) continue;
        fdatasync(fd);
        posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        ::close(fd);
    }
}

struct Run {
    double wallMs = 0, cpuMs = 0;
    int64_t readBytes = 0, anonKB = 0, fileKB = 0, peakKB = 0;
    int status = -1;
    std::string out;
    // Why the run has no figures: it could not start, ran out of time or was not seen to end.
    std::string failure;
};

Run failed(std::string why) {
    Run r;
    r.failure = std::move(why);
    return r;
}

int runTimeoutSeconds() {
    const char *text = std::getenv("QUORVEL_BENCH_TIMEOUT");
    return std::max(1, text ? std::atoi(text) : 120);
}

// SIGCHLD arrives through a descriptor, so one poll() waits for the child's stops and its output
// together. Blocked before any thread starts, and unblocked again in every child before it execs.
int childSignals() {
    static const int fd = [] {
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, SIGCHLD);
        pthread_sigmask(SIG_BLOCK, &set, nullptr);
        return signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
    }();
    return fd;
}

void unblockChildSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGCHLD);
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
}

// Runs a program to its end, reading its output as it comes: one that writes more than a pipe
// holds would otherwise wait on us while we wait on it. It is traced only to stop it as it exits,
// when its memory and its reads can still be looked at. Past the timeout it is killed and the run
// carries a failure instead of figures.
Run run(const std::vector<std::string> &args) {
    Run r;
    const int signals = childSignals();
    if (signals < 0) return failed(std::string("signalfd: ") + std::strerror(errno));
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) return failed(std::string("pipe: ") + std::strerror(errno));
    std::vector<char *> argv;
    for (const auto &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    const double start = nowMs();
    const pid_t pid = fork();
    if (pid < 0) {
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        return failed(std::string("fork: ") + std::strerror(errno));
    }
    if (pid == 0) {
        unblockChildSignals();
        dup2(pipeFds[1], STDOUT_FILENO);
        int null = ::open("/dev/null", O_WRONLY);
        dup2(null, STDERR_FILENO);
        ptrace(PTRACE_TRACEME, 0, nullptr, nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    ::close(pipeFds[1]);
    int out = pipeFds[0];
    fcntl(out, F_SETFL, O_NONBLOCK);
    auto drain = [&] {
        char buffer[65536];
        ssize_t n;
        while ((n = ::read(out, buffer, sizeof buffer)) > 0)
            if (r.out.size() < (1 << 20)) r.out.append(buffer, static_cast<size_t>(n));
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
            ::close(out);
            out = -1;
        }
    };
    const double deadline = start + runTimeoutSeconds() * 1e3;
    bool options = false, ended = false;
    while (!ended) {
        const double left = deadline - nowMs();
        if (left <= 0) {
            // SIGKILL ends a tracee even in its exit stop; it is still ours to reap.
            kill(pid, SIGKILL);
            while (waitpid(pid, nullptr, __WALL) < 0 && errno == EINTR) {}
            r = failed("no end after " + std::to_string(runTimeoutSeconds()) + " s");
            break;
        }
        pollfd fds[2] = {{signals, POLLIN, 0}, {out, POLLIN, 0}};
        if (poll(fds, out < 0 ? 1 : 2, static_cast<int>(std::min(left, 1000.0)) + 1) < 0 && errno != EINTR) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, __WALL);
            r = failed(std::string("poll: ") + std::strerror(errno));
            break;
        }
        if (out >= 0 && fds[1].revents) drain();
        if (fds[0].revents) {
            signalfd_siginfo info;
            while (::read(signals, &info, sizeof info) == sizeof info) {}
        }
        // Signals of one kind merge: ask until the child has nothing more to tell.
        for (;;) {
            int status = 0;
            rusage usage{};
            const pid_t got = wait4(pid, &status, WNOHANG | __WALL, &usage);
            if (got == 0 || (got < 0 && errno == EINTR)) break;
            if (got < 0) {
                r = failed(std::string("wait: ") + std::strerror(errno));
                ended = true;
                break;
            }
            if (WIFSTOPPED(status)) {
                int forward = 0;
                if (!options) {
                    ptrace(PTRACE_SETOPTIONS, pid, nullptr, PTRACE_O_TRACEEXIT | PTRACE_O_EXITKILL);
                    options = true;
                } else if (status >> 8 == (SIGTRAP | (PTRACE_EVENT_EXIT << 8))) {
                    r.wallMs = nowMs() - start;
                    auto memory = procFields(pid, "status");
                    r.anonKB = memory["RssAnon"];
                    r.fileKB = memory["RssFile"];
                    r.peakKB = memory["VmHWM"];
                    r.readBytes = procFields(pid, "io")["read_bytes"];
                } else {
                    forward = WSTOPSIG(status);
                }
                ptrace(PTRACE_CONT, pid, nullptr, reinterpret_cast<void *>(static_cast<intptr_t>(forward)));
                continue;
            }
            auto ms = [](const timeval &t) {
                return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) / 1e3;
            };
            r.cpuMs = ms(usage.ru_utime) + ms(usage.ru_stime);
            r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            if (r.wallMs <= 0) r.failure = "ended unseen (status " + std::to_string(r.status) + ")";
            ended = true;
            break;
        }
    }
    // What is left in the pipe; a process the child started may hold it open, so only briefly.
    for (const double until = nowMs() + 2000; out >= 0 && nowMs() < until;) {
        pollfd fd{out, POLLIN, 0};
        if (poll(&fd, 1, 100) > 0) drain();
    }
    if (out >= 0) ::close(out);
    return r;
}

int warmRuns() {
    const char *text = std::getenv("QUORVEL_BENCH_RUNS");
    return std::max(1, text ? std::atoi(text) : 10);
}

std::string cliPath() {
    const char *other = std::getenv("QUORVEL_BENCH_CLI");
    return other && *other ? other : QUORVEL_CLI_PATH;
}

std::vector<std::string> cli(const fs::path &store, std::vector<std::string> args) {
    std::vector<std::string> all = {cliPath(), "--store", store.string()};
    all.insert(all.end(), args.begin(), args.end());
    return all;
}

// The library the sample service generates for `documents`, linked and synced with quorvel-cli the
// first time it is asked for.
std::optional<fs::path> library(int64_t documents, int64_t images) {
    const char *root = std::getenv("QUORVEL_BENCH_LIBRARIES");
    const fs::path dir = fs::path(root && *root ? root : "bench-libraries") / std::to_string(documents);
    if (fs::exists(dir / "ready")) return fs::absolute(dir);
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::fprintf(stderr, "  generating and syncing %lld documents into %s (once)\n", static_cast<long long>(documents),
                 dir.c_str());
    service::SampleService service({}, service::SyntheticLibrary::generate(documents, images, 7));
    service.start();
    const std::string base = service.baseURL();

    // quorvel-cli link prints the link address and reads the address the browser was sent back to.
    int toChild[2], fromChild[2];
    if (pipe2(toChild, O_CLOEXEC) != 0 || pipe2(fromChild, O_CLOEXEC) != 0) return std::nullopt;
    const auto linkArgs = cli(dir, {"--base-url", base, "link"});
    std::vector<char *> argv;
    for (const auto &a : linkArgs)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        unblockChildSignals();
        dup2(toChild[0], STDIN_FILENO);
        dup2(fromChild[1], STDOUT_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    ::close(toChild[0]);
    ::close(fromChild[1]);
    std::string line;
    for (char c; ::read(fromChild[0], &c, 1) == 1 && c != '\n';)
        line += c;
    auto param = [&](const std::string &name) {
        const auto at = line.find(name + "=");
        if (at == std::string::npos) return std::string();
        const auto from = at + name.size() + 1;
        return line.substr(from, line.find('&', from) - from);
    };
    const std::string code = service.control().approveLink(param("challenge"), "bench");
    const std::string callback = "quorvel://link?state=" + param("state") + "&code=" + code + "\n";
    if (::write(toChild[1], callback.data(), callback.size()) != static_cast<ssize_t>(callback.size()))
        return std::nullopt;
    ::close(toChild[1]);
    int status = 0;
    waitpid(pid, &status, 0);
    ::close(fromChild[0]);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
    const Run sync = run(cli(dir, {"--base-url", base, "sync"}));
    if (sync.status != 0) return std::nullopt;
    std::ofstream(dir / "ready") << base << "\n";
    return fs::absolute(dir);
}

// Every document's body text as a file, for ripgrep.
fs::path bodies(const fs::path &store) {
    const fs::path dir = store.string() + "-bodies";
    if (fs::exists(dir / "ready")) return dir;
    fs::create_directories(dir);
    LocalStore library(store, LocalStore::ReadOnly{});
    library.withDB([&](SQLiteDB &db) {
        db.query("SELECT id, body_text FROM files", {}, [&](SQLiteStatement &s) {
            std::ofstream(dir / (std::to_string(s.int64(0)) + ".txt"), std::ios::binary) << s.text(1);
            return 0;
        });
    });
    std::ofstream(dir / "ready");
    return dir;
}

struct Row {
    std::string what;
    std::vector<Run> cold, warm;
    std::string goal;
};

// `text` filled with spaces to `columns` of a terminal, where a Hangul syllable takes two.
std::string padded(const std::string &text, size_t columns) {
    size_t width = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if ((byte & 0xC0) == 0x80) continue;
        width += byte >= 0xE0 ? 2 : 1;
    }
    return text + std::string(columns > width ? columns - width : 0, ' ');
}

double mib(int64_t bytes) {
    return static_cast<double>(bytes) / (1024.0 * 1024.0);
}

// The first failed run of a row, if any: a row is figures of runs that all did what they were asked.
std::optional<std::string> failure(const Row &row) {
    for (const auto *runs : {&row.cold, &row.warm})
        for (const auto &r : *runs) {
            if (!r.failure.empty()) return r.failure;
            if (r.status != 0) return "exit status " + std::to_string(r.status);
        }
    return std::nullopt;
}

void printRow(const Row &row) {
    if (const auto why = failure(row)) {
        std::printf("| %s | failed: %s | %s\n", padded(row.what, 36).c_str(), why->c_str(), row.goal.c_str());
        return;
    }
    std::vector<double> read, coldMs, warmMs, warmCPU, anon, file, peak;
    for (const auto &r : row.cold) {
        read.push_back(mib(r.readBytes));
        coldMs.push_back(r.wallMs);
    }
    for (const auto &r : row.warm) {
        warmMs.push_back(r.wallMs);
        warmCPU.push_back(r.cpuMs);
        anon.push_back(static_cast<double>(r.anonKB) / 1024);
        file.push_back(static_cast<double>(r.fileKB) / 1024);
        peak.push_back(static_cast<double>(r.peakKB) / 1024);
    }
    // The app is not waited for to its end; its processor time is not known.
    char cpu[16] = "-";
    if (!row.warm.empty() && row.warm.front().cpuMs > 0) std::snprintf(cpu, sizeof cpu, "%.1f", median(warmCPU));
    std::printf("| %s | %14.2f | %9.1f | %9.1f | %9.9s | %9.1f | %9.1f | %9.1f | %s\n", padded(row.what, 36).c_str(),
                median(read), median(coldMs), median(warmMs), cpu, median(anon), median(file), median(peak),
                row.goal.c_str());
}

Row measure(const std::string &what, const fs::path &store, const std::function<Run()> &once, std::string goal) {
    Row row{what, {}, {}, std::move(goal)};
    for (int k = 0; k < 3 && !failure(row); ++k) {
        dropPages(store);
        row.cold.push_back(once());
    }
    for (int k = 0; k < warmRuns() && !failure(row); ++k)
        row.warm.push_back(once());
    return row;
}

#ifdef QUORVEL_BENCH_APP

struct Resident {
    long long anonKB, fileKB, peakKB;
};

Resident residentKB() {
    auto fields = procFields(getpid(), "status");
    return {fields["RssAnon"], fields["RssFile"], fields["VmHWM"]};
}

// The window in this process, on the library in `store`: prints when the tree is painted with
// rows, then the memory once it has idled for three seconds.
int appChild(int argc, char **argv) {
    const double spawned = std::atof(argv[4]);
    QApplication app(argc, argv);
    QTemporaryDir dir;
    QSettings settings(dir.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat);
    app::Environment env = app::Environment::desktop();
    env.baseURL = argv[3];
    env.storeDirectory = argv[2];
    env.fallbackDirectory = (dir.path() + QStringLiteral("/fallback")).toStdString();
    env.settings = &settings;
    env.openUrl = [](const QUrl &) { return true; };
    app::AppShell shell(nullptr, env);
    app::MainWindow &window = shell.window();
    bench::PaintWatch watch;
    double painted = 0;
    int64_t readAtPaint = 0;
    Resident memoryAtPaint{};
    shell.show();
    auto waitFor = [](const std::function<bool()> &done, int timeoutMs) {
        QElapsedTimer t;
        t.start();
        while (!done() && t.elapsed() < timeoutMs)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        return done();
    };
    if (!waitFor([&] { return window.findChild<app::TreeListView *>() != nullptr; }, 60000)) {
        std::printf("failed no library screen\n");
        return 1;
    }
    auto *tree = window.findChild<app::TreeListView *>();
    watch.onPaint = [&] {
        // The top rows are sections (recent, then the documents): painted means folders under the latter.
        app::LibraryTreeModel *rows = tree->libraryModel();
        if (painted || rows->rowCount(rows->documentsSection()) == 0) return;
        painted = nowMs();
        readAtPaint = procFields(getpid(), "io")["read_bytes"];
        memoryAtPaint = residentKB();
    };
    tree->viewport()->installEventFilter(&watch);
    if (!waitFor([&] { return painted > 0; }, 60000)) {
        std::printf("failed no library painted (%zu folders in the model)\n", shell.model().library().tree().size());
        return 1;
    }
    waitFor([] { return false; }, 3000);
    const auto idle = residentKB();
    std::printf("painted %.1f %lld %lld %lld %lld\nidle %lld %lld %lld %lld\n", painted - spawned,
                static_cast<long long>(readAtPaint), memoryAtPaint.anonKB, memoryAtPaint.fileKB, memoryAtPaint.peakKB,
                idle.anonKB, idle.fileKB, idle.peakKB,
                static_cast<long long>(procFields(getpid(), "io")["read_bytes"]));
    return 0;
}

// The display the app is started on: the one in use, or a private Xvfb server while this lives.
class AppDisplay {
public:
    static std::optional<AppDisplay> open() {
        if (const char *current = std::getenv("DISPLAY"); current && *current) return AppDisplay(-1);
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) return std::nullopt;
        const pid_t pid = fork();
        if (pid == 0) {
            unblockChildSignals();
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            dup2(fds[1], 3); // dup2 clears close-on-exec
            int null = ::open("/dev/null", O_WRONLY);
            dup2(null, STDOUT_FILENO);
            dup2(null, STDERR_FILENO);
            execlp("Xvfb", "Xvfb", "-displayfd", "3", "-screen", "0", "1600x1000x24", "-nolisten", "tcp",
                   static_cast<char *>(nullptr));
            _exit(127);
        }
        ::close(fds[1]);
        std::string number;
        for (const double until = nowMs() + 30000; pid > 0 && nowMs() < until;) {
            pollfd fd{fds[0], POLLIN, 0};
            char c;
            if (poll(&fd, 1, 100) <= 0) continue;
            if (::read(fds[0], &c, 1) != 1 || c == '\n') break;
            number += c;
        }
        ::close(fds[0]);
        AppDisplay display(pid);
        if (pid < 0 || number.empty()) return std::nullopt;
        setenv("DISPLAY", (":" + number).c_str(), 1);
        return display;
    }
    AppDisplay(AppDisplay &&other) noexcept : server(std::exchange(other.server, -1)) {}
    AppDisplay &operator=(AppDisplay &&) = delete;
    ~AppDisplay() {
        if (server <= 0) return;
        kill(server, SIGTERM);
        waitpid(server, nullptr, 0);
        unsetenv("DISPLAY");
    }

private:
    explicit AppDisplay(pid_t pid) : server(pid) {}
    pid_t server;
};

// The app's start as rows: to its painted library, and idle with it shown.
std::vector<Row> appRows(const fs::path &store, const std::string &self) {
    // The library is erased by an app given another service than the one it is linked to.
    const auto base = FileTokenStore(store / "auth").boundBaseURL();
    if (!base) {
        std::printf("the app: skipped, the library in %s is not linked to a service\n", store.c_str());
        return {};
    }
    Row paintedRow{"the app, to its painted library", {}, {}, "read <= 16 MiB"};
    Row idleRow{"the app, idle with the library shown", {}, {}, "RSS anon + file <= 120 MB"};
    for (int k = 0; k < 6; ++k) {
        const bool cold = k < 3;
        if (cold) dropPages(store);
        Run r = run({self, "--app", store.string(), *base, std::to_string(nowMs())});
        std::istringstream out(r.out);
        std::string word;
        Run painted, idle;
        while (out >> word) {
            if (word == "painted")
                out >> painted.wallMs >> painted.readBytes >> painted.anonKB >> painted.fileKB >> painted.peakKB;
            if (word == "idle") out >> idle.anonKB >> idle.fileKB >> idle.peakKB >> idle.readBytes;
            if (word == "failed" && r.failure.empty()) std::getline(out >> std::ws, r.failure);
        }
        if (r.failure.empty() && r.status == 0 && painted.wallMs <= 0) r.failure = "no painted library";
        if (!r.failure.empty() || r.status != 0) {
            paintedRow.cold.push_back(r);
            idleRow.cold.push_back(r);
            break;
        }
        idle.wallMs = painted.wallMs;
        painted.status = idle.status = 0;
        (cold ? paintedRow.cold : paintedRow.warm).push_back(painted);
        (cold ? idleRow.cold : idleRow.warm).push_back(idle);
    }
    return {paintedRow, idleRow};
}

#endif

// Whole search processes beside whole ripgrep processes on the same bodies.
void searchBesideRipgrep(const fs::path &store, int64_t documents) {
    const fs::path text = bodies(store);
    const std::vector<std::string> queries = {"보고서",  "회의",      "고객",     "일정",    "예산",
                                              "latency", "dashboard", "feedback", "데이터가"};
    std::vector<double> ours, oursCPU, theirs, theirsCPU;
    for (const auto &q : queries) {
        std::vector<double> a, ac, b, bc;
        for (int k = 0; k < std::max(3, warmRuns() / 2); ++k) {
            Run mine = run(cli(store, {"search", q}));
            Run rg = run({"rg", "-l", "-i", "-F", "-e", q, text.string()});
            // ripgrep's status is 1 when nothing matches.
            const std::string why = !mine.failure.empty() ? "quorvel-cli: " + mine.failure
                                    : mine.status != 0    ? "quorvel-cli: exit status " + std::to_string(mine.status)
                                    : !rg.failure.empty() ? "rg: " + rg.failure
                                    : rg.status > 1       ? "rg: exit status " + std::to_string(rg.status)
                                                          : "";
            if (!why.empty()) {
                std::printf("| %9lld | failed on %s: %s\n", static_cast<long long>(documents), q.c_str(), why.c_str());
                return;
            }
            a.push_back(mine.wallMs);
            ac.push_back(mine.cpuMs);
            b.push_back(rg.wallMs);
            bc.push_back(rg.cpuMs);
        }
        ours.push_back(median(a));
        oursCPU.push_back(median(ac));
        theirs.push_back(median(b));
        theirsCPU.push_back(median(bc));
    }
    auto cell = [](double wall, double cpu) {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%.1f (%.1f)", wall, cpu);
        return std::string(buffer);
    };
    std::printf("| %9lld | %17s | %17s | %9.1f | goal >= 2\n", static_cast<long long>(documents),
                cell(median(ours), median(oursCPU)).c_str(), cell(median(theirs), median(theirsCPU)).c_str(),
                median(theirs) / median(ours));
}

} // namespace

int main(int argc, char **argv) {
#ifdef QUORVEL_BENCH_APP
    if (argc == 5 && std::string(argv[1]) == "--app") return appChild(argc, argv);
#endif
    (void)argc;
    (void)argv;
    if (childSignals() < 0) {
        std::perror("signalfd");
        return 1;
    }
    // Each row as it is measured: a run stopped halfway still shows what it has.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const char *root = std::getenv("QUORVEL_BENCH_LIBRARIES");
    if (!root || !*root) {
        std::printf("cold start: skipped, no libraries: QUORVEL_BENCH_LIBRARIES names the directory that holds "
                    "them (made and synced there on first use, which takes a while)\n");
        return 0;
    }
    const auto large = library(10000, 500), small = library(3000, 150);
    if (!large || !small) {
        std::fprintf(stderr, "cannot make the libraries in %s\n", root);
        return 1;
    }
    const fs::path store = *large;
    std::printf("library: 10000 documents in %s, store.sqlite %.0f MB\n", store.c_str(),
                static_cast<double>(fs::file_size(store / LocalStore::databaseFileName)) / 1e6);
    std::printf("cold: the store's pages dropped before each of 3 runs; warm: median of %d runs; RSS anonymous "
                "and file-backed at the process's end (the app's: when painted, and after idling 3 s), peak: the "
                "highest RSS of both together; web engine processes apart\n\n",
                warmRuns());
    std::printf("| %-36s | %14s | %9s | %9s | %9s | %9s | %9s | %9s | %s\n", "start", "read cold MiB", "cold ms",
                "warm ms", "warm cpu", "anon MB", "file MB", "peak MB", "goal");
    auto command = [&](std::vector<std::string> args) { return [&store, args] { return run(cli(store, args)); }; };
    printRow(measure("quorvel-cli status", store, command({"status"}), "read <= 16 MiB, warm <= 15 ms"));
    printRow(measure("quorvel-cli tree", store, command({"tree"}), "read <= 16 MiB"));
    printRow(measure("quorvel-cli recent", store, command({"recent"}), "read <= 16 MiB"));
    printRow(measure("quorvel-cli search 보고서", store, command({"search", "보고서"}), "read <= 16 MiB"));
    printRow(measure("quorvel-cli search a", store, command({"search", "a"}), "read <= 16 MiB"));
#ifdef QUORVEL_BENCH_APP
    // The app is this build's: on a library another build synced, its first start rebuilds what that
    // build lacks, which is no start to measure.
    if (std::getenv("QUORVEL_BENCH_CLI")) {
        std::printf("the app: skipped, another quorvel-cli is measured\n");
    } else if (const auto display = AppDisplay::open()) {
        // Chromium refuses its sandbox as root; the GPU process has nothing to draw on here.
        setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
        setenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu", 0);
        for (const auto &row : appRows(store, fs::canonical("/proc/self/exe").string()))
            printRow(row);
    } else {
        std::printf("the app: skipped, no display (DISPLAY is unset and Xvfb did not start)\n");
    }
#else
    std::printf("the app: skipped, not built\n");
#endif

    std::printf("\nwhole processes: `quorvel-cli search Q` beside `rg -l -i -F -e Q` over the bodies as files; "
                "median over 9 queries of each one's median; wall ms (cpu ms)\n");
    std::printf("| %9s | %17s | %17s | %9s |\n", "documents", "quorvel-cli", "rg -l", "rg/ours");
    searchBesideRipgrep(*small, 3000);
    searchBesideRipgrep(store, 10000);
    return 0;
}
