#include "engine/posix/pty_port.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <utility>

namespace kavrel::engine {
namespace {

// The folder the ports are published in, or nothing when a folder we make is not safely ours: another user
// who made /tmp/kavrel-<uid> first could swap our links for links to ports of theirs.
std::optional<std::string> PortDirectory() {
    if (const char* dir = std::getenv("KAVREL_PORT_DIR"); dir && *dir) {
        return dir; // chosen by whoever started us, as they made it
    }
    std::string dir;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime) {
        dir = std::string(runtime) + "/kavrel";
    } else {
        const char* tmp = std::getenv("TMPDIR");
        dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/kavrel-" + std::to_string(getuid());
    }
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        return std::nullopt;
    }
    struct stat st {};
    if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid() ||
        (st.st_mode & 07777) != 0700) {
        return std::nullopt;
    }
    return dir;
}

// The lock says a live engine owns COMN. It dies with its process, so a link left by a dead engine has
// no lock and is replaced; one whose lock is held belongs to another engine and is refused.
UniqueFd LockName(const std::string& path) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
        if (!fd || flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
            return {};
        }
        // The owner unlinks the file before it lets go; a lock on an unlinked file proves nothing.
        struct stat held {
        }, named{};
        if (fstat(fd.Get(), &held) == 0 && stat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
            held.st_ino == named.st_ino) {
            return fd;
        }
    }
    return {};
}

constexpr std::pair<int, speed_t> kSpeeds[] = {
    {50, B50},       {75, B75},         {110, B110},       {134, B134},       {150, B150},
    {200, B200},     {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},   {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600}, {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
};

speed_t Speed(int baud) {
    for (auto [value, speed] : kSpeeds) {
        if (value == baud) {
            return speed;
        }
    }
    return B0; // not a rate a terminal can name: leave the speed as it is
}

int Baud(speed_t speed) {
    for (auto [value, named] : kSpeeds) {
        if (named == speed) {
            return value;
        }
    }
    return 0;
}

} // namespace

std::unique_ptr<PortEndpoint> OpenPort(asio::io_context& io, int comNumber) {
    return PtyPort::Open(io, comNumber);
}

std::unique_ptr<PtyPort> PtyPort::Open(asio::io_context& io, int comNumber) {
    auto folder = PortDirectory();
    if (!folder) {
        return nullptr;
    }
    const std::string& dir = *folder;
    std::unique_ptr<PtyPort> port(new PtyPort(io));
    std::string name = "COM" + std::to_string(comNumber);
    port->linkPath_ = dir + "/" + name;
    std::string lockPath = dir + "/." + name + ".lock";
    port->lock_ = LockName(lockPath);
    if (!port->lock_) {
        return nullptr;
    }
    port->lockPath_ = lockPath;

    UniqueFd master(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    char slaveName[PATH_MAX];
    if (!master || grantpt(master.Get()) != 0 || unlockpt(master.Get()) != 0 ||
        ptsname_r(master.Get(), slaveName, sizeof slaveName) != 0) {
        return nullptr;
    }
    port->slavePath_ = slaveName;
    port->line_->slave.Reset(::open(slaveName, O_RDWR | O_NOCTTY | O_CLOEXEC));
    // Packet mode: each read of the master starts with a byte that says data or news of the slave; with
    // EXTPROC on the slave (set once settings are watched) that news includes every tcsetattr.
    int packet = 1;
    if (!port->line_->slave || ioctl(master.Get(), TIOCPKT, &packet) != 0) {
        return nullptr;
    }
    port->Configure(SerialParams{});
    asio::error_code ec;
    port->master_.assign(master.Get(), ec);
    if (ec) {
        return nullptr;
    }
    master.Release();
    if (port->master_.non_blocking(true, ec); ec) {
        return nullptr;
    }

    // Published under a temporary name first: the rename replaces a stale link in one step.
    std::string temporary = dir + "/." + name + ".new";
    ::unlink(temporary.c_str());
    if (::symlink(slaveName, temporary.c_str()) != 0 || ::rename(temporary.c_str(), port->linkPath_.c_str()) != 0) {
        ::unlink(temporary.c_str());
        port->linkPath_.clear();
        return nullptr;
    }
    return port;
}

PtyPort::~PtyPort() {
    if (!linkPath_.empty()) {
        char target[PATH_MAX];
        ssize_t n = ::readlink(linkPath_.c_str(), target, sizeof target - 1);
        if (n >= 0 && std::string(target, static_cast<std::size_t>(n)) == slavePath_) {
            ::unlink(linkPath_.c_str());
        }
    }
    if (lock_) {
        ::unlink(lockPath_.c_str());
    }
}

void PtyPort::AsyncReadSome(asio::mutable_buffer buffer, Handler handler) {
    master_.async_read_some(buffer,
                            [line = line_, buffer, handler = std::move(handler)](std::error_code ec, std::size_t n) {
                                if (!ec && n > 0) {
                                    auto* bytes = static_cast<unsigned char*>(buffer.data());
                                    if (bytes[0] == TIOCPKT_DATA) {
                                        std::memmove(bytes, bytes + 1, n - 1);
                                        n -= 1;
                                    } else {
                                        n = 0; // news only: a tcsetattr (TIOCPKT_IOCTL), a flush or a stop
                                    }
                                    // A program that cleared EXTPROC sends no news of its changes; its data brings a
                                    // look instead.
                                    Look(*line);
                                }
                                handler(ec, n);
                            });
}

void PtyPort::AsyncWriteAll(asio::const_buffer buffer, Handler handler) {
    asio::async_write(master_, buffer, [line = line_, handler = std::move(handler)](std::error_code ec, std::size_t n) {
        Look(*line);
        handler(ec, n);
    });
}

// Reports what differs from before, field by field: what the program left alone keeps the link's value.
// Parity and data size never show: Linux's pty keeps 8N1 whatever is asked.
void PtyPort::Report(Line& line, Observed before) {
    if (!line.listener) {
        return;
    }
    line.seen = Observe(line);
    LineReport report;
    if (line.seen.baud != before.baud && line.seen.baud != 0) {
        report.baud = line.seen.baud;
    }
    if (line.seen.stopBits != before.stopBits) {
        report.stopBits = line.seen.stopBits;
    }
    if (line.seen.flowControl != before.flowControl) {
        report.flowControl = line.seen.flowControl;
    }
    if (report.baud || report.stopBits || report.flowControl) {
        line.listener(report);
    }
}

PtyPort::Observed PtyPort::Observe(const Line& line) {
    termios tio{};
    if (tcgetattr(line.slave.Get(), &tio) != 0) {
        return line.seen;
    }
    return {Baud(cfgetospeed(&tio)), (tio.c_cflag & CSTOPB) ? 2 : 1,
            (tio.c_cflag & CRTSCTS)          ? 2
            : (tio.c_iflag & (IXON | IXOFF)) ? 1
                                             : 0};
}

// A new watcher starts from the Splitter's settings: it hears what the program changed since they were set,
// also in an earlier run of the emulation.
void PtyPort::WatchSettings(SettingsListener listener) {
    if (!line_->listener) {
        termios tio{};
        if (tcgetattr(line_->slave.Get(), &tio) == 0) {
            tio.c_lflag |= EXTPROC;
            tcsetattr(line_->slave.Get(), TCSANOW, &tio);
        }
    }
    line_->listener = std::move(listener);
    Report(*line_, line_->configured);
}

void PtyPort::Cancel() {
    asio::error_code ignored;
    master_.cancel(ignored);
}

// Linux's pty keeps the speed and stop bits it is given but forces 8 data bits and no parity.
void PtyPort::Configure(const SerialParams& params) {
    termios tio{};
    if (tcgetattr(line_->slave.Get(), &tio) != 0) {
        return;
    }
    cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    static constexpr tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    tio.c_cflag |= sizes[params.dataBits - 5] | CLOCAL | CREAD;
    if (params.parity != 0) {
        tio.c_cflag |= PARENB;
        tio.c_cflag |= (params.parity == 1 || params.parity == 3) ? PARODD : 0;
        tio.c_cflag |= params.parity >= 3 ? CMSPAR : 0;
    }
    tio.c_cflag |= params.stopBits == 2 ? CSTOPB : 0;
    if (speed_t speed = Speed(params.baud); speed != B0) {
        cfsetspeed(&tio, speed);
    }
    tcsetattr(line_->slave.Get(), TCSANOW, &tio);
    // The engine's own change is no news from the program.
    line_->seen = line_->configured = Observe(*line_);
}

void PtyPort::DiscardPending() {
    tcflush(line_->slave.Get(), TCOFLUSH);
    // The flush leaves what the master's line discipline already holds (in packet mode it always has
    // taken the bytes there), so read that away too; the master is non-blocking and nothing else reads it
    // while emulation is stopped.
    char discard[4096];
    while (::read(master_.native_handle(), discard, sizeof discard) > 0) {
    }
}

} // namespace kavrel::engine
