#pragma once
// One virtual serial port as the relay sees it: a byte stream with a serial program at the far end.
// A pseudo-terminal on POSIX, a named pipe on Windows.

#include "engine/init_strings.h"
#include "engine/line_settings.h"

#include <asio.hpp>

#include <functional>
#include <memory>
#include <system_error>

namespace kavrel::engine {

class PortEndpoint {
public:
    using Handler = std::function<void(std::error_code, std::size_t)>;

    PortEndpoint() = default;
    PortEndpoint(const PortEndpoint&) = delete;
    PortEndpoint& operator=(const PortEndpoint&) = delete;
    virtual ~PortEndpoint() = default;

    using SettingsListener = std::function<void(const LineReport&)>;

    // The buffer must live until the handler runs, also after Cancel or destruction. A read may complete
    // with no bytes and no error when the port had only news of its settings.
    virtual void AsyncReadSome(asio::mutable_buffer buffer, Handler handler) = 0;
    // Completes when every byte is written, or dropped because no program has the port open.
    virtual void AsyncWriteAll(asio::const_buffer buffer, Handler handler) = 0;
    virtual void Cancel() = 0;
    virtual void Configure(const SerialParams& params) = 0;
    // What the program wrote while emulation was stopped had nowhere to go.
    virtual void DiscardPending() = 0;
    // From now on, tells listener (on the I/O thread) what the serial program changes of its line, where
    // the port can see it; a later call replaces the listener. Ports that cannot see it ignore this.
    virtual void WatchSettings(SettingsListener) {}
};

// Makes and publishes the port COMN; nothing when the name is taken or the system refuses.
std::unique_ptr<PortEndpoint> OpenPort(asio::io_context& io, int comNumber);

} // namespace kavrel::engine
