// The service's configuration: what a good file gives, and where a bad one is wrong.

#include "emulation/init_strings.h"
#include "engine/init_strings.h"
#include "linux/config.h"

#include <gtest/gtest.h>

using namespace kavrel::service;

namespace {

std::string Narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

ConfigResult Parse(const std::string& text) {
    return ParseConfig(text, "k.toml", "/run/default");
}

} // namespace

TEST(ServiceConfig, ReadsEveryKeyAndKeepsDefaults) {
    const auto result = Parse(R"(rescan = 7
[[link]]
mac = "00:20:4a:10:00:0f"
port = 10
path = "/dev/ttyScale1"
[[link]]
mac = "00-20-4A-10-00-02"
port = 10
tcp_port = 4001
address = "198.18.1.10"
)");
    ASSERT_TRUE(result.config) << result.error;
    const Config& config = *result.config;
    EXPECT_EQ(config.portDir, "/run/default");
    EXPECT_EQ(config.rescanSeconds, 7);
    ASSERT_EQ(config.links.size(), 2u); // two links on one port: the Splitter's fan-out
    EXPECT_EQ(config.links[0].mac, "00-20-4A-10-00-0F");
    EXPECT_EQ(config.links[0].at, 2);
    EXPECT_EQ(config.links[0].path, "/dev/ttyScale1");
    EXPECT_FALSE(config.links[0].tcpPort);
    EXPECT_EQ(config.links[1].port, 10);
    EXPECT_EQ(config.links[1].tcpPort, 4001);
    EXPECT_EQ(config.links[1].address, "198.18.1.10");
    EXPECT_FALSE(config.links[0].SameLink(config.links[1]));
    EXPECT_EQ(Parse("").config->rescanSeconds, kDefaultRescanSeconds);
    const auto sample = LoadConfig(KAVREL_SAMPLE_CONFIG, "/run/default");
    EXPECT_TRUE(sample.config && sample.config->links.size() == 3) << sample.error;
}

TEST(ServiceConfig, NamesTheFileLineAndKeyOfEveryMistake) {
    const std::pair<const char*, const char*> cases[] = {
        {"port_dir = \"/x\"\nrescan = [\n", "k.toml:2:"},
        {"port_dir = \"relative\"\n", "k.toml:1: port_dir: must be an absolute path in quotes"},
        {"rescan = 0\n", "k.toml:1: rescan: 0 is outside 1 to 86400"},
        {"colour = 1\n", "k.toml:1: colour: unknown key"},
        {"link = 3\n", "k.toml:1: link: must be tables written as [[link]]"},
        {"[[link]]\nmac = \"00-20-4A-10-00-01\"\nport = 1\ncolour = \"red\"\n",
         "k.toml:4: link[1].colour: unknown key"},
        {"[[link]]\nmac = \"00-20-4A-10-00-1\"\nport = 1\n", "k.toml:2: link[1].mac: \"00-20-4A-10-00-1\" is not"},
        {"[[link]]\nmac = \"00-20-4A-10-00:01\"\nport = 1\n", "k.toml:2: link[1].mac:"},
        {"[[link]]\nmac = \"00-20-4A-10-00-0G\"\nport = 1\n", "k.toml:2: link[1].mac:"},
        {"[[link]]\nmac = 7\nport = 1\n", "k.toml:2: link[1].mac: the value is not a MAC address"},
        {"[[link]]\nmac = \"00-20-4A-10-00-01\"\nport = 0\n", "k.toml:3: link[1].port: 0 is outside 1 to 255"},
        {"[[link]]\nmac = \"00-20-4A-10-00-01\"\nport = \"10\"\n", "k.toml:3: link[1].port: must be a whole number"},
        {"[[link]]\nport = 1\n", "k.toml:1: link[1].mac: missing"},
        {"[[link]]\nmac = \"00-20-4A-10-00-01\"\nport = 1\ntcp_port = 65536\n", "k.toml:4: link[1].tcp_port: 65536"},
        {"[[link]]\nmac = \"00-20-4A-10-00-01\"\nport = 1\naddress = \"198.18.1\"\ntcp_port = 1\n",
         "k.toml:4: link[1].address: must be an IPv4 address"},
        {"[[link]]\nmac = \"00-20-4A-10-00-01\"\nport = 1\naddress = \"198.18.1.1\"\n",
         "k.toml:4: link[1].address: needs tcp_port"},
        {"[[link]]\nmac = \"00-20-4A-10-00-01\"\nport = 1\n[[link]]\nmac = \"00-20-4a-10-00-01\"\nport = 2\n",
         "k.toml:5: link[2].mac: 00-20-4A-10-00-01 is already linked at line 1"},
        {"[[link]]\nmac = \"00-20-4A-10-00-01\"\nport = 1\npath = \"/dev/a\"\n"
         "[[link]]\nmac = \"00-20-4A-10-00-02\"\nport = 2\npath = \"/dev/a\"\n",
         "k.toml:8: link[2].path: /dev/a is already taken at line 1"},
    };
    for (const auto& [text, message] : cases) {
        const auto result = Parse(text);
        EXPECT_FALSE(result.config) << text;
        EXPECT_EQ(result.error.rfind(message, 0), 0u) << text << "\n gave: " << result.error;
    }
}

// The line goes to the port's Splitter and, with rfc2217, to the device server: the engine must read
// what the service writes, and a port's links must agree on it.
TEST(ServiceConfig, LineSettingsAndRfc2217ReachTheEnginesInitStrings) {
    const auto result = Parse(R"([[link]]
mac = "00-20-4A-10-00-01"
port = 12
rfc2217 = true
baud = 19200
data_bits = 7
parity = "even"
stop_bits = 2
flow = "rtscts"
[[link]]
mac = "00-20-4A-10-00-02"
port = 13
)");
    ASSERT_TRUE(result.config) << result.error;
    const LinkConfig& link = result.config->links[0];
    EXPECT_TRUE(link.rfc2217);
    EXPECT_FALSE(result.config->links[1].rfc2217);
    const auto splitter =
        kavrel::engine::ParseSplitter(Narrow(kavrel::SplitterInit(112, L"COM12", LineParams(link.line))));
    ASSERT_TRUE(splitter);
    EXPECT_EQ(splitter->params.baud, 19200);
    EXPECT_EQ(splitter->params.dataBits, 7);
    EXPECT_EQ(splitter->params.parity, 2);
    EXPECT_EQ(splitter->params.stopBits, 2);
    EXPECT_EQ(splitter->params.flowControl, 2);
    const auto client =
        kavrel::engine::ParseTcpClient(Narrow(kavrel::TcpClientInit(L"198.18.1.1", L"4001", 112, true)));
    ASSERT_TRUE(client);
    EXPECT_TRUE(client->rfc2217);
    LinkConfig faster = link;
    faster.line.baud = 38400;
    EXPECT_FALSE(faster.SameLink(link)) << "a changed line makes a new link at SIGHUP";

    const std::pair<const char*, const char*> mistakes[] = {
        {"[[link]]\nmac = \"00-20-4A-10-00-01\"\nport = 1\nparity = \"pink\"\n",
         "k.toml:4: link[1].parity: must be one of \"none\", \"odd\", \"even\", \"mark\", \"space\""},
        {"[[link]]\nmac = \"00-20-4A-10-00-01\"\nport = 1\nstop_bits = 3\n",
         "k.toml:4: link[1].stop_bits: 3 is outside"},
        {"[[link]]\nmac = \"00-20-4A-10-00-01\"\nport = 1\nrfc2217 = 1\n", "k.toml:4: link[1].rfc2217: must be true"},
        {"[[link]]\nmac = \"00-20-4A-10-00-01\"\nport = 1\nbaud = 9600\n[[link]]\nmac = \"00-20-4A-10-00-02\"\n"
         "port = 1\nbaud = 19200\n",
         "k.toml:5: link[2].port: COM1 has other line settings at line 1"},
    };
    for (const auto& [text, message] : mistakes) {
        const auto bad = Parse(text);
        EXPECT_FALSE(bad.config);
        EXPECT_EQ(bad.error.rfind(message, 0), 0u) << bad.error;
    }
}
