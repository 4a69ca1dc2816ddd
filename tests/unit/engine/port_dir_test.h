#pragma once
// A fixture for engine tests: ports in a fresh folder per test, the engine released and the folder gone after.

#include "engine/vspe_api.h"
#include "test_peers.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace kavrel::test {

class PortDirTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/kavrel-engine-test.XXXXXX";
        ASSERT_TRUE(mkdtemp(tmpl));
        dir_ = tmpl;
        setenv("KAVREL_PORT_DIR", dir_.c_str(), 1);
    }
    void TearDown() override {
        vspe_release();
        std::filesystem::remove_all(dir_);
    }

    std::string PortPath(int com = 7) const { return dir_ + "/COM" + std::to_string(com); }
    // Connector COM7 and Splitter 100 with these line settings, as the program makes a port link.
    void MakeLink(const std::string& settings = "2400,0,8,1,2,-1") {
        ASSERT_TRUE(vspe_initialize());
        connector_ = vspe_createDevice("Connector", "7;1");
        ASSERT_GT(connector_, 0);
        ASSERT_GT(vspe_createDevice("Splitter", ("100;7;0;" + settings + ";0;0;0").c_str()), 0);
    }

    // A TcpClient to port (see AddClient), emulation running and the client connected.
    std::int32_t RunClient(std::uint16_t port, const std::string& extra = "", const std::string& host = "127.0.0.1") {
        const std::int32_t client = AddClient(port, extra, host);
        EXPECT_TRUE(vspe_startEmulation());
        EXPECT_TRUE(WaitUntil([&] { return Ready(client); }));
        return client;
    }

    std::string dir_;
    std::int32_t connector_ = -1;
};

} // namespace kavrel::test
