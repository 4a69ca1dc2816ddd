#include "discovery/device_discovery.h"

#include "fake_device_rows.h"
#include "reply_bytes.h"

#include <gtest/gtest.h>

#include <functional>

using namespace kavrel;
using namespace kavrel::testing;
using kavrel::test::FakeDeviceRows;

namespace {

const Bytes kMacA = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
const Bytes kMacB = {0x00, 0x20, 0x4A, 0x01, 0x02, 0x03};
constexpr Ipv4Octets kIpA = {198, 18, 1, 1}, kIpB = {198, 18, 1, 2};

using Step = std::function<void(DeviceDiscovery&, FakeDeviceRows&)>;
Step Ti(Bytes d, Ipv4Octets from = kIpA) {
    return [=](DeviceDiscovery& discovery, FakeDeviceRows&) { discovery.OnTiReply(d, from); };
}
Step Lx(Bytes d, Ipv4Octets from = kIpA) {
    return [=](DeviceDiscovery& discovery, FakeDeviceRows&) { discovery.OnLantronixReply(d, from); };
}
const Step kToggleRow0 = [](DeviceDiscovery&, FakeDeviceRows& rows) { rows.SetChecked(0, !rows.IsChecked(0)); };
const Step kSearch = [](DeviceDiscovery& discovery, FakeDeviceRows&) { discovery.OnSearch(); };

// d cut or padded to size with byte `at` set to value; with fixSum, a TI reply's checksum made to hold again
// through a name byte past the name's ending zero, which is never read.
Bytes Changed(Bytes d, std::size_t size, std::size_t at = 0, std::uint8_t value = 0, bool fixSum = false) {
    d.resize(size);
    d[at] = value;
    if (fixSum)
        FixTiChecksum(d, 60);
    return d;
}

// Each row as "x" when ticked, then its cells from COM Port on, joined by "|".
std::vector<std::wstring> Rows(const FakeDeviceRows& rows) {
    std::vector<std::wstring> texts;
    for (int row = 0; row < rows.RowCount(); ++row) {
        texts.push_back(rows.IsChecked(row) ? L"x" : L"");
        for (int column = kColumnComPort; column < kDeviceColumnCount; ++column)
            texts.back() += L"|" + rows.CellText(row, column);
    }
    return texts;
}

} // namespace

TEST(DeviceDiscovery, RepliesBecomeRows) {
    const Bytes ti = TiReplyBytes(kMacA, 4001, "");
    const std::wstring a = L"|COM3|198.18.1.1|4001|00-1A-2B-3C-4D-5E||Disable";
    const std::wstring b = L"||198.18.1.2|2222|00-20-4A-01-02-03|Lantronix XPort|Disable";
    const struct {
        const char* what;
        std::vector<Step> steps;
        std::vector<std::wstring> rows;
    } cases[] = {
        {"TI port is little-endian and signed, the name at most 63 bytes",
         {Ti(TiReplyBytes(kMacA, -33422588, std::string(64, 'N')))},
         {L"|COM3|198.18.1.1|-33422588|00-1A-2B-3C-4D-5E|" + std::wstring(63, L'N') + L"|Disable"}},
        {"TI of 83 bytes, its length byte saying 200", {Ti(Changed(ti, 83, 1, 200, true))}, {a}},
        {"TI of 255 bytes, summed over the 84 its length covers", {Ti(Changed(ti, 255, 200, 1, true))}, {a}},
        {"TI replies failing a check",
         {Ti(Changed(ti, 84, 60, 1)), Ti(Changed(ti, 84, 0, 0xFA, true)), Ti(Changed(ti, 84, 2, 6, true)),
          Ti(Changed(ti, 84, 3, 5, true)), Ti(Changed(ti, 84, 1, 0, true)), Ti(Changed(ti, 82, 1, 82, true)),
          Ti(Changed(ti, 256, 0, 0xFE, true))},
         {}},
        {"F7 and F9 joined per sender, in either order; F9 port little-endian and unsigned; past the free names no COM "
         "Port",
         {Lx(F9Bytes(0xFF01)), Lx(F7Bytes(kMacB), kIpB), Lx(F7Bytes(kMacA)), Lx(F9Bytes(2222), kIpB)},
         {L"|COM3|198.18.1.1|65281|00-1A-2B-3C-4D-5E|Lantronix XPort|Disable", b}},
        {"F7 and F9 of different senders, or from before a search",
         {Lx(F7Bytes(kMacA)), Lx(F9Bytes(1), kIpB), kSearch, Lx(F9Bytes(1))},
         {}},
        {"F7 header not zero", {Lx(Changed(F7Bytes(kMacA), 30, 1, 1)), Lx(F9Bytes(1))}, {}},
        {"F7 of 29 bytes", {Lx(Changed(F7Bytes(kMacA), 29)), Lx(F9Bytes(1))}, {}},
        {"F7 longer than the receive buffer", {Lx(Changed(F7Bytes(kMacA), 256)), Lx(F9Bytes(1))}, {}},
        {"F8 is no reply", {Lx(Changed(F7Bytes(kMacA), 30, 3, 0xF8)), Lx(F9Bytes(1))}, {}},
        {"F9 of 25 bytes", {Lx(F7Bytes(kMacA)), Lx(Changed(F9Bytes(1), 25))}, {}},
        {"both protocols, one row; Lantronix replies leave the Name, the TI reply sets it",
         {Ti(TiReplyBytes(kMacA, 1, "both")), Lx(F7Bytes(kMacA)), Lx(F9Bytes(4001)), Lx(F7Bytes(kMacB), kIpB),
          Lx(F9Bytes(1), kIpB), Ti(TiReplyBytes(kMacB, 2222, "ti"), kIpB)},
         {L"|COM3|198.18.1.1|4001|00-1A-2B-3C-4D-5E|both|Disable", L"||198.18.1.2|2222|00-20-4A-01-02-03|ti|Disable"}},
        {"a ticked row keeps its cells",
         {Ti(ti), kToggleRow0, Ti(TiReplyBytes(kMacA, 9, "moved"), kIpB), Lx(F7Bytes(kMacA), kIpB),
          Lx(F9Bytes(9), kIpB)},
         {L"x" + a}},
        {"unticked again, a later TI reply rewrites address, port and name, decoded by the caller",
         {Ti(ti), kToggleRow0, kToggleRow0, Ti(TiReplyBytes(kMacA, 1, "Ger\xE4t"), kIpB)},
         {L"|COM3|198.18.1.2|1|00-1A-2B-3C-4D-5E|Ger\u00E4t|Disable"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeDeviceRows rows;
        DeviceDiscovery discovery(rows, {L"COM3"}, Latin1Decode);
        for (const Step& step : c.steps)
            step(discovery, rows);
        EXPECT_EQ(Rows(rows), c.rows);
    }
}

// Replies come unasked from anyone on the LAN, so a flood of them must not grow memory without bound.
TEST(DeviceDiscovery, HalfKnownSendersAndRowsAreCapped) {
    FakeDeviceRows rows;
    DeviceDiscovery discovery(rows, {}, Latin1Decode);
    const auto byte = [](int n, int shift) { return static_cast<std::uint8_t>(n >> shift); };
    const auto ip = [&](int n) { return Ipv4Octets{198, 19, byte(n, 8), byte(n, 0)}; };
    const int cap = static_cast<int>(DeviceDiscovery::kMaxLantronixSenders);
    for (int n = 0; n <= cap; ++n)
        discovery.OnLantronixReply(F7Bytes(kMacA), ip(n));
    discovery.OnLantronixReply(F9Bytes(1), ip(0)); // the oldest was forgotten for the newest
    EXPECT_EQ(rows.RowCount(), 0);
    discovery.OnLantronixReply(F9Bytes(1), ip(cap));
    EXPECT_EQ(rows.RowCount(), 1);
    for (int n = 0; n <= DeviceDiscovery::kMaxRows; ++n)
        discovery.OnTiReply(TiReplyBytes({2, 0, 0, 0, byte(n, 8), byte(n, 0)}, 1, ""), ip(n));
    EXPECT_EQ(rows.RowCount(), DeviceDiscovery::kMaxRows);
}

TEST(TakesDiscoverySockets, AllButTheAnyAddressAndExactly127001) {
    EXPECT_FALSE(TakesDiscoverySockets({0, 0, 0, 0}));
    EXPECT_FALSE(TakesDiscoverySockets({127, 0, 0, 1}));
    EXPECT_TRUE(TakesDiscoverySockets({127, 0, 0, 2}));
    EXPECT_TRUE(TakesDiscoverySockets({1, 0, 0, 127}));
}
