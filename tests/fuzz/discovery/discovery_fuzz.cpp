// Feeds a stream of TI and Lantronix datagrams, interleaved with ticks and unticks, through DeviceDiscovery
// over an in-memory device list, and checks the rules that the rest of the program relies on after each step.
//
// Input: records of [op][sender][length][length bytes]. op bits 0-1: 0 TI reply, 1 Lantronix reply, 2 tick or
// untick row `sender`; bit 7 on a TI record fixes up its checksum so the fuzzer reaches the row rules often.

#include "discovery/device_discovery.h"
#include "tests/unit/discovery/reply_bytes.h"
#include "tests/unit/fakes/fake_device_rows.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cwctype>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace {

using kavrel::DeviceDiscovery;
using kavrel::test::FakeDeviceRows;

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

bool IsMacText(const std::wstring& text) {
    if (text.size() != 17)
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (i % 3 == 2 ? c != L'-' : !(std::iswdigit(c) || (c >= L'A' && c <= L'F')))
            return false;
    }
    return true;
}

void FixTiChecksum(std::vector<std::uint8_t>& d) {
    if (d.size() < 2 || d[1] == 0)
        return;
    const std::size_t covered = std::min<std::size_t>(d[1], d.size());
    unsigned sum = 0;
    for (std::size_t i = 0; i + 1 < covered; ++i)
        sum += d[i];
    d[covered - 1] = static_cast<std::uint8_t>((256 - sum % 256) % 256);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FakeDeviceRows rows;
    const std::vector<std::wstring> freePorts{L"COM3", L"COM4", L"COM5"};
    DeviceDiscovery discovery(rows, freePorts, kavrel::testing::Latin1Decode);
    std::vector<std::optional<FakeDeviceRows::Row>> frozen; // the cells of each ticked row at its tick

    // Enough steps for any interleaving worth finding; more only slow every run down.
    constexpr int kMaxSteps = 64;
    std::size_t at = 0;
    for (int step = 0; step < kMaxSteps && at + 3 <= size; ++step) {
        const std::uint8_t op = data[at];
        const std::uint8_t who = data[at + 1];
        const std::size_t length = std::min<std::size_t>(data[at + 2], size - at - 3);
        std::vector<std::uint8_t> datagram(data + at + 3, data + at + 3 + length);
        at += 3 + length;
        const kavrel::Ipv4Octets sender{198, 18, 1, static_cast<std::uint8_t>(1 + who % 8)};
        const int before = rows.RowCount();
        switch (op & 3) {
        case 0:
            if (op & 0x80)
                FixTiChecksum(datagram);
            discovery.OnTiReply(datagram, sender);
            break;
        case 1:
            discovery.OnLantronixReply(datagram, sender);
            break;
        default:
            if (rows.RowCount() > 0) {
                const int row = who % rows.RowCount();
                const bool tick = !rows.IsChecked(row);
                rows.SetChecked(row, tick);
                frozen.resize(static_cast<std::size_t>(rows.RowCount()));
                frozen[static_cast<std::size_t>(row)] = tick ? std::optional(rows[row]) : std::nullopt;
            }
            break;
        }

        if (rows.RowCount() < before)
            Fail("a row was removed");
        if (rows.RowCount() > before + 1)
            Fail("one datagram added more than one row");
        std::set<std::wstring> macs;
        for (int row = 0; row < rows.RowCount(); ++row) {
            const auto& r = rows[row];
            if (!IsMacText(r.cells[kavrel::kColumnMacAddress]))
                Fail("a row without a well-formed MAC");
            if (!macs.insert(r.cells[kavrel::kColumnMacAddress]).second)
                Fail("two rows for one MAC");
            if (r.cells[kavrel::kColumnIpAddress].rfind(L"198.18.1.", 0) != 0)
                Fail("IP Address not the sender's");
            const auto i = static_cast<std::size_t>(row);
            if (i < frozen.size() && frozen[i]) {
                if (frozen[i]->cells != r.cells || frozen[i]->writes != r.writes || !r.checked)
                    Fail("a ticked row was changed by a reply");
            }
            const std::wstring& com = r.cells[kavrel::kColumnComPort];
            if (com != (i < freePorts.size() ? freePorts[i] : std::wstring()))
                Fail("COM Port not the free port list's entry at the row's index");
        }
    }
    return 0;
}
