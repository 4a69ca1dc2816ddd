// A port write in flight keeps its bytes until it completes, as an overlapped write on Windows reads them till then.

#include "engine/relay_hub.h"
#include "engine/tcp_client.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace std::chrono_literals;
using namespace kavrel::engine;

namespace {

// Takes every write and completes none until told: an overlapped write whose completion is still on its way.
struct HeldPort final : PortEndpoint {
    void AsyncReadSome(asio::mutable_buffer, Handler) override {} // the serial program stays silent
    void AsyncWriteAll(asio::const_buffer bytes, Handler handler) override {
        writes.push_back({bytes, std::move(handler)});
    }
    void Cancel() override {}
    void Configure(const SerialParams&) override {}
    void DiscardPending() override {}

    std::string Held(std::size_t i) const {
        return std::string(static_cast<const char*>(writes[i].first.data()), writes[i].first.size());
    }
    void Complete(std::size_t i) { writes[i].second({}, writes[i].first.size()); }

    std::vector<std::pair<asio::const_buffer, Handler>> writes;
};

} // namespace

TEST(RelayHub, PortWriteInFlightKeepsItsBytesAcrossPortChangeAndClose) {
    asio::io_context io;
    auto runUntil = [&](const std::function<bool()>& condition, int rounds = 2000) { // 5 ms each
        for (int i = 0; i < rounds && !condition(); ++i) {
            io.restart();
            io.run_for(5ms);
        }
        return condition();
    };
    asio::ip::tcp::acceptor acceptor(io, {asio::ip::address_v4::loopback(), 0});
    asio::ip::tcp::socket device(io);
    acceptor.async_accept(device, [](std::error_code) {});
    HeldPort port;
    auto hub = std::make_shared<RelayHub>(io);
    hub->SetPort(&port);
    auto client = std::make_shared<TcpClient>(io, hub, acceptor.local_endpoint(), 5s);
    client->Start();
    ASSERT_TRUE(runUntil([&] { return device.is_open() && client->Connected(); }));

    asio::write(device, asio::buffer(std::string("first")));
    ASSERT_TRUE(runUntil([&] { return port.writes.size() == 1; }));
    // The port goes while its write is out; the client's next bytes must not land in what that write reads.
    hub->SetPort(nullptr);
    asio::write(device, asio::buffer(std::string("second")));
    runUntil([] { return false; }, 20);
    EXPECT_EQ(port.Held(0), "first");
    hub->SetPort(&port);
    port.Complete(0);
    ASSERT_TRUE(runUntil([&] { return port.writes.size() == 2; }));

    // Emulation stops with a write out: everything is closed and dropped before the completion comes.
    client->Close();
    hub->Close();
    client.reset();
    hub.reset();
    runUntil([] { return false; }, 4);
    EXPECT_EQ(port.Held(1), "second");
    port.Complete(1);
}
