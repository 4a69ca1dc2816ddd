// The Windows port of COMN: the hidden end of the pair installed for that name, else the named pipe.

#include "engine/pair_choice.h"
#include "engine/win32/pair_port.h"
#include "engine/win32/pipe_port.h"
#include "engine/win32/system_pair_registry.h"

#include <windows.h>

#include <string>

namespace kavrel::engine {
namespace {

void Tell(const std::string& port, const std::string& what) {
    OutputDebugStringA(("vspe_api: " + port + ": " + what + "\n").c_str());
}

} // namespace

std::unique_ptr<PortEndpoint> OpenPort(asio::io_context& io, int comNumber) {
    std::string port = "COM" + std::to_string(comNumber);
    PairChoice choice = ChoosePair(SystemPairRegistry(), comNumber);
    for (const std::string& reason : choice.skipped) {
        Tell(port, reason);
    }
    if (!choice.hiddenEnd.empty()) {
        std::error_code ec;
        if (auto pair = PairPort::Open(io, choice.hiddenEnd, ec)) {
            return pair;
        }
        Tell(port, "cannot open the pair's end " + choice.hiddenEnd + ": " + ec.message());
        // A pair whose end is not there (its driver removed, say) leaves the name free for the pipe; one that
        // is there but refuses (held elsewhere, not a serial port) would leave COMN to someone else.
        if (ec.value() != ERROR_FILE_NOT_FOUND && ec.value() != ERROR_PATH_NOT_FOUND) {
            return nullptr;
        }
    }
    return PipePort::Open(io, comNumber);
}

} // namespace kavrel::engine
