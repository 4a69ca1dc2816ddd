#include "discovery/device_discovery.h"

#include "fake_device_rows.h"
#include "reply_bytes.h"

#include <gtest/gtest.h>

using namespace kavrel;
using namespace kavrel::testing;
using kavrel::test::FakeDeviceRows;

namespace {

const std::vector<std::uint8_t> kMacA = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
const std::vector<std::uint8_t> kMacB = {0x00, 0x20, 0x4A, 0x01, 0x02, 0x03};
constexpr Ipv4Octets kIpA = {198, 18, 1, 1};
constexpr Ipv4Octets kIpB = {198, 18, 1, 2};

std::vector<std::wstring> Ports(int count) {
    std::vector<std::wstring> names;
    for (int n = 1; n <= count; ++n)
        names.push_back(L"COM" + std::to_wstring(n + 2));
    return names;
}

class DeviceDiscoveryTest : public ::testing::Test {
protected:
    void Ti(const Bytes& d, const Ipv4Octets& from = kIpA) { discovery.OnTiReply(d, from); }
    void Lantronix(const Bytes& d, const Ipv4Octets& from = kIpA) { discovery.OnLantronixReply(d, from); }
    std::wstring Cell(int row, int column) const { return rows.CellText(row, column); }
    std::vector<std::wstring> Row(int row) const {
        std::vector<std::wstring> cells;
        for (int column = 0; column < kDeviceColumnCount; ++column)
            cells.push_back(Cell(row, column));
        return cells;
    }

    FakeDeviceRows rows;
    DeviceDiscovery discovery{rows, Ports(4), Latin1Decode};
};

} // namespace

TEST(ReplyTexts, MacTextIsUpperCaseHexPairsJoinedByHyphens) {
    EXPECT_EQ(MacText({0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}), L"00-1A-2B-3C-4D-5E");
    EXPECT_EQ(MacText({0xFF, 0xFE, 0x0A, 0xB0, 0x00, 0x01}), L"FF-FE-0A-B0-00-01");
    EXPECT_EQ(Ipv4Text({198, 18, 255, 0}), L"198.18.255.0");
}

TEST(ReplyFields, TiPortIsSignedLittleEndianAndF9PortUnsigned) {
    auto ti = TiReplyBytes(kMacA, 0, "");
    ti[15] = 0x01;
    ti[16] = 0x02;
    FixTiChecksum(ti, 83);
    EXPECT_EQ(ParseTiReply(ti)->tcpPort, 513);
    EXPECT_EQ(ParseTiReply(TiReplyBytes(kMacA, -2, ""))->tcpPort, -2);
    EXPECT_EQ(ParseLantronixReply(F9Bytes(0x0201))->tcpPort, 513);
    EXPECT_EQ(ParseLantronixReply(F9Bytes(0xFFFF))->tcpPort, 65535);
}

TEST_F(DeviceDiscoveryTest, TiReplyAddsOneRowAndLaterRepliesRewriteIt) {
    Ti(TiReplyBytes(kMacA, 4001, "Lab rack"));
    ASSERT_EQ(rows.RowCount(), 1);
    EXPECT_EQ(Row(0), (std::vector<std::wstring>{L"", L"COM3", L"198.18.1.1", L"4001", L"00-1A-2B-3C-4D-5E",
                                                 L"Lab rack", L"Disable"}));
    EXPECT_FALSE(rows.IsChecked(0));
    EXPECT_EQ(rows.ItemData(0), 0);

    const int writes = rows.Writes();
    Ti(TiReplyBytes(kMacA, 4001, "Lab rack"));
    EXPECT_EQ(rows.Writes(), writes + 3); // IP Address, TCP Port and Name again
    Ti(TiReplyBytes(kMacA, 4002, "renamed"), kIpB);
    ASSERT_EQ(rows.RowCount(), 1);
    EXPECT_EQ(Cell(0, kColumnIpAddress), L"198.18.1.2");
    EXPECT_EQ(Cell(0, kColumnTcpPort), L"4002");
    EXPECT_EQ(Cell(0, kColumnName), L"renamed");
    EXPECT_EQ(Cell(0, kColumnComPort), L"COM3");
}

TEST_F(DeviceDiscoveryTest, TiRepliesFailingAnyCheckAreIgnored) {
    const Bytes good = TiReplyBytes(kMacA, 4001, "x");
    std::vector<Bytes> bad;
    auto altered = good;
    altered[40] ^= 0x01; // sum no longer 0
    bad.push_back(altered);
    for (std::size_t at : {0u, 2u, 3u}) { // tag, command, type, with a correct checksum
        auto wrong = good;
        wrong[at] ^= 0x04;
        FixTiChecksum(wrong, 83);
        bad.push_back(wrong);
    }
    auto shortLength = good;
    shortLength[1] = 3; // FE 03 02 sum to 3; a length below 4 is refused before the sum
    bad.push_back(shortLength);
    bad.push_back(Bytes{0xFF, 0x04, 0x02, 0xFB}); // our own request, echoed
    // 82 bytes with a length byte and checksum that agree: still one byte short of the name field.
    auto d = TiReplyBytes(kMacA, 4001, "");
    d.resize(82);
    d[1] = 82;
    FixTiChecksum(d, 81);
    bad.push_back(d);
    auto big = good; // longer than the receive buffer: truncated, so dropped
    big.resize(256, 0);
    bad.push_back(big);
    for (const auto& datagram : bad)
        Ti(datagram);
    EXPECT_EQ(rows.RowCount(), 0);

    d.push_back(0); // 83 bytes hold every field read
    d[1] = 83;
    FixTiChecksum(d, 82);
    Ti(d);
    EXPECT_EQ(rows.RowCount(), 1);
    auto longer = TiReplyBytes(kMacB, 4001, "z");
    longer[1] = 200; // a length beyond the datagram counts the missing bytes as zero
    FixTiChecksum(longer, 83);
    longer.resize(255);
    Ti(longer);
    EXPECT_EQ(rows.RowCount(), 2);
}

TEST_F(DeviceDiscoveryTest, TiNameIsAtMost63BytesDecodedByTheCaller) {
    Ti(TiReplyBytes(kMacA, 1, std::string(64, 'N')));
    Ti(TiReplyBytes(kMacB, 1, "Ger\xE4t \xC9"), kIpB);
    ASSERT_EQ(rows.RowCount(), 2);
    EXPECT_EQ(Cell(0, kColumnName), std::wstring(63, L'N'));
    EXPECT_EQ(Cell(1, kColumnName), L"Ger\u00E4t \u00C9");
    FakeDeviceRows own;
    DeviceDiscovery upper(own, Ports(1), [](std::string_view s) { return L"<" + Latin1Decode(s) + L">"; });
    upper.OnTiReply(TiReplyBytes(kMacA, 1, "ab"), kIpA);
    EXPECT_EQ(own.CellText(0, kColumnName), L"<ab>");
}

// F7 and F9 are joined per sender, in either order, and only then.
TEST_F(DeviceDiscoveryTest, LantronixRowNeedsBothRepliesOfOneSender) {
    Lantronix(F9Bytes(1111), kIpA);
    Lantronix(F7Bytes(kMacB), kIpB);
    Lantronix(F7Bytes(kMacA), kIpA);
    ASSERT_EQ(rows.RowCount(), 1);
    Lantronix(F9Bytes(2222), kIpB);
    ASSERT_EQ(rows.RowCount(), 2);
    EXPECT_EQ(Row(0), (std::vector<std::wstring>{L"", L"COM3", L"198.18.1.1", L"1111", L"00-1A-2B-3C-4D-5E",
                                                 L"Lantronix XPort", L"Disable"}));
    EXPECT_EQ(Row(1), (std::vector<std::wstring>{L"", L"COM4", L"198.18.1.2", L"2222", L"00-20-4A-01-02-03",
                                                 L"Lantronix XPort", L"Disable"}));

    // Later replies refresh address and port only.
    rows.SetCellText(0, kColumnName, L"kept");
    Lantronix(F9Bytes(3333), kIpA);
    EXPECT_EQ(Cell(0, kColumnTcpPort), L"3333");
    EXPECT_EQ(Cell(0, kColumnName), L"kept");
    // An F7 and an F9 from different senders are not joined.
    Lantronix(F7Bytes({1, 2, 3, 4, 5, 6}), {198, 18, 1, 3});
    Lantronix(F9Bytes(1), {198, 18, 1, 4});
    EXPECT_EQ(rows.RowCount(), 2);
}

// A flood of replies from spoofed senders must not grow memory without bound.
TEST_F(DeviceDiscoveryTest, HalfKnownSendersAndRowsAreCapped) {
    const auto ip = [](std::size_t n) {
        return Ipv4Octets{198, static_cast<std::uint8_t>(19 + n / 65536), static_cast<std::uint8_t>(n / 256),
                          static_cast<std::uint8_t>(n)};
    };
    const std::size_t cap = DeviceDiscovery::kMaxLantronixSenders;
    for (std::size_t n = 0; n <= cap; ++n)
        Lantronix(F7Bytes(kMacA), ip(n));
    Lantronix(F9Bytes(1111), ip(0)); // the oldest was forgotten for the newest
    EXPECT_EQ(rows.RowCount(), 0);
    Lantronix(F9Bytes(1111), ip(cap));
    EXPECT_EQ(rows.RowCount(), 1);

    Lantronix(F7Bytes(kMacB), kIpB);
    discovery.OnSearch(); // a search forgets what senders told before it
    Lantronix(F9Bytes(2222), kIpB);
    EXPECT_EQ(rows.RowCount(), 1);

    for (int n = 0; n <= DeviceDiscovery::kMaxRows; ++n)
        Ti(TiReplyBytes({0x00, 0x20, 0x4A, 0x00, static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n)}, 4001,
                        "device"),
           ip(static_cast<std::size_t>(n)));
    EXPECT_EQ(rows.RowCount(), DeviceDiscovery::kMaxRows);
}

TEST_F(DeviceDiscoveryTest, LantronixDatagramsFailingTheirChecksAreIgnored) {
    auto f7 = F7Bytes(kMacA);
    f7[1] = 0x01; // header not three zeros
    Lantronix(f7);
    auto f9Short = F9Bytes(1);
    f9Short.resize(25);
    Lantronix(f9Short);
    auto f7Short = F7Bytes(kMacB);
    f7Short.resize(29);
    Lantronix(f7Short, kIpB);
    auto f7Long = F7Bytes(kMacB);
    f7Long.resize(256, 0);
    Lantronix(f7Long, kIpB);
    auto other = F7Bytes(kMacB);
    other[3] = 0xF8;
    Lantronix(other, kIpB);
    Lantronix(Bytes{0x00, 0x01, 0x00, 0xF6});
    Lantronix(Bytes{0x00, 0x01, 0x00, 0xF8});
    Lantronix(Bytes{0x00, 0x00, 0x00});
    Lantronix(Bytes{});
    // None of the above may have left a half-known sender behind: a good F9 alone still adds nothing.
    Lantronix(F9Bytes(1));
    Lantronix(F9Bytes(1), kIpB);
    EXPECT_EQ(rows.RowCount(), 0);
}

TEST_F(DeviceDiscoveryTest, DeviceAnsweringBothProtocolsHasOneRow) {
    Ti(TiReplyBytes(kMacA, 4001, "both"));
    Lantronix(F7Bytes(kMacA));
    Lantronix(F9Bytes(4001));
    ASSERT_EQ(rows.RowCount(), 1);
    EXPECT_EQ(Cell(0, kColumnName), L"both"); // Lantronix replies never touch the Name
    Lantronix(F9Bytes(5000), kIpA);
    EXPECT_EQ(Cell(0, kColumnTcpPort), L"5000");
    Ti(TiReplyBytes(kMacA, 4001, "both"));
    EXPECT_EQ(Cell(0, kColumnTcpPort), L"4001"); // whichever came last
    ASSERT_EQ(rows.RowCount(), 1);

    // Lantronix first: the Lantronix name until a TI reply names it.
    FakeDeviceRows other;
    DeviceDiscovery d(other, Ports(1), Latin1Decode);
    d.OnLantronixReply(F7Bytes(kMacB), kIpB);
    d.OnLantronixReply(F9Bytes(4001), kIpB);
    EXPECT_EQ(other.CellText(0, kColumnName), L"Lantronix XPort");
    d.OnTiReply(TiReplyBytes(kMacB, 4001, "ti name"), kIpB);
    ASSERT_EQ(other.RowCount(), 1);
    EXPECT_EQ(other.CellText(0, kColumnName), L"ti name");
}

TEST_F(DeviceDiscoveryTest, TickedRowIsNeverChanged) {
    Ti(TiReplyBytes(kMacA, 4001, "a"));
    Lantronix(F7Bytes(kMacA));
    Lantronix(F9Bytes(4001));
    rows.SetChecked(0, true);
    rows.SetItemData(0, 7);
    const int writes = rows.Writes();
    Ti(TiReplyBytes(kMacA, 9, "moved"), kIpB);
    Lantronix(F7Bytes(kMacA), kIpB);
    Lantronix(F9Bytes(9), kIpB);
    Lantronix(F9Bytes(9), kIpA);
    EXPECT_EQ(rows.RowCount(), 1);
    EXPECT_EQ(rows.Writes(), writes);
    EXPECT_TRUE(rows.IsChecked(0));
    EXPECT_EQ(rows.ItemData(0), 7);
    EXPECT_EQ(Cell(0, kColumnIpAddress), L"198.18.1.1");

    rows.SetChecked(0, false); // unticked again: refreshed as before
    Ti(TiReplyBytes(kMacA, 9, "moved"), kIpB);
    EXPECT_EQ(Cell(0, kColumnIpAddress), L"198.18.1.2");
    EXPECT_EQ(Cell(0, kColumnName), L"moved");
}

TEST_F(DeviceDiscoveryTest, MoreDevicesThanFreeNamesAreListedWithoutComPort) {
    for (std::uint8_t i = 0; i < 6; ++i) {
        Ti(TiReplyBytes({2, 0, 0, 0, 0, i}, 4000 + i, "d"), {198, 18, 1, static_cast<std::uint8_t>(i + 1)});
        if (i == 0) // a new row proposes the free name at its index, whatever the user chose
            rows.SetCellText(0, kColumnComPort, L"COM4");
    }
    EXPECT_EQ(Cell(1, kColumnComPort), L"COM4");
    ASSERT_EQ(rows.RowCount(), 6);
    EXPECT_EQ(Cell(3, kColumnComPort), L"COM6");
    for (int row : {4, 5})
        EXPECT_EQ(Row(row), (std::vector<std::wstring>{L"", L"", L"198.18.1." + std::to_wstring(row + 1),
                                                       std::to_wstring(4000 + row),
                                                       L"02-00-00-00-00-0" + std::to_wstring(row), L"d", L"Disable"}));

    FakeDeviceRows none;
    DeviceDiscovery noPorts(none, {}, Latin1Decode);
    noPorts.OnLantronixReply(F7Bytes(kMacA), kIpA);
    noPorts.OnLantronixReply(F9Bytes(1), kIpA);
    ASSERT_EQ(none.RowCount(), 1);
    EXPECT_EQ(none.CellText(0, kColumnComPort), L"");
}

TEST(FindRowByMac, FirstExactCaseSensitiveMatchOrTheRowCount) {
    FakeDeviceRows rows;
    for (const wchar_t* mac : {L"00-1A-2B-3C-4D-5E", L"00-1a-2b-3c-4d-5e", L"00-1A-2B-3C-4D-5E"}) {
        const int row = rows.AppendRow();
        rows.SetCellText(row, kColumnMacAddress, mac);
    }
    EXPECT_EQ(DeviceDiscovery::FindRowByMac(rows, L"00-1A-2B-3C-4D-5E"), 0);
    EXPECT_EQ(DeviceDiscovery::FindRowByMac(rows, L"00-1a-2b-3c-4d-5e"), 1);
    EXPECT_EQ(DeviceDiscovery::FindRowByMac(rows, L"00-1A-2B-3C-4D"), 3);
    EXPECT_EQ(DeviceDiscovery::FindRowByMac(FakeDeviceRows{}, L""), 0);
}

TEST_F(DeviceDiscoveryTest, RowsListedByOthersOrChangedBehindItsBackAreStillFound) {
    // Rows that were there before, and one appended later by someone else.
    for (const wchar_t* mac : {L"00-00-00-00-00-01", L"00-1A-2B-3C-4D-5E"}) {
        const int row = rows.AppendRow();
        rows.SetCellText(row, kColumnMacAddress, mac);
    }
    Ti(TiReplyBytes(kMacA, 1, "a"));
    EXPECT_EQ(rows.RowCount(), 2);
    EXPECT_EQ(Cell(1, kColumnName), L"a");
    const int later = rows.AppendRow();
    rows.SetCellText(later, kColumnMacAddress, L"00-20-4A-01-02-03");
    Ti(TiReplyBytes(kMacB, 1, "b"));
    EXPECT_EQ(rows.RowCount(), 3);
    EXPECT_EQ(Cell(2, kColumnName), L"b");

    // A MAC cell rewritten without adding a row: the reply goes where the text now is.
    rows.SetCellText(1, kColumnMacAddress, L"changed");
    rows.SetCellText(0, kColumnMacAddress, L"00-1A-2B-3C-4D-5E");
    Ti(TiReplyBytes(kMacA, 1, "moved"));
    EXPECT_EQ(rows.RowCount(), 3);
    EXPECT_EQ(Cell(0, kColumnName), L"moved");
}
