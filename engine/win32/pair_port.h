#pragma once
// A port as the hidden end of a null-modem pair: the serial program opens the visible end, a real COMN,
// and the engine relays the hidden end. The pair stays open across the program's closes and opens.

#include "engine/port_endpoint.h"

#include <asio.hpp>

#include <memory>
#include <string>
#include <system_error>

namespace kavrel::engine {

class PairPort final : public PortEndpoint {
public:
    // Nothing, with the system's reason, when the end cannot be opened as a serial port.
    static std::unique_ptr<PairPort> Open(asio::io_context& io, const std::string& hiddenEnd, std::error_code& ec);
    ~PairPort() override;

    void AsyncReadSome(asio::mutable_buffer buffer, Handler handler) override;
    void AsyncWriteAll(asio::const_buffer buffer, Handler handler) override;
    void Cancel() override;
    void Configure(const SerialParams& params) override;
    void DiscardPending() override;

private:
    // Shared with pending completions, which may arrive after the port is gone.
    struct End {
        explicit End(asio::io_context& io) : port(io) {}
        asio::serial_port port;
        unsigned epoch = 0; // counts cancels
    };

    explicit PairPort(std::shared_ptr<End> end) : end_(std::move(end)) {}
    static void WaitForFirstByte(const std::shared_ptr<End>& end, asio::mutable_buffer buffer, Handler handler);
    static void ReadQueued(const std::shared_ptr<End>& end, asio::mutable_buffer buffer, Handler handler);

    std::shared_ptr<End> end_;
};

} // namespace kavrel::engine
