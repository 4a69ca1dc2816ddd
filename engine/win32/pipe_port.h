#pragma once
// A port as the named pipe \\.\pipe\COMN until a driver-backed port exists. The engine holds the server
// end and listens again whenever the serial program closes its end, so the program can reopen it.

#include "engine/port_endpoint.h"

#include <asio.hpp>

#include <memory>

namespace kavrel::engine {

class PipePort final : public PortEndpoint {
public:
    static std::unique_ptr<PipePort> Open(asio::io_context& io, int comNumber);
    ~PipePort() override;

    void AsyncReadSome(asio::mutable_buffer buffer, Handler handler) override;
    void AsyncWriteAll(asio::const_buffer buffer, Handler handler) override;
    void Cancel() override;
    void Configure(const SerialParams&) override {} // a pipe carries no line settings
    void DiscardPending() override {}

private:
    // Shared with pending completions, which may arrive after the port is gone.
    struct Pipe {
        explicit Pipe(asio::io_context& io) : handle(io) {}
        asio::windows::stream_handle handle;
        bool connected = false;
        unsigned epoch = 0; // counts cancels
    };

    explicit PipePort(std::shared_ptr<Pipe> pipe) : pipe_(std::move(pipe)) {}
    static std::shared_ptr<Pipe> CreatePipe(asio::io_context& io, int comNumber);
    static void Listen(const std::shared_ptr<Pipe>& pipe, asio::mutable_buffer buffer, Handler handler);
    static void Read(const std::shared_ptr<Pipe>& pipe, asio::mutable_buffer buffer, Handler handler);

    std::shared_ptr<Pipe> pipe_;
};

} // namespace kavrel::engine
