// The service's configuration: what a good file gives, and where a bad one is wrong.

#include "linux/config.h"

#include <gtest/gtest.h>

using namespace kavrel::service;

namespace {

ConfigResult Parse(const std::string& text) {
    return ParseConfig(text, "k.toml", "/run/default");
}

const std::string kLink = "[[link]]\nmac = \"00-20-4A-10-00-01\"\nport = 1\n";

} // namespace

// What the LAN test's service cannot show: the MAC's other spelling, flow control (a pty has no RTS/CTS), and
// that a changed line is a changed link at SIGHUP.
TEST(ServiceConfig, ReadsWhatTheServiceCannotShow) {
    const auto result = Parse("[[link]]\nmac = \"00:20:4a:10:00:0f\"\nport = 12\nflow = \"rtscts\"\n");
    ASSERT_TRUE(result.config) << result.error;
    const LinkConfig& link = result.config->links.at(0);
    EXPECT_EQ(link.mac, "00-20-4A-10-00-0F");
    EXPECT_EQ(link.line.flow, 2);
    LinkConfig faster = link;
    faster.line.baud = 38400;
    EXPECT_FALSE(faster.SameLink(link));
    // The sample has every key, and two links sharing one port.
    const auto sample = LoadConfig(KAVREL_SAMPLE_CONFIG, "/run/default");
    EXPECT_TRUE(sample.config && sample.config->links.size() == 3) << sample.error;
}

TEST(ServiceConfig, NamesTheFileLineAndKeyOfEveryMistake) {
    const std::pair<std::string, std::string> cases[] = {
        {"port_dir = \"/x\"\nrescan = [\n", "k.toml:2:"},
        {"port_dir = \"relative\"\n", "k.toml:1: port_dir: must be an absolute path in quotes"},
        {"rescan = 0\n", "k.toml:1: rescan: 0 is outside 1 to 86400"},
        {"colour = 1\n", "k.toml:1: colour: unknown key"},
        {"link = 3\n", "k.toml:1: link: must be tables written as [[link]]"},
        {kLink + "colour = \"red\"\n", "k.toml:4: link[1].colour: unknown key"},
        {"[[link]]\nmac = \"00-20-4A-10-00-0G\"\nport = 1\n", "k.toml:2: link[1].mac: \"00-20-4A-10-00-0G\" is not"},
        {"[[link]]\nmac = 7\nport = 1\n", "k.toml:2: link[1].mac: the value is not a MAC address"},
        {"[[link]]\nmac = \"00-20-4A-10-00-01\"\nport = 0\n", "k.toml:3: link[1].port: 0 is outside 1 to 255"},
        {"[[link]]\nmac = \"00-20-4A-10-00-01\"\nport = \"10\"\n", "k.toml:3: link[1].port: must be a whole number"},
        {"[[link]]\nport = 1\n", "k.toml:1: link[1].mac: missing"},
        {kLink + "path = \"dev/a\"\n", "k.toml:4: link[1].path: must be an absolute path"},
        {kLink + "tcp_port = 65536\n", "k.toml:4: link[1].tcp_port: 65536"},
        {kLink + "address = \"198.18.1\"\ntcp_port = 1\n", "k.toml:4: link[1].address: must be an IPv4 address"},
        {kLink + "address = \"198.18.1.1\"\n", "k.toml:4: link[1].address: needs tcp_port"},
        {kLink + "rfc2217 = 1\n", "k.toml:4: link[1].rfc2217: must be true"},
        {kLink + "baud = 0\n", "k.toml:4: link[1].baud: 0 is outside"},
        {kLink + "data_bits = 9\n", "k.toml:4: link[1].data_bits: 9 is outside"},
        {kLink + "stop_bits = 3\n", "k.toml:4: link[1].stop_bits: 3 is outside"},
        {kLink + "parity = \"pink\"\n",
         "k.toml:4: link[1].parity: must be one of \"none\", \"odd\", \"even\", \"mark\", \"space\""},
        {kLink + "flow = \"dtr\"\n", "k.toml:4: link[1].flow: must be one of"},
        {kLink + "[[link]]\nmac = \"00-20-4a-10-00-01\"\nport = 2\n",
         "k.toml:5: link[2].mac: 00-20-4A-10-00-01 is already linked at line 1"},
        {kLink + "path = \"/dev/a\"\n[[link]]\nmac = \"00-20-4A-10-00-02\"\nport = 2\npath = \"/dev/a\"\n",
         "k.toml:8: link[2].path: /dev/a is already taken at line 1"},
        {kLink + "baud = 9600\n[[link]]\nmac = \"00-20-4A-10-00-02\"\nport = 1\nbaud = 19200\n",
         "k.toml:5: link[2].port: COM1 has other line settings at line 1"},
    };
    for (const auto& [text, message] : cases) {
        const auto result = Parse(text);
        EXPECT_TRUE(!result.config && result.error.rfind(message, 0) == 0) << text << "\n gave: " << result.error;
    }
}
