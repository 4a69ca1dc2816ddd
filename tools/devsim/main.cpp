// kavrel-devsim: device servers for the simulated LAN. See usage below.

#include "tools/devsim/simulator.h"

#include <sys/resource.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

namespace {

const char kUsage[] =
    "usage: kavrel-devsim [--device 'ip=A.B.C.D key=value...']... [--devices-file FILE]\n"
    "                     [--log FILE] [--control SOCKET] [--seed N] [--ti-port N] [--lantronix-port N]\n"
    "A device is one line of words: ip= (required), mac=XX-XX-XX-XX-XX-XX, name= (%HH escapes),\n"
    "port= (TCP, default 4001), reply-port=N (the TI reply's port field instead, any 32-bit value),\n"
    "protocol=ti|lantronix|both, delay=MS, twice, junk=N,\n"
    "fault=none|silent|bad-checksum|wrong-tag|wrong-type|wrong-command|short|oversized|no-zero|non-ascii,\n"
    "tcp=echo|refuse. A devices file holds one device per line; '#' starts a comment.\n"
    "Prints 'ready devices=N' on stdout once every socket is bound. Logs one line per request:\n"
    "  request ti|lantronix HEX from A.B.C.D:PORT to A.B.C.D:PORT\n"
    "Control socket commands, one per line, answered 'ok' or 'error ...':\n"
    "  drop DEVICE | refuse DEVICE | restore DEVICE | quit   (DEVICE: ip, name, mac or 'all')\n"
    "  move DEVICE A.B.C.D   (the same device at another address, already on the LAN)\n";

bool AddDevice(const std::string& line, const std::string& where, devsim::Options& options) {
    std::string error;
    auto device = devsim::ParseDevice(line, error);
    if (!device) {
        std::fprintf(stderr, "kavrel-devsim: %s: %s\n", where.c_str(), error.c_str());
        return false;
    }
    options.devices.push_back(std::move(*device));
    return true;
}

bool ReadDevicesFile(const std::string& path, devsim::Options& options) {
    std::ifstream file(path);
    if (!file) {
        std::fprintf(stderr, "kavrel-devsim: cannot read %s\n", path.c_str());
        return false;
    }
    std::string line;
    for (int number = 1; std::getline(file, line); ++number) {
        line = line.substr(0, line.find('#'));
        if (line.find_first_not_of(" \t\r") == std::string::npos)
            continue;
        if (!AddDevice(line, path + ":" + std::to_string(number), options))
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    devsim::Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (!hasValue) {
            std::fputs(kUsage, stderr);
            return 2;
        }
        const std::string value = argv[++i];
        bool ok = true;
        if (arg == "--device")
            ok = AddDevice(value, "--device", options);
        else if (arg == "--devices-file")
            ok = ReadDevicesFile(value, options);
        else if (arg == "--log")
            options.logPath = value;
        else if (arg == "--control")
            options.controlPath = value;
        else if (arg == "--seed")
            options.seed = static_cast<unsigned>(std::stoul(value));
        else if (arg == "--ti-port")
            options.tiPort = static_cast<std::uint16_t>(std::stoul(value));
        else if (arg == "--lantronix-port")
            options.lantronixPort = static_cast<std::uint16_t>(std::stoul(value));
        else {
            std::fputs(kUsage, stderr);
            return 2;
        }
        if (!ok)
            return 2;
    }

    // One listener per device, plus their connections.
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
    }

    devsim::Simulator simulator(std::move(options));
    std::string error;
    if (!simulator.Start(error)) {
        std::fprintf(stderr, "kavrel-devsim: %s\n", error.c_str());
        return 1;
    }
    std::printf("ready devices=%zu\n", simulator.DeviceCount());
    std::fflush(stdout);
    return simulator.Run();
}
