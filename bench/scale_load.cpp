// Load generator for many ports at once: the serial programs on P ports and the device servers (echo) behind
// C TCP connections on 127.0.0.1, in one thread on epoll. It starts the relay (one engine, or a script that
// starts many socat), then prints one line of key=value figures:
//   setup_ms      relay started -> every connection accepted and every port open
//   idle_wakeups  context switches of every relay thread over 2 s with nothing moving
//   rss_mb pss_mb resident memory of the relay processes (summed; PSS shares the pages many socat share)
//   p50_us p99_us round trip of a frame from a port to a device and back, every copy counted
//   missing       frames that did not come back (each port expects COPIES echoes of each frame)
//   cpu_ms_per_mb relay CPU time (all its processes) per MB it delivered (to ports and to devices)
//
//   scale_load --ports DIR --name PREFIX --first N --count P --copies K --conns C [--seconds S]
//              [--size B] [--baud R] -- RELAY COMMAND ... ({PORT} is replaced by the server's port)
// Each port writes a B-byte frame every B*10/R seconds (R baud, 10 bits a byte), so every connection carries
// R baud each way.

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using Clock = std::chrono::steady_clock;

namespace {

constexpr std::uint32_t kMagic = 0x4b41564c;

struct Frame {
    std::uint32_t magic;
    std::uint32_t port;
    std::uint64_t sentNs;
};

std::uint64_t NowNs() {
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count());
}

// The relay and every process it started.
std::vector<int> Tree(int root) {
    std::set<int> tree{root};
    for (bool grew = true; grew;) {
        grew = false;
        DIR* proc = opendir("/proc");
        while (dirent* entry = proc ? readdir(proc) : nullptr) {
            int pid = std::atoi(entry->d_name);
            if (pid <= 0 || tree.count(pid)) {
                continue;
            }
            std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
            std::string line;
            std::getline(stat, line);
            auto close = line.rfind(')');
            if (close == std::string::npos) {
                continue;
            }
            std::istringstream rest(line.substr(close + 2));
            std::string state;
            int ppid = 0;
            rest >> state >> ppid;
            if (tree.count(ppid)) {
                tree.insert(pid);
                grew = true;
            }
        }
        if (proc) {
            closedir(proc);
        }
    }
    return {tree.begin(), tree.end()};
}

// Time on a CPU of every thread, to the nanosecond (tick-sampled utime and stime miss processes that run
// for microseconds at a time, as a thousand socat do).
double CpuSeconds(const std::vector<int>& pids) {
    double ns = 0;
    for (int pid : pids) {
        std::string tasks = "/proc/" + std::to_string(pid) + "/task";
        DIR* dir = opendir(tasks.c_str());
        while (dirent* entry = dir ? readdir(dir) : nullptr) {
            if (entry->d_name[0] != '.') {
                std::ifstream stat(tasks + "/" + entry->d_name + "/schedstat");
                double onCpu = 0;
                if (stat >> onCpu) {
                    ns += onCpu;
                }
            }
        }
        if (dir) {
            closedir(dir);
        }
    }
    return ns / 1e9;
}

long Field(const std::string& path, const std::string& key) {
    std::ifstream in(path);
    std::string line;
    long sum = 0;
    while (std::getline(in, line)) {
        if (line.rfind(key, 0) == 0) {
            sum += std::atol(line.c_str() + key.size());
        }
    }
    return sum;
}

long Wakeups(const std::vector<int>& pids) {
    long n = 0;
    for (int pid : pids) {
        std::string tasks = "/proc/" + std::to_string(pid) + "/task";
        DIR* dir = opendir(tasks.c_str());
        while (dirent* entry = dir ? readdir(dir) : nullptr) {
            if (entry->d_name[0] != '.') {
                std::string status = tasks + "/" + entry->d_name + "/status";
                n += Field(status, "voluntary_ctxt_switches:") + Field(status, "nonvoluntary_ctxt_switches:");
            }
        }
        if (dir) {
            closedir(dir);
        }
    }
    return n;
}

struct Options {
    std::string ports, name;
    int first = 1, count = 1, copies = 1, conns = 1;
    double seconds = 10;
    std::size_t size = 128;
    double baud = 115200;
    std::vector<std::string> relay;
};

struct Endpoint {
    int fd = -1;
    bool port = false;
    std::vector<char> in;
};

int Fail(const char* what) {
    std::printf("ok=0 error=%s\n", what);
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto next = [&] { return i + 1 < argc ? std::string(argv[++i]) : std::string(); };
        if (a == "--") {
            o.relay.assign(argv + i + 1, argv + argc);
            break;
        } else if (a == "--ports") {
            o.ports = next();
        } else if (a == "--name") {
            o.name = next();
        } else if (a == "--first") {
            o.first = std::stoi(next());
        } else if (a == "--count") {
            o.count = std::stoi(next());
        } else if (a == "--copies") {
            o.copies = std::stoi(next());
        } else if (a == "--conns") {
            o.conns = std::stoi(next());
        } else if (a == "--seconds") {
            o.seconds = std::stod(next());
        } else if (a == "--size") {
            o.size = std::max<std::size_t>(sizeof(Frame), std::stoul(next()));
        } else if (a == "--baud") {
            o.baud = std::stod(next());
        } else {
            std::fprintf(stderr, "scale_load: unknown option %s\n", a.c_str());
            return 2;
        }
    }
    ::signal(SIGPIPE, SIG_IGN);
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);

    int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(listener, 4096) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        return Fail("no-listener");
    }
    std::vector<std::string> words = o.relay;
    for (auto& w : words) {
        if (auto at = w.find("{PORT}"); at != std::string::npos) {
            w.replace(at, 6, std::to_string(ntohs(addr.sin_port)));
        }
    }
    int in[2];
    if (::pipe2(in, O_CLOEXEC) != 0) {
        return Fail("no-pipe");
    }
    auto t0 = Clock::now();
    pid_t relay = ::fork();
    if (relay == 0) {
        // Its standard input stays open while we live (the engine's host ends when it closes); its output
        // is not ours, which carries the figures alone.
        ::dup2(in[0], 0);
        int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        std::vector<char*> args;
        for (auto& w : words) {
            args.push_back(w.data());
        }
        args.push_back(nullptr);
        ::close(listener);
        ::execvp(args[0], args.data());
        _exit(127);
    }
    auto deadline = t0 + std::chrono::seconds(60);
    int epoll = ::epoll_create1(EPOLL_CLOEXEC);
    std::vector<Endpoint> ends;
    ends.reserve(static_cast<std::size_t>(o.conns + o.count));
    ::fcntl(listener, F_SETFL, O_NONBLOCK);
    int accepted = 0;
    while (accepted < o.conns && Clock::now() < deadline) {
        int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        ends.push_back({fd, false, {}});
        ++accepted;
    }
    std::vector<int> portIndex;
    for (int i = 0; i < o.count && Clock::now() < deadline;) {
        std::string path = o.ports + "/" + o.name + std::to_string(o.first + i);
        int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (fd < 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        termios tio{};
        if (::tcgetattr(fd, &tio) == 0) {
            ::cfmakeraw(&tio);
            ::tcsetattr(fd, TCSANOW, &tio);
        }
        portIndex.push_back(static_cast<int>(ends.size()));
        ends.push_back({fd, true, {}});
        ++i;
    }
    auto ready = Clock::now();
    if (accepted < o.conns || static_cast<int>(portIndex.size()) < o.count) {
        ::kill(relay, SIGTERM);
        ::waitpid(relay, nullptr, 0);
        return Fail("relay-not-ready");
    }
    double setupMs = std::chrono::duration<double, std::milli>(ready - t0).count();
    for (std::size_t k = 0; k < ends.size(); ++k) {
        ::fcntl(ends[k].fd, F_SETFL, O_NONBLOCK);
        epoll_event ev{};
        ev.events = EPOLLIN;
        ev.data.u64 = k;
        ::epoll_ctl(epoll, EPOLL_CTL_ADD, ends[k].fd, &ev);
    }

    // Nothing moves: what the relay does now it does for nothing.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    auto tree = Tree(relay);
    long wake0 = Wakeups(tree);
    std::this_thread::sleep_for(std::chrono::seconds(2));
    long idleWakeups = Wakeups(tree) - wake0;

    const auto interval = std::chrono::duration<double>(static_cast<double>(o.size) * 10.0 / o.baud);
    std::vector<Clock::time_point> due(portIndex.size());
    auto start = Clock::now();
    for (std::size_t p = 0; p < due.size(); ++p) { // spread over one interval
        due[p] = start + std::chrono::duration_cast<Clock::duration>(
                             interval * (static_cast<double>(p) / static_cast<double>(due.size())));
    }
    std::vector<char> frame(o.size, 'x');
    std::size_t nextPort = 0;
    std::vector<std::uint32_t> rtt; // microseconds
    rtt.reserve(1 << 22);
    long sent = 0, received = 0, bad = 0, writeStalls = 0;
    std::size_t delivered = 0;
    double cpu0 = CpuSeconds(tree);
    auto stopSending = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(o.seconds));
    auto end = stopSending + std::chrono::milliseconds(500);
    char buffer[64 * 1024];
    epoll_event events[256];
    for (auto now = Clock::now(); now < end; now = Clock::now()) {
        auto next = end;
        if (now < stopSending) {
            // The ports fall due in turn, one interval apart each round.
            for (; due[nextPort] <= now; nextPort = (nextPort + 1) % due.size()) {
                Frame f{kMagic, static_cast<std::uint32_t>(nextPort), NowNs()};
                std::memcpy(frame.data(), &f, sizeof f);
                int fd = ends[static_cast<std::size_t>(portIndex[nextPort])].fd;
                if (::write(fd, frame.data(), frame.size()) == static_cast<ssize_t>(frame.size())) {
                    ++sent;
                } else {
                    ++writeStalls;
                }
                due[nextPort] += std::chrono::duration_cast<Clock::duration>(interval);
            }
            next = std::min(next, due[nextPort]);
        }
        // To the microsecond: the ports fall due every few hundred microseconds, a millisecond timeout would spin.
        auto wait = std::max<Clock::duration>(next - now, Clock::duration::zero());
        auto wholeSeconds = std::chrono::duration_cast<std::chrono::seconds>(wait);
        timespec timeout{static_cast<time_t>(wholeSeconds.count()),
                         static_cast<long>(std::chrono::nanoseconds(wait - wholeSeconds).count())};
        int n = ::epoll_pwait2(epoll, events, 256, &timeout, nullptr);
        for (int e = 0; e < n; ++e) {
            Endpoint& end_ = ends[events[e].data.u64];
            ssize_t r = ::read(end_.fd, buffer, sizeof buffer);
            if (r <= 0) {
                continue;
            }
            delivered += static_cast<std::size_t>(r);
            end_.in.insert(end_.in.end(), buffer, buffer + r);
            std::size_t whole = end_.in.size() / o.size * o.size;
            if (!end_.port) { // a device: echo whole frames, keep the rest
                if (whole > 0 && ::write(end_.fd, end_.in.data(), whole) != static_cast<ssize_t>(whole)) {
                    ++writeStalls;
                }
            } else {
                std::uint64_t t = NowNs();
                for (std::size_t at = 0; at < whole; at += o.size) {
                    Frame f;
                    std::memcpy(&f, end_.in.data() + at, sizeof f);
                    if (f.magic != kMagic) {
                        ++bad;
                        continue;
                    }
                    ++received;
                    rtt.push_back(static_cast<std::uint32_t>((t - f.sentNs) / 1000));
                }
            }
            end_.in.erase(end_.in.begin(), end_.in.begin() + static_cast<long>(whole));
        }
    }
    double cpu = CpuSeconds(tree) - cpu0;
    long rssKb = 0, pssKb = 0;
    for (int pid : tree) {
        rssKb += Field("/proc/" + std::to_string(pid) + "/status", "VmRSS:");
        pssKb += Field("/proc/" + std::to_string(pid) + "/smaps_rollup", "Pss:");
    }
    ::kill(relay, SIGTERM);
    ::waitpid(relay, nullptr, 0);
    std::sort(rtt.begin(), rtt.end());
    auto pct = [&](double q) {
        return rtt.empty() ? 0.0 : rtt[static_cast<std::size_t>(q * static_cast<double>(rtt.size() - 1))];
    };
    long missing = sent * o.copies - received;
    bool ok = bad == 0 && missing == 0 && writeStalls == 0;
    std::printf("ok=%d setup_ms=%.0f idle_wakeups=%ld rss_mb=%.1f pss_mb=%.1f p50_us=%.0f p99_us=%.0f missing=%ld "
                "bad=%ld stalls=%ld cpu_ms_per_mb=%.3f mbps=%.2f processes=%zu\n",
                ok, setupMs, idleWakeups, static_cast<double>(rssKb) / 1024, static_cast<double>(pssKb) / 1024,
                pct(0.5), pct(0.99), missing, bad, writeStalls,
                delivered ? cpu * 1000.0 / (static_cast<double>(delivered) / 1e6) : 0.0,
                static_cast<double>(delivered) / 1e6 / o.seconds, tree.size());
    return ok ? 0 : 1;
}
