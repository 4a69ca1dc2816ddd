// Datagrams of both protocols from 8 senders, with ticks and unticks between, through DeviceDiscovery over
// an in-memory device list; after every step the rows must keep the rules the rest of the program relies on.
// Input: records of [op][sender][length][bytes]. op bits 0-1: 0 TI reply, 1 Lantronix reply, else tick or
// untick row `sender`; bit 7 on a TI record fixes its checksum, so that the row rules are reached often.

#include "discovery/device_discovery.h"
#include "tests/unit/discovery/reply_bytes.h"
#include "tests/unit/fakes/fake_device_rows.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <regex>
#include <set>

namespace {

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using kavrel::kColumnComPort, kavrel::kColumnIpAddress, kavrel::kColumnMacAddress;
    static const std::wregex kMacText(L"([0-9A-F]{2}-){5}[0-9A-F]{2}");
    kavrel::test::FakeDeviceRows rows;
    const std::vector<std::wstring> freePorts{L"COM3", L"COM4", L"COM5"};
    kavrel::DeviceDiscovery discovery(rows, freePorts, kavrel::testing::Latin1Decode);
    std::vector<std::optional<kavrel::test::FakeDeviceRows::Row>> frozen; // each ticked row as it was ticked

    std::size_t at = 0;
    // 64 steps reach any interleaving worth finding; more only slow every run down.
    for (int step = 0; step < 64 && at + 3 <= size; ++step) {
        const std::uint8_t op = data[at], who = data[at + 1];
        const std::size_t length = std::min<std::size_t>(data[at + 2], size - at - 3);
        kavrel::testing::Bytes datagram(data + at + 3, data + at + 3 + length);
        at += 3 + length;
        const kavrel::Ipv4Octets sender{198, 18, 1, static_cast<std::uint8_t>(1 + who % 8)};
        const int before = rows.RowCount();
        if ((op & 3) == 0) {
            if ((op & 0x80) && datagram.size() > 1 && datagram[1] > 0)
                kavrel::testing::FixTiChecksum(datagram, std::min<std::size_t>(datagram[1], datagram.size()) - 1);
            discovery.OnTiReply(datagram, sender);
        } else if ((op & 3) == 1) {
            discovery.OnLantronixReply(datagram, sender);
        } else if (before > 0) {
            const int row = who % before;
            rows.SetChecked(row, !rows.IsChecked(row));
            frozen.resize(static_cast<std::size_t>(before));
            frozen[static_cast<std::size_t>(row)] = rows.IsChecked(row) ? std::optional(rows[row]) : std::nullopt;
        }

        if (rows.RowCount() < before || rows.RowCount() > before + 1)
            Fail("a step removed a row or added more than one");
        std::set<std::wstring> macs;
        for (int row = 0; row < rows.RowCount(); ++row) {
            const auto& r = rows[row];
            const auto i = static_cast<std::size_t>(row);
            if (!std::regex_match(r.cells[kColumnMacAddress], kMacText))
                Fail("a row without a well-formed MAC");
            if (!macs.insert(r.cells[kColumnMacAddress]).second)
                Fail("two rows for one MAC");
            if (r.cells[kColumnIpAddress].rfind(L"198.18.1.", 0) != 0)
                Fail("IP Address not the sender's");
            if (i < frozen.size() && frozen[i] && (frozen[i]->cells != r.cells || frozen[i]->writes != r.writes))
                Fail("a ticked row was changed by a reply");
            if (r.cells[kColumnComPort] != (i < freePorts.size() ? freePorts[i] : std::wstring()))
                Fail("COM Port not the free port list's entry at the row's index");
        }
    }
    return 0;
}
