// Records [op][sender][length][bytes] through DeviceDiscovery over an in-memory device list. op bits 0-1: 0 TI
// reply, 1 Lantronix reply, else tick or untick row `sender`; bit 7 fixes a TI record's checksum.

#include "discovery/device_discovery.h"
#include "tests/unit/discovery/reply_bytes.h"
#include "tests/unit/fakes/fake_device_rows.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <set>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto fail = [](const char* what) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    };
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
            fail("a step removed a row or added more than one");
        std::set<std::wstring> macs;
        for (int row = 0; row < rows.RowCount(); ++row) {
            const auto& r = rows[row];
            const auto i = static_cast<std::size_t>(row);
            if (!macs.insert(r.cells[kavrel::kColumnMacAddress]).second)
                fail("two rows for one MAC");
            if (i < frozen.size() && frozen[i] &&
                (frozen[i]->cells != r.cells || frozen[i]->writes != r.writes || !r.checked))
                fail("a ticked row was changed by a reply");
            if (r.cells[kavrel::kColumnComPort] != (i < freePorts.size() ? freePorts[i] : std::wstring()))
                fail("COM Port not the free port list's entry at the row's index");
        }
    }
    return 0;
}
