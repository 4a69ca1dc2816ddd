#include "linux/service_loop.h"

#include "linux/discovery_round.h"
#include "linux/instance_lock.h"
#include "linux/link_service.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <systemd/sd-daemon.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>

namespace kavrel::service {
namespace {

using Clock = std::chrono::steady_clock;
using Level = LinkService::Level;

// How long a round listens for replies, and how often the links' state is read.
constexpr auto kReplyWindow = std::chrono::seconds(2);
constexpr auto kPollPeriod = std::chrono::milliseconds(200);

// One line per event on stderr; under systemd (JOURNAL_STREAM set) with the priority prefix journald reads.
void Log(Level level, const std::string& text) {
    static const bool journal = std::getenv("JOURNAL_STREAM") != nullptr;
    const char* prefix = "";
    if (journal)
        prefix = level == Level::Error ? "<3>" : level == Level::Warning ? "<4>" : "<6>";
    else if (level != Level::Info)
        prefix = level == Level::Error ? "error: " : "warning: ";
    std::fprintf(stderr, "%s%s\n", prefix, text.c_str());
}

bool WriteAtomically(const std::string& path, const std::string& text) {
    const std::string temporary = path + ".new";
    {
        std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
        if (!(file << text) || !file.flush())
            return false;
    }
    return std::rename(temporary.c_str(), path.c_str()) == 0;
}

class Loop {
public:
    Loop(const ServiceOptions& options, int signals)
        : m_options(options), m_config(options.config), m_signals(signals),
          m_statusPath(m_config.portDir + "/" + kStatusFileName), m_links(m_config.portDir, Log) {}

    int Run() {
        m_links.Apply(m_config.links);
        Publish();
        sd_notify(0, "READY=1");
        Log(Level::Info, "serving " + std::to_string(m_config.links.size()) + " links in " + m_config.portDir);
        auto nextRound = Clock::now();
        while (!m_stop) {
            auto now = Clock::now();
            if (!m_round && now >= nextRound) {
                StartRound();
                nextRound = now + std::chrono::seconds(m_config.rescanSeconds);
                m_roundEnd =
                    now + std::min<Clock::duration>(kReplyWindow, std::chrono::seconds(m_config.rescanSeconds));
            }
            auto wake = std::min(now + kPollPeriod, m_round ? m_roundEnd : nextRound);
            std::vector<pollfd> fds{{m_signals, POLLIN, 0}};
            if (m_round)
                m_round->AddPollFds(fds);
            const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(wake - now).count();
            if (::poll(fds.data(), fds.size(), static_cast<int>(std::max<long long>(wait, 0))) < 0 && errno != EINTR)
                break;
            if (m_round) {
                m_round->Receive();
                m_links.OnDevices(m_round->Devices());
                if (Clock::now() >= m_roundEnd)
                    m_round.reset();
            }
            if (fds[0].revents & POLLIN)
                OnSignal();
            m_links.Poll();
            Publish();
        }
        sd_notify(0, "STOPPING=1");
        m_round.reset();
        m_links.Shutdown();
        ::unlink(m_statusPath.c_str());
        Log(Level::Info, "stopped: every port removed, every connection closed");
        return 0;
    }

private:
    void StartRound() {
        std::set<std::string> warnings;
        auto warn = [&](const std::string& text) { warnings.insert(text); };
        m_round = std::make_unique<DiscoveryRound>(warn);
        m_round->Send(warn);
        // The same trouble every round is told once, and again only after it went away.
        for (const std::string& text : warnings)
            if (!m_warnings.count(text))
                Log(Level::Warning, text);
        m_warnings = std::move(warnings);
    }

    void OnSignal() {
        signalfd_siginfo info{};
        while (::read(m_signals, &info, sizeof info) == sizeof info) {
            if (info.ssi_signo == SIGHUP)
                Reload();
            else
                m_stop = true;
        }
    }

    void Reload() {
        if (m_options.configPath.empty())
            return;
        sd_notify(0, "RELOADING=1");
        const ConfigResult loaded = LoadConfig(m_options.configPath, m_options.config.portDir);
        if (!loaded.config) {
            Log(Level::Error, loaded.error + " (configuration not reloaded)");
        } else {
            if (loaded.config->portDir != m_config.portDir)
                Log(Level::Warning, "port_dir changes only when the service restarts; still " + m_config.portDir);
            m_config.rescanSeconds = loaded.config->rescanSeconds;
            m_config.links = loaded.config->links;
            m_links.Apply(m_config.links);
            Log(Level::Info, "configuration reloaded: " + std::to_string(m_config.links.size()) + " links");
        }
        sd_notify(0, "READY=1");
    }

    void Publish() {
        std::string text = StatusJson(m_links.Status());
        if (text == m_published)
            return;
        if (!WriteAtomically(m_statusPath, text))
            Log(Level::Warning, "cannot write " + m_statusPath + ": " + std::strerror(errno));
        m_published = std::move(text);
    }

    const ServiceOptions& m_options;
    Config m_config;
    int m_signals;
    std::string m_statusPath;
    LinkService m_links;
    std::unique_ptr<DiscoveryRound> m_round;
    Clock::time_point m_roundEnd;
    std::set<std::string> m_warnings;
    std::string m_published;
    bool m_stop = false;
};

} // namespace

int RunService(const ServiceOptions& options) {
    const std::string& dir = options.config.portDir;
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    if (error) {
        Log(Level::Error, "cannot make " + dir + ": " + error.message());
        return 1;
    }
    const auto lock = InstanceLock::Take(dir);
    if (!lock) {
        Log(Level::Error, "another kavrel is already serving " + dir + "; this one stops");
        return 1;
    }
    ::setenv("KAVREL_PORT_DIR", dir.c_str(), 1);
    sigset_t signals;
    sigemptyset(&signals);
    for (int signal : {SIGHUP, SIGTERM, SIGINT})
        sigaddset(&signals, signal);
    // Blocked before the engine starts its thread, which inherits the mask, so only signalfd sees them.
    ::pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
    const engine::UniqueFd signalFd(::signalfd(-1, &signals, SFD_NONBLOCK | SFD_CLOEXEC));
    if (!signalFd) {
        Log(Level::Error, std::string("signalfd: ") + std::strerror(errno));
        return 1;
    }
    return Loop(options, signalFd.Get()).Run();
}

} // namespace kavrel::service
