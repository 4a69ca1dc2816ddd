// How fast the reply rules run against a full device list: replies applied per second when 1000 rows
// are listed, against a list of one row, and against finding each row by reading the MAC cells in turn.
//
//   build/bench/bin/bench_discovery_rules [rows]

#include "discovery/device_discovery.h"
#include "fake_device_rows.h"
#include "reply_bytes.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using kavrel::testing::Bytes;

struct Device {
    Bytes ti, f7, f9;
    kavrel::Ipv4Octets ip;
};

std::vector<Device> Devices(int count) {
    std::vector<Device> devices;
    for (int i = 0; i < count; ++i) {
        const auto hi = static_cast<std::uint8_t>(i >> 8), lo = static_cast<std::uint8_t>(i & 0xFF);
        const std::vector<std::uint8_t> mac = {0x02, 0x4B, 0x56, 0x00, hi, lo};
        devices.push_back({kavrel::testing::TiReplyBytes(mac, 4001 + i, "device"),
                           kavrel::testing::F7Bytes(mac),
                           kavrel::testing::F9Bytes(static_cast<std::uint16_t>(4001 + i)),
                           {198, 18, static_cast<std::uint8_t>(1 + hi), lo}});
    }
    return devices;
}

// Replies per second over `rounds` passes of every device's three replies, once all are listed.
double RepliesPerSecond(const std::vector<Device>& devices, int rounds) {
    kavrel::test::FakeDeviceRows rows;
    kavrel::DeviceDiscovery discovery(rows, {}, kavrel::testing::Latin1Decode);
    auto pass = [&] {
        for (const auto& d : devices) {
            discovery.OnTiReply(d.ti, d.ip);
            discovery.OnLantronixReply(d.f7, d.ip);
            discovery.OnLantronixReply(d.f9, d.ip);
        }
    };
    pass(); // lists them
    if (rows.RowCount() != static_cast<int>(devices.size())) {
        std::fprintf(stderr, "bench: %d rows for %zu devices\n", rows.RowCount(), devices.size());
        std::exit(1);
    }
    const auto start = Clock::now();
    for (int r = 0; r < rounds; ++r)
        pass();
    const std::chrono::duration<double> elapsed = Clock::now() - start;
    return 3.0 * static_cast<double>(devices.size()) * rounds / elapsed.count();
}

} // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 1000;
    const auto many = Devices(count);
    const auto one = Devices(1);
    const double full = RepliesPerSecond(many, 5);
    const double single = RepliesPerSecond(one, 5 * count);
    std::printf("replies applied per second with %d rows: %.0f\n", count, full);
    std::printf("replies applied per second with 1 row: %.0f\n", single);
    std::printf("ratio 1 row / %d rows: %.1f\n", count, single / full);

    // What every reply would cost if it scanned the MAC cells (FindRowByMac) instead of the index.
    kavrel::test::FakeDeviceRows rows;
    kavrel::DeviceDiscovery discovery(rows, {}, kavrel::testing::Latin1Decode);
    for (const auto& d : many)
        discovery.OnTiReply(d.ti, d.ip);
    const auto start = Clock::now();
    long found = 0;
    for (int i = 0; i < count; ++i)
        found += kavrel::DeviceDiscovery::FindRowByMac(rows, rows.CellText(i, kavrel::kColumnMacAddress));
    const std::chrono::duration<double> elapsed = Clock::now() - start;
    const double scans = count / elapsed.count();
    std::printf("lookups per second by scanning %d rows: %.0f; indexed replies / scans: %.1f (checksum %ld)\n", count,
                scans, full / scans, found);
    std::printf("a search of %d devices (3 replies each) takes the rules about %.0f ms\n", count,
                3000.0 * count / full);
    return 0;
}
