// kavrel: device servers on the LAN as local serial ports, on Linux. See `kavrel --help`.

#include "linux/config.h"
#include "linux/discovery_round.h"
#include "linux/instance_lock.h"
#include "linux/scan_report.h"
#include "linux/service_loop.h"
#include "linux/service_status.h"

#include <CLI/CLI.hpp>
#include <poll.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

namespace {

using namespace kavrel::service;

// Exit statuses besides 0 and 1.
constexpr int kBadInput = 2;
constexpr int kNotRunning = 3;

int Scan(double waitSeconds, bool json) {
    auto warn = [](const std::string& text) { std::fprintf(stderr, "kavrel: warning: %s\n", text.c_str()); };
    DiscoveryRound round(warn);
    if (round.InterfaceCount() == 0) {
        std::fprintf(stderr, "kavrel: no IPv4 interface to search on\n");
        return 1;
    }
    round.Send(warn);
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(waitSeconds);
    for (auto now = std::chrono::steady_clock::now(); now < end; now = std::chrono::steady_clock::now()) {
        std::vector<pollfd> fds;
        round.AddPollFds(fds);
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - now).count() + 1;
        ::poll(fds.data(), fds.size(), static_cast<int>(left));
        round.Receive();
    }
    std::fputs((json ? ScanJson(round.Devices()) : ScanTable(round.Devices())).c_str(), stdout);
    return 0;
}

int Run(const std::string& path) {
    const ConfigResult loaded = LoadConfig(path, DefaultPortDir());
    if (!loaded.config) {
        std::fprintf(stderr, "kavrel: %s\n", loaded.error.c_str());
        return kBadInput;
    }
    return RunService({*loaded.config, path});
}

int Link(const std::string& macText, int port, const std::string& portDir) {
    const auto mac = NormalizeMac(macText);
    if (!mac) {
        std::fprintf(stderr, "kavrel: %s is not a MAC address (six hex pairs such as 00-20-4A-10-00-01)\n",
                     macText.c_str());
        return kBadInput;
    }
    Config config;
    config.portDir = portDir;
    struct stat taken {};
    if (port == 0)
        for (port = 1; port < 255 && ::lstat((portDir + "/COM" + std::to_string(port)).c_str(), &taken) == 0; ++port) {
        }
    LinkConfig link;
    link.mac = *mac;
    link.port = port;
    config.links.push_back(link);
    return RunService({config, {}});
}

int Status(bool json, const std::string& configPath, std::string portDir) {
    if (!configPath.empty()) {
        const ConfigResult loaded = LoadConfig(configPath, DefaultPortDir());
        if (!loaded.config) {
            std::fprintf(stderr, "kavrel: %s\n", loaded.error.c_str());
            return kBadInput;
        }
        portDir = loaded.config->portDir;
    }
    std::ifstream file(portDir + "/" + kStatusFileName);
    std::ostringstream text;
    text << file.rdbuf();
    const auto status = InstanceLock::Held(portDir) ? ParseStatusJson(text.str()) : std::nullopt;
    if (!status) {
        std::fprintf(stderr, "kavrel: no service is running on %s\n", portDir.c_str());
        return kNotRunning;
    }
    std::fputs((json ? StatusJson(*status) : StatusTable(*status)).c_str(), stdout);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app("Serial-to-Ethernet device servers on the LAN as local serial ports (ptys).", "kavrel");
    app.require_subcommand(1);

    CLI::App* scan = app.add_subcommand("scan", "Find the device servers on every IPv4 interface (TI and Lantronix "
                                                "discovery) and list them, one line each.");
    double wait = 2;
    bool scanJson = false;
    scan->add_option("--wait", wait, "Seconds to wait for replies")
        ->check(CLI::Range(0.1, 3600.0))
        ->capture_default_str();
    scan->add_flag("--json", scanJson, "One JSON array of {mac, ip, tcp_port, name, protocols}");

    CLI::App* run = app.add_subcommand(
        "run", "The service: ptys in port_dir joined to the configured devices by MAC; SIGHUP re-reads the "
               "configuration, SIGTERM or SIGINT removes every port.");
    std::string runConfig;
    run->add_option("--config", runConfig, "The TOML configuration (see linux/kavrel.toml)")->required();

    CLI::App* status = app.add_subcommand("status", "The running service's links: port, MAC, address, state, bytes.");
    bool statusJson = false;
    std::string statusConfig, statusDir = DefaultPortDir();
    status->add_flag("--json", statusJson, "The status as JSON");
    auto* configOption = status->add_option("--config", statusConfig, "Take port_dir from this configuration");
    status->add_option("--port-dir", statusDir, "The service's port folder")
        ->capture_default_str()
        ->excludes(configOption);

    CLI::App* link = app.add_subcommand("link", "One link in the foreground, without a configuration; Ctrl-C ends it.");
    std::string mac;
    int port = 0;
    std::string linkDir = DefaultPortDir();
    link->add_option("MAC", mac, "The device's MAC address, such as 00-20-4A-10-00-01")->required();
    link->add_option("--port", port, "The port number N of port_dir/COMN (default: the lowest free)")
        ->check(CLI::Range(1, 255));
    link->add_option("--port-dir", linkDir, "Where the port appears")->capture_default_str();

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return app.exit(error) == 0 ? 0 : kBadInput;
    }
    if (scan->parsed())
        return Scan(wait, scanJson);
    if (run->parsed())
        return Run(runConfig);
    if (status->parsed())
        return Status(statusJson, statusConfig, statusDir);
    return Link(mac, port, linkDir);
}
