#pragma once
// A port as a pseudo-terminal in raw mode whose slave is published as $KAVREL_PORT_DIR/COMN.

#include "engine/port_endpoint.h"
#include "engine/posix/unique_fd.h"

#include <asio.hpp>

#include <memory>
#include <string>

namespace kavrel::engine {

class PtyPort final : public PortEndpoint {
public:
    static std::unique_ptr<PtyPort> Open(asio::io_context& io, int comNumber);
    ~PtyPort() override;

    void AsyncReadSome(asio::mutable_buffer buffer, Handler handler) override;
    void AsyncWriteAll(asio::const_buffer buffer, Handler handler) override;
    void Cancel() override;
    void Configure(const SerialParams& params) override;
    void DiscardPending() override;

private:
    explicit PtyPort(asio::io_context& io) : master_(io) {}

    asio::posix::stream_descriptor master_;
    // Held open so that the master never sees end-of-file (and never spins on it) while the serial
    // program has the port closed; it also keeps the raw settings across the program's opens.
    UniqueFd slave_;
    UniqueFd lock_;
    std::string slavePath_;
    std::string linkPath_;
    std::string lockPath_;
};

} // namespace kavrel::engine
