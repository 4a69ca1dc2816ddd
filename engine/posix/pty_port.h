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
    void WatchSettings(SettingsListener listener) override;

private:
    // What the termios tells of the line; baud 0 is a speed without a number.
    struct Observed {
        int baud = 0;
        int stopBits = 0;
        int flowControl = 0;
    };
    // The slave side as the settings watch sees it; shared with pending completions, which may run after
    // the port is gone.
    struct Line {
        // Held open so that the master never sees end-of-file (and never spins on it) while the serial
        // program has the port closed; it also keeps the raw settings across the program's opens.
        UniqueFd slave;
        SettingsListener listener;
        Observed seen;       // at the last look
        Observed configured; // as the Splitter's settings left it
    };
    static void Look(Line& line) { Report(line, line.seen); }
    static void Report(Line& line, Observed before);
    static Observed Observe(const Line& line);

    explicit PtyPort(asio::io_context& io) : master_(io), line_(std::make_shared<Line>()) {}

    asio::posix::stream_descriptor master_;
    std::shared_ptr<Line> line_;
    UniqueFd lock_;
    std::string slavePath_;
    std::string linkPath_;
    std::string lockPath_;
};

} // namespace kavrel::engine
