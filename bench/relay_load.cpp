// Load generator for a serial-port-to-TCP relay (the engine in engine_host, or socat). It is the serial
// program on the port side and the device server on the TCP side at once, so it sees every byte at both
// ends: each stream carries a counter pattern and is checked byte by byte, so a fast wrong relay cannot win.
//
//   relay_load MODE [options] [-- RELAY COMMAND ...]
//
// The relay command is started after the TCP server listens, with {PORT} replaced by the server's port;
// it must connect there and publish its serial port at --pty. Its CPU time is read from /proc.
//
// Modes (one line of key=value figures on standard output):
//   rtt      --size S --count N         S bytes out and back, N times: p50_us, p99_us
//   split    --count N                  an 8-byte request written as 2 then 6 bytes: p50_us, p99_us
//   up       --bytes B                  port -> TCP: mbps, cpu_ms_per_mb
//   down     --bytes B                  TCP -> port: mbps, cpu_ms_per_mb
//   both     --bytes B                  both at once: mbps (both directions together), cpu_ms_per_mb
//   fanout   --bytes B --clients N [--stall]  port -> N TCP clients (one not reading with --stall):
//                                       mbps of the slowest reading client
//   rawpty   --bytes B                  a bare pseudo-terminal, no relay: mbps
// Every mode stops at --seconds (default 30) and then reports what it got with ok=0.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using Clock = std::chrono::steady_clock;

namespace {

struct Options {
    std::string mode;
    std::string pty;
    std::size_t size = 1;
    long count = 20000;
    std::size_t bytes = 256u << 20;
    int clients = 1;
    bool stall = false;
    double seconds = 30;
    std::vector<std::string> relay;
};

// The counter pattern: byte i of a stream. 251 is prime, so the pattern never lines up with a buffer size.
inline unsigned char PatternAt(std::uint64_t i) {
    return static_cast<unsigned char>(i % 251);
}

void Fill(std::vector<unsigned char>& buffer, std::uint64_t offset, std::size_t n) {
    buffer.resize(n);
    for (std::size_t k = 0; k < n; ++k) {
        buffer[k] = PatternAt(offset + k);
    }
}

// Checks n received bytes against the pattern at offset; returns the first bad index or n.
std::size_t Check(const unsigned char* data, std::uint64_t offset, std::size_t n) {
    for (std::size_t k = 0; k < n; ++k) {
        if (data[k] != PatternAt(offset + k)) {
            return k;
        }
    }
    return n;
}

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    Fd(Fd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    Fd& operator=(Fd&& other) noexcept {
        std::swap(fd_, other.fd_);
        return *this;
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    int get() const { return fd_; }

private:
    int fd_;
};

Clock::time_point deadline;
std::atomic<bool> failed{false};
std::string failure;

void Failed(const std::string& why) {
    if (!failed.exchange(true)) {
        failure = why;
    }
}

bool WaitFor(int fd, short events) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0 || failed) {
        return false;
    }
    pollfd p{fd, events, 0};
    return ::poll(&p, 1, static_cast<int>(std::min<long long>(left, 200))) >= 0;
}

bool WriteAll(int fd, const unsigned char* data, std::size_t n) {
    while (n > 0) {
        ssize_t w = ::write(fd, data, n);
        if (w > 0) {
            data += w;
            n -= static_cast<std::size_t>(w);
        } else if (w < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        } else if (!WaitFor(fd, POLLOUT)) {
            if (Clock::now() >= deadline || failed) {
                return false;
            }
        }
    }
    return true;
}

// Reads exactly n bytes; false on end of stream, error or deadline.
bool ReadAll(int fd, unsigned char* data, std::size_t n) {
    while (n > 0) {
        ssize_t r = ::read(fd, data, n);
        if (r > 0) {
            data += r;
            n -= static_cast<std::size_t>(r);
        } else if (r == 0 || (errno != EAGAIN && errno != EINTR)) {
            return false;
        } else if (!WaitFor(fd, POLLIN)) {
            if (Clock::now() >= deadline || failed) {
                return false;
            }
        }
    }
    return true;
}

void SetNonBlocking(int fd) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

void MakeRaw(int fd) {
    termios tio{};
    if (::tcgetattr(fd, &tio) == 0) {
        cfmakeraw(&tio);
        ::tcsetattr(fd, TCSANOW, &tio);
    }
}

Fd Listen(std::uint16_t& port) {
    Fd fd(::socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (fd.get() < 0 || ::bind(fd.get(), reinterpret_cast<sockaddr*>(&addr), len) != 0 || ::listen(fd.get(), 64) != 0 ||
        ::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        return Fd();
    }
    port = ntohs(addr.sin_port);
    SetNonBlocking(fd.get());
    return fd;
}

std::vector<Fd> AcceptAll(int listener, int count) {
    std::vector<Fd> conns;
    while (static_cast<int>(conns.size()) < count) {
        int c = ::accept(listener, nullptr, nullptr);
        if (c >= 0) {
            int one = 1;
            ::setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            SetNonBlocking(c);
            conns.emplace_back(c);
        } else if (!WaitFor(listener, POLLIN) || Clock::now() >= deadline) {
            break;
        }
    }
    return conns;
}

// The relay, our own child: started once the server listens, ended by its pid.
class Relay {
public:
    Relay(const std::vector<std::string>& command, std::uint16_t port) {
        if (command.empty()) {
            return;
        }
        int in[2];
        if (::pipe(in) != 0) {
            return;
        }
        pid_ = ::fork();
        if (pid_ == 0) {
            // Its own process group, so that ending it also ends whatever it started.
            ::setpgid(0, 0);
            ::dup2(in[0], 0);
            ::close(in[0]);
            // Our standard output carries the figures alone.
            int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, 1);
            ::close(in[1]);
            std::vector<std::string> args;
            for (const auto& a : command) {
                std::string s = a;
                for (auto at = s.find("{PORT}"); at != std::string::npos; at = s.find("{PORT}")) {
                    s.replace(at, 6, std::to_string(port));
                }
                args.push_back(s);
            }
            std::vector<char*> argv;
            for (auto& a : args) {
                argv.push_back(a.data());
            }
            argv.push_back(nullptr);
            ::execvp(argv[0], argv.data());
            _exit(127);
        }
        ::close(in[0]);
        stdin_ = Fd(in[1]);
    }
    Relay(const Relay&) = delete;
    Relay& operator=(const Relay&) = delete;
    ~Relay() {
        if (pid_ > 0) {
            stdin_ = Fd();
            ::kill(-pid_, SIGTERM);
            int status = 0;
            for (int i = 0; i < 100 && ::waitpid(pid_, &status, WNOHANG) == 0; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            if (::waitpid(pid_, &status, WNOHANG) == 0) {
                ::kill(-pid_, SIGKILL);
                ::waitpid(pid_, &status, 0);
            }
        }
    }
    bool Started() const { return pid_ > 0; }
    // User plus system time of the whole process (all its threads), in seconds.
    double CpuSeconds() const {
        std::ifstream stat("/proc/" + std::to_string(pid_) + "/stat");
        std::string line;
        std::getline(stat, line);
        auto close = line.rfind(')');
        if (close == std::string::npos) {
            return 0;
        }
        std::istringstream fields(line.substr(close + 2));
        std::string field;
        double ticks = 0;
        for (int i = 3; fields >> field && i <= 15; ++i) {
            if (i == 14 || i == 15) {
                ticks += std::stod(field);
            }
        }
        return ticks / static_cast<double>(::sysconf(_SC_CLK_TCK));
    }

private:
    pid_t pid_ = -1;
    Fd stdin_;
};

Fd OpenPort(const std::string& path) {
    while (Clock::now() < deadline) {
        int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd >= 0) {
            MakeRaw(fd);
            return Fd(fd);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return Fd();
}

double Percentile(std::vector<double> v, double p) {
    if (v.empty()) {
        return 0;
    }
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<std::size_t>(p * static_cast<double>(v.size())))];
}

// Writes `total` pattern bytes in chunks.
bool SendStream(int fd, std::size_t total) {
    constexpr std::size_t kChunk = 64 * 1024;
    std::vector<unsigned char> buffer;
    for (std::size_t at = 0; at < total; at += kChunk) {
        std::size_t n = std::min(kChunk, total - at);
        Fill(buffer, at, n);
        if (!WriteAll(fd, buffer.data(), n)) {
            return false;
        }
    }
    return true;
}

// Reads and checks `total` pattern bytes; returns how many arrived intact.
std::size_t ReceiveStream(int fd, std::size_t total, const char* what) {
    std::vector<unsigned char> buffer(64 * 1024);
    std::size_t got = 0;
    while (got < total) {
        ssize_t r = ::read(fd, buffer.data(), std::min(buffer.size(), total - got));
        if (r > 0) {
            auto n = static_cast<std::size_t>(r);
            if (std::size_t bad = Check(buffer.data(), got, n); bad != n) {
                Failed(std::string(what) + ": wrong byte at offset " + std::to_string(got + bad));
                return got + bad;
            }
            got += n;
        } else if (r == 0 || (errno != EAGAIN && errno != EINTR)) {
            Failed(std::string(what) + ": stream ended at " + std::to_string(got));
            return got;
        } else if (!WaitFor(fd, POLLIN)) {
            if (Clock::now() >= deadline || failed) {
                Failed(std::string(what) + ": time ran out at " + std::to_string(got));
                return got;
            }
        }
    }
    return got;
}

double Mbps(std::size_t bytes, double seconds) {
    return seconds > 0 ? static_cast<double>(bytes) / 1e6 / seconds : 0;
}

int RoundTrips(const Options& o, int port, int conn, bool split) {
    const std::size_t size = split ? 8 : o.size;
    // The device side answers a whole request only, as a device server would.
    std::thread server([&] {
        std::vector<unsigned char> request(size);
        for (long i = 0; i < o.count && !failed; ++i) {
            if (!ReadAll(conn, request.data(), size) || !WriteAll(conn, request.data(), size)) {
                break;
            }
        }
    });
    std::vector<double> micros;
    std::vector<unsigned char> out, back(size);
    std::uint64_t offset = 0;
    for (long i = 0; i < o.count; ++i, offset += size) {
        Fill(out, offset, size);
        auto t0 = Clock::now();
        bool sent = split ? WriteAll(port, out.data(), 2) && WriteAll(port, out.data() + 2, 6)
                          : WriteAll(port, out.data(), size);
        if (!sent || !ReadAll(port, back.data(), size)) {
            Failed("round trip " + std::to_string(i) + " not answered in time");
            break;
        }
        micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
        if (back != out) {
            Failed("round trip " + std::to_string(i) + " came back altered");
            break;
        }
    }
    server.join();
    std::printf("ok=%d n=%zu p50_us=%.1f p99_us=%.1f\n", !failed, micros.size(), Percentile(micros, 0.50),
                Percentile(micros, 0.99));
    return failed ? 1 : 0;
}

int Bulk(const Options& o, const Relay& relay, int port, int conn) {
    const bool up = o.mode != "down", down = o.mode != "up";
    double cpu0 = relay.CpuSeconds();
    auto t0 = Clock::now();
    std::size_t upGot = 0, downGot = 0;
    std::vector<std::thread> threads;
    if (up) {
        threads.emplace_back([&] { SendStream(port, o.bytes); });
        threads.emplace_back([&] { upGot = ReceiveStream(conn, o.bytes, "port -> TCP"); });
    }
    if (down) {
        threads.emplace_back([&] { SendStream(conn, o.bytes); });
        threads.emplace_back([&] { downGot = ReceiveStream(port, o.bytes, "TCP -> port"); });
    }
    for (auto& t : threads) {
        t.join();
    }
    double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    double cpu = relay.CpuSeconds() - cpu0;
    std::size_t moved = upGot + downGot;
    std::printf("ok=%d mbps=%.1f cpu_ms_per_mb=%.3f seconds=%.2f\n", !failed, Mbps(moved, seconds),
                moved ? cpu * 1000.0 / (static_cast<double>(moved) / 1e6) : 0.0, seconds);
    return failed ? 1 : 0;
}

int FanOut(const Options& o, int port, std::vector<Fd>& conns) {
    auto t0 = Clock::now();
    std::thread writer([&] { SendStream(port, o.bytes); });
    // The first connection is the stalled one: open, never read.
    const std::size_t first = o.stall ? 1 : 0;
    std::vector<std::size_t> got(conns.size(), 0);
    std::vector<unsigned char> buffer(64 * 1024);
    std::size_t done = 0;
    while (done < conns.size() - first && !failed && Clock::now() < deadline) {
        std::vector<pollfd> polls;
        for (std::size_t k = first; k < conns.size(); ++k) {
            polls.push_back({conns[k].get(), static_cast<short>(got[k] < o.bytes ? POLLIN : 0), 0});
        }
        ::poll(polls.data(), polls.size(), 200);
        for (std::size_t k = first; k < conns.size(); ++k) {
            if (got[k] >= o.bytes) {
                continue;
            }
            ssize_t r = ::read(conns[k].get(), buffer.data(), std::min(buffer.size(), o.bytes - got[k]));
            if (r > 0) {
                auto n = static_cast<std::size_t>(r);
                if (Check(buffer.data(), got[k], n) != n) {
                    Failed("client " + std::to_string(k) + ": wrong byte after " + std::to_string(got[k]));
                }
                got[k] += n;
                done += got[k] == o.bytes;
            } else if (r == 0) {
                Failed("client " + std::to_string(k) + " closed");
            }
        }
    }
    double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    if (done < conns.size() - first && !failed) {
        Failed("time ran out");
    }
    writer.join();
    std::size_t slowest = *std::min_element(got.begin() + static_cast<long>(first), got.end());
    std::printf("ok=%d mbps=%.1f seconds=%.2f\n", !failed, Mbps(slowest, seconds), seconds);
    return failed ? 1 : 0;
}

int RawPty(const Options& o) {
    Fd master(::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK));
    if (master.get() < 0 || ::grantpt(master.get()) != 0 || ::unlockpt(master.get()) != 0) {
        std::printf("ok=0 error=no-pty\n");
        return 1;
    }
    Fd slave(::open(::ptsname(master.get()), O_RDWR | O_NOCTTY | O_NONBLOCK));
    MakeRaw(slave.get());
    auto t0 = Clock::now();
    std::size_t got = 0;
    std::thread writer([&] { SendStream(slave.get(), o.bytes); });
    got = ReceiveStream(master.get(), o.bytes, "pty");
    writer.join();
    double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    std::printf("ok=%d mbps=%.1f seconds=%.2f\n", !failed, Mbps(got, seconds), seconds);
    return failed ? 1 : 0;
}

} // namespace

int main(int argc, char** argv) {
    Options o;
    int i = 1;
    if (argc < 2) {
        std::fprintf(stderr, "usage: relay_load MODE [options] [-- RELAY ...] (see the source's head)\n");
        return 2;
    }
    o.mode = argv[i++];
    for (; i < argc; ++i) {
        std::string a = argv[i];
        auto next = [&] { return i + 1 < argc ? std::string(argv[++i]) : std::string(); };
        if (a == "--") {
            o.relay.assign(argv + i + 1, argv + argc);
            break;
        } else if (a == "--pty") {
            o.pty = next();
        } else if (a == "--size") {
            o.size = std::stoul(next());
        } else if (a == "--count") {
            o.count = std::stol(next());
        } else if (a == "--bytes") {
            o.bytes = std::stoul(next());
        } else if (a == "--clients") {
            o.clients = std::stoi(next());
        } else if (a == "--stall") {
            o.stall = true;
        } else if (a == "--seconds") {
            o.seconds = std::stod(next());
        } else {
            std::fprintf(stderr, "relay_load: unknown option %s\n", a.c_str());
            return 2;
        }
    }
    ::signal(SIGPIPE, SIG_IGN);
    deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(o.seconds));
    if (o.mode == "rawpty") {
        return RawPty(o);
    }
    std::uint16_t tcpPort = 0;
    Fd listener = Listen(tcpPort);
    if (listener.get() < 0) {
        std::printf("ok=0 error=no-listener\n");
        return 1;
    }
    Relay relay(o.relay, tcpPort);
    if (!relay.Started()) {
        std::printf("ok=0 error=no-relay\n");
        return 1;
    }
    const int clients = o.mode == "fanout" ? o.clients : 1;
    std::vector<Fd> conns = AcceptAll(listener.get(), clients);
    Fd port = OpenPort(o.pty);
    if (static_cast<int>(conns.size()) < clients || port.get() < 0) {
        std::printf("ok=0 error=relay-not-connected\n");
        return 1;
    }
    // The engine reports ready once connected; give a relay a moment to start reading its port as well.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    int rc = 2;
    if (o.mode == "rtt" || o.mode == "split") {
        rc = RoundTrips(o, port.get(), conns[0].get(), o.mode == "split");
    } else if (o.mode == "up" || o.mode == "down" || o.mode == "both") {
        rc = Bulk(o, relay, port.get(), conns[0].get());
    } else if (o.mode == "fanout") {
        rc = FanOut(o, port.get(), conns);
    } else {
        std::fprintf(stderr, "relay_load: unknown mode %s\n", o.mode.c_str());
    }
    if (failed) {
        std::fprintf(stderr, "relay_load: %s\n", failure.c_str());
    }
    return rc;
}
