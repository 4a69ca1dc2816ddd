#include "tools/devsim/device.h"
#include "tools/devsim/reply_builder.h"

#include "../discovery/reply_bytes.h"
#include "../fakes/fake_device_rows.h"
#include "discovery/device_discovery.h"

#include <gtest/gtest.h>

using namespace devsim;
using kavrel::test::FakeDeviceRows;

namespace {

Device Parse(const std::string& line) {
    std::string error;
    auto device = ParseDevice(line, error);
    EXPECT_TRUE(device.has_value()) << line << ": " << error;
    return device.value_or(Device{});
}

// The program's rules fed with everything a device sends for one search.
FakeDeviceRows Discover(const std::vector<Device>& devices, int junkRounds = 0) {
    FakeDeviceRows rows;
    kavrel::DeviceDiscovery discovery(rows, {L"COM1", L"COM2"}, kavrel::testing::Latin1Decode);
    std::mt19937 random(3);
    for (Request request : {Request::Ti, Request::F6, Request::F8}) {
        for (const Device& device : devices) {
            std::vector<Bytes> sent;
            for (int i = 0; i < junkRounds; ++i)
                sent.push_back(Junk(device, request, random));
            for (const auto& reply : Answer(device, request))
                sent.push_back(reply);
            for (const auto& d : sent) {
                // What a 255-byte receive would let through.
                if (d.size() > kavrel::kMaxReplySize)
                    continue;
                if (request == Request::Ti)
                    discovery.OnTiReply(d, device.ip);
                else
                    discovery.OnLantronixReply(d, device.ip);
            }
        }
    }
    return rows;
}

} // namespace

TEST(DevsimDevice, ParsesEveryKey) {
    const Device d = Parse("ip=198.18.1.7 mac=00-20-4a-0A-0b-FF name=Rack%201%e4 port=10001 protocol=lantronix "
                           "delay=250 twice junk=3 fault=short tcp=refuse");
    EXPECT_EQ(IpText(d.ip), "198.18.1.7");
    EXPECT_EQ(MacString(d.mac), "00-20-4A-0A-0B-FF");
    EXPECT_EQ(d.name, "Rack 1\xE4");
    EXPECT_EQ(d.tcpPort, 10001);
    EXPECT_EQ(d.protocol, Protocol::Lantronix);
    EXPECT_EQ(d.delayMs, 250);
    EXPECT_TRUE(d.twice);
    EXPECT_EQ(d.junk, 3);
    EXPECT_EQ(d.fault, Fault::Short);
    EXPECT_EQ(d.tcp, TcpMode::Refuse);
}

TEST(DevsimDevice, DefaultsMakeAUniqueDeviceFromItsAddress) {
    const Device d = Parse("  ip=198.18.2.9\r");
    EXPECT_EQ(MacString(d.mac), "02-00-C6-12-02-09");
    EXPECT_EQ(d.name, "device-198.18.2.9");
    EXPECT_EQ(d.tcpPort, 4001);
    EXPECT_EQ(d.protocol, Protocol::Both);
    EXPECT_EQ(d.fault, Fault::None);
    EXPECT_EQ(d.tcp, TcpMode::Echo);
}

TEST(DevsimDevice, RejectsWhatItCannotSimulate) {
    for (const char* line :
         {"", "mac=00-00-00-00-00-01", "ip=198.18.1", "ip=198.18.1.256", "ip=198.18.1.1.1",
          "ip=198.18.1.1 mac=00-00-00-00-00", "ip=198.18.1.1 mac=00-00-00-00-00-0G", "ip=198.18.1.1 port=0",
          "ip=198.18.1.1 port=70000", "ip=198.18.1.1 protocol=udp", "ip=198.18.1.1 fault=loud",
          "ip=198.18.1.1 name=bad%2", "ip=198.18.1.1 colour=red", "ip=198.18.1.1 delay=-1", "ip=198.18.1.1 tcp=sink"}) {
        std::string error;
        EXPECT_FALSE(ParseDevice(line, error).has_value()) << line;
        EXPECT_FALSE(error.empty()) << line;
    }
}

TEST(DevsimRequests, AnswersTheProgramsFormAndTheDocumentedAllZeroForm) {
    const Bytes ti = {0xFF, 0x04, 0x02, 0xFB};
    EXPECT_EQ(ClassifyRequest(true, ti), Request::Ti);
    EXPECT_EQ(ClassifyRequest(true, Bytes{0x00, 0x01, 0x00, 0xF6}), std::nullopt);
    EXPECT_EQ(ClassifyRequest(false, ti), std::nullopt);
    EXPECT_EQ(ClassifyRequest(false, Bytes{0x00, 0x01, 0x00, 0xF6}), Request::F6);
    EXPECT_EQ(ClassifyRequest(false, Bytes{0x00, 0x00, 0x00, 0xF6}), Request::F6);
    EXPECT_EQ(ClassifyRequest(false, Bytes{0x00, 0x01, 0x00, 0xF8}), Request::F8);
    EXPECT_EQ(ClassifyRequest(false, Bytes{0x00, 0x00, 0x00, 0xF8}), Request::F8);
    // Replies and near misses are not requests, so devices never answer one another.
    EXPECT_EQ(ClassifyRequest(false, Bytes{0x00, 0x00, 0x00, 0xF7}), std::nullopt);
    EXPECT_EQ(ClassifyRequest(false, Bytes{0x00, 0x02, 0x00, 0xF6}), std::nullopt);
    EXPECT_EQ(ClassifyRequest(false, Bytes{0x00, 0x00, 0x00, 0xF6, 0x00}), std::nullopt);
    EXPECT_EQ(ClassifyRequest(true, Bytes{0xFE, 0x04, 0x02, 0xFB}), std::nullopt);
}

TEST(DevsimReplies, GoodRepliesGiveTheDevicesRowThroughTheProgramsRules) {
    const auto rows = Discover({Parse("ip=198.18.1.1 mac=00-20-4A-00-00-01 name=Ti%20A port=4001 protocol=ti"),
                                Parse("ip=198.18.1.2 mac=00-20-4A-00-00-02 port=10001 protocol=lantronix"),
                                Parse("ip=198.18.1.3 mac=00-20-4A-00-00-03 name=B port=65535 protocol=both")});
    ASSERT_EQ(rows.RowCount(), 3);
    EXPECT_EQ(rows.CellText(0, kavrel::kColumnMacAddress), L"00-20-4A-00-00-01");
    EXPECT_EQ(rows.CellText(0, kavrel::kColumnName), L"Ti A");
    EXPECT_EQ(rows.CellText(0, kavrel::kColumnTcpPort), L"4001");
    EXPECT_EQ(rows.CellText(1, kavrel::kColumnMacAddress), L"00-20-4A-00-00-03");
    EXPECT_EQ(rows.CellText(1, kavrel::kColumnTcpPort), L"65535");
    EXPECT_EQ(rows.CellText(1, kavrel::kColumnName), L"B");
    EXPECT_EQ(rows.CellText(2, kavrel::kColumnMacAddress), L"00-20-4A-00-00-02");
    EXPECT_EQ(rows.CellText(2, kavrel::kColumnIpAddress), L"198.18.1.2");
    EXPECT_EQ(rows.CellText(2, kavrel::kColumnTcpPort), L"10001");
    EXPECT_EQ(rows.CellText(2, kavrel::kColumnName), L"Lantronix XPort");
}

TEST(DevsimReplies, SpoiledRepliesGiveNoRow) {
    for (const char* fault :
         {"silent", "bad-checksum", "wrong-tag", "wrong-type", "wrong-command", "short", "oversized"}) {
        const auto ti = Discover({Parse(std::string("ip=198.18.1.1 protocol=ti fault=") + fault)});
        EXPECT_EQ(ti.RowCount(), 0) << fault;
    }
    for (const char* fault : {"silent", "wrong-tag", "wrong-type", "short", "oversized"}) {
        const auto both = Discover({Parse(std::string("ip=198.18.1.1 protocol=both fault=") + fault)});
        EXPECT_EQ(both.RowCount(), 0) << fault;
    }
    // Lantronix replies have no checksum or command to spoil.
    EXPECT_EQ(Discover({Parse("ip=198.18.1.1 protocol=lantronix fault=bad-checksum")}).RowCount(), 1);
}

TEST(DevsimReplies, SpoiledSizesAreOneByteShortOrOverTheBuffer) {
    const Device shortDevice = Parse("ip=198.18.1.1 fault=short");
    EXPECT_EQ(Answer(shortDevice, Request::Ti).at(0).size(), kavrel::kTiReplyMinSize - 1);
    EXPECT_EQ(Answer(shortDevice, Request::F6).at(0).size(), kavrel::kF7ReplyMinSize - 1);
    EXPECT_EQ(Answer(shortDevice, Request::F8).at(0).size(), kavrel::kF9ReplyMinSize - 1);
    const Device big = Parse("ip=198.18.1.1 fault=oversized");
    for (Request r : {Request::Ti, Request::F6, Request::F8})
        EXPECT_GT(Answer(big, r).at(0).size(), kavrel::kMaxReplySize);
}

TEST(DevsimReplies, OddNamesStillGiveARow) {
    const auto rows = Discover({Parse("ip=198.18.1.1 mac=00-00-00-00-00-01 name=ab protocol=ti fault=no-zero"),
                                Parse("ip=198.18.1.2 mac=00-00-00-00-00-02 name=n protocol=ti fault=non-ascii")});
    ASSERT_EQ(rows.RowCount(), 2);
    std::wstring expected;
    while (expected.size() < 63)
        expected += L"ab";
    expected.resize(63);
    EXPECT_EQ(rows.CellText(0, kavrel::kColumnName), expected);
    EXPECT_EQ(rows.CellText(1, kavrel::kColumnName), L"Ger\u00E4t \u00DC n");
}

TEST(DevsimReplies, JunkNeverPassesForAReplyNorSpoilsTheGoodOnes) {
    const Device silent = Parse("ip=198.18.1.1 protocol=both fault=silent");
    std::mt19937 random(11);
    FakeDeviceRows rows;
    kavrel::DeviceDiscovery discovery(rows, {}, kavrel::testing::Latin1Decode);
    for (int i = 0; i < 2000; ++i) {
        discovery.OnTiReply(Junk(silent, Request::Ti, random), silent.ip);
        discovery.OnLantronixReply(Junk(silent, Request::F6, random), silent.ip);
        discovery.OnLantronixReply(Junk(silent, Request::F8, random), silent.ip);
    }
    EXPECT_EQ(rows.RowCount(), 0);

    const auto noisy = Discover({Parse("ip=198.18.1.1 mac=00-00-00-00-00-07 name=n port=5 protocol=lantronix")}, 50);
    ASSERT_EQ(noisy.RowCount(), 1);
    EXPECT_EQ(noisy.CellText(0, kavrel::kColumnMacAddress), L"00-00-00-00-00-07");
    EXPECT_EQ(noisy.CellText(0, kavrel::kColumnTcpPort), L"5");
}
