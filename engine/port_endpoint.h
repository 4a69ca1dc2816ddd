#pragma once
// One virtual serial port as the relay sees it: a byte stream with a serial program at the far end.
// A pseudo-terminal on POSIX, a named pipe on Windows.

#include "engine/init_strings.h"

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

    // The buffer must live until the handler runs, also after Cancel or destruction.
    virtual void AsyncReadSome(asio::mutable_buffer buffer, Handler handler) = 0;
    // Completes when every byte is written, or dropped because no program has the port open.
    virtual void AsyncWriteAll(asio::const_buffer buffer, Handler handler) = 0;
    virtual void Cancel() = 0;
    virtual void Configure(const SerialParams& params) = 0;
    // What the program wrote while emulation was stopped had nowhere to go.
    virtual void DiscardPending() = 0;
};

// Makes and publishes the port COMN; nothing when the name is taken or the system refuses.
std::unique_ptr<PortEndpoint> OpenPort(asio::io_context& io, int comNumber);

} // namespace kavrel::engine
