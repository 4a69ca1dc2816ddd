// Discovery end to end on the simulated LAN: kavrel-devsim in the LAN namespace, discovery_lan_probe
// (the program's requests and reply rules, natively) in the host namespace.

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Row {
    std::string com, ip, port, mac, name, status;
};

struct LanRun {
    int exitCode = -1;
    std::map<std::string, Row> rowsByMac;
    std::vector<Row> rows;
    std::vector<std::string> requests; // devsim's request lines, in order
};

class LanTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0)
            GTEST_SKIP() << "needs root for network namespaces";
        if (std::system("ip netns list >/dev/null 2>&1") != 0)
            GTEST_SKIP() << "needs ip netns";
        char pattern[] = "/tmp/kavrel-lan-test.XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        m_dir = pattern;
    }
    void TearDown() override {
        if (!m_dir.empty())
            fs::remove_all(m_dir);
    }

    // devices: a devices file's text, or empty for "--devices generated".
    LanRun Run(const std::string& devices, const std::string& lanArgs, const std::string& probeArgs) {
        const fs::path devicesFile = m_dir / "devices";
        const fs::path log = m_dir / "devsim.log";
        std::string command =
            std::string(KAVREL_SOURCE_DIR) + "/tools/lan --devsim " + KAVREL_DEVSIM + " --log " + log.string();
        if (!devices.empty()) {
            std::ofstream(devicesFile) << devices;
            command += " --devices-file " + devicesFile.string();
        }
        // Last, as --devsim-args takes everything up to the "--".
        command += " " + lanArgs + " -- " + KAVREL_LAN_PROBE + " " + probeArgs;
        LanRun run;
        FILE* out = ::popen(command.c_str(), "r");
        if (!out)
            return run;
        char line[1024];
        while (std::fgets(line, sizeof line, out)) {
            std::string text(line);
            if (!text.empty() && text.back() == '\n')
                text.pop_back();
            if (text.rfind("row\t", 0) != 0)
                continue;
            std::istringstream fields(text.substr(4));
            Row row;
            std::getline(fields, row.com, '\t');
            std::getline(fields, row.ip, '\t');
            std::getline(fields, row.port, '\t');
            std::getline(fields, row.mac, '\t');
            std::getline(fields, row.name, '\t');
            std::getline(fields, row.status, '\t');
            run.rows.push_back(row);
            run.rowsByMac[row.mac] = row;
        }
        const int status = ::pclose(out);
        run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::ifstream logFile(log);
        for (std::string text; std::getline(logFile, text);)
            if (text.rfind("request ", 0) == 0)
                run.requests.push_back(text);
        return run;
    }

    fs::path m_dir;
};

std::vector<std::string> SearchLog(const std::vector<std::string>& hosts) {
    std::vector<std::string> lines;
    for (const auto& host : hosts)
        lines.push_back("request ti ff0402fb from " + host + ":23 to 255.255.255.255:23");
    for (const auto& host : hosts) {
        lines.push_back("request lantronix 000100f6 from " + host + ":30718 to 255.255.255.255:30718");
        lines.push_back("request lantronix 000100f8 from " + host + ":30718 to 255.255.255.255:30718");
    }
    return lines;
}

const char kThreeDevices[] = "ip=198.18.1.1 mac=00-20-4A-00-00-01 name=ti%20one port=4001 protocol=ti\n"
                             "ip=198.18.1.2 mac=00-20-4A-00-00-02 name=unused port=10001 protocol=lantronix\n"
                             "ip=198.18.1.3 mac=00-20-4A-00-00-03 name=both-three port=4003 protocol=both\n";

void ExpectThreeDevices(const LanRun& run) {
    ASSERT_EQ(run.rows.size(), 3u);
    ASSERT_EQ(run.rowsByMac.size(), 3u);
    const Row& ti = run.rowsByMac.at("00-20-4A-00-00-01");
    EXPECT_EQ(ti.ip, "198.18.1.1");
    EXPECT_EQ(ti.port, "4001");
    EXPECT_EQ(ti.name, "ti one");
    const Row& lantronix = run.rowsByMac.at("00-20-4A-00-00-02");
    EXPECT_EQ(lantronix.ip, "198.18.1.2");
    EXPECT_EQ(lantronix.port, "10001");
    EXPECT_EQ(lantronix.name, "Lantronix XPort");
    const Row& both = run.rowsByMac.at("00-20-4A-00-00-03");
    EXPECT_EQ(both.ip, "198.18.1.3");
    EXPECT_EQ(both.port, "4003");
    EXPECT_EQ(both.name, "both-three");
    std::set<std::string> coms;
    for (const Row& row : run.rows) {
        EXPECT_EQ(row.status, "Disable");
        coms.insert(row.com);
    }
    EXPECT_EQ(coms, (std::set<std::string>{"COM1", "COM2", "COM3"}));
}

} // namespace

TEST_F(LanTest, EachProtocolGivesExactlyOneRowAndASecondSearchNoDuplicate) {
    const LanRun run = Run(kThreeDevices, "--host-addresses 1", "--searches 2 --expect-rows 3");
    ASSERT_EQ(run.exitCode, 0);
    ExpectThreeDevices(run);
    auto expected = SearchLog({"198.18.0.1"});
    const auto again = expected;
    expected.insert(expected.end(), again.begin(), again.end());
    EXPECT_EQ(run.requests, expected);
}

TEST_F(LanTest, TwoHostAddressesSendEveryRequestFromBoth) {
    const LanRun run = Run(kThreeDevices, "--host-addresses 2", "--expect-rows 3");
    ASSERT_EQ(run.exitCode, 0);
    ExpectThreeDevices(run);
    EXPECT_EQ(run.requests, SearchLog({"198.18.0.1", "198.18.0.2"}));
}

TEST_F(LanTest, MalformedRepliesAddNothingWhileGoodDevicesAppear) {
    const std::string devices = std::string(kThreeDevices) +
                                // Good but awkward: late, twice, with junk around every reply.
                                "ip=198.18.1.4 mac=00-20-4A-00-00-04 name=noisy protocol=both delay=150 twice junk=8\n"
                                "ip=198.18.1.5 mac=00-20-4A-00-00-05 name=long protocol=ti fault=no-zero\n"
                                "ip=198.18.1.6 mac=00-20-4A-00-00-06 name=x protocol=ti fault=non-ascii\n"
                                // Nothing of these may show.
                                "ip=198.18.1.10 mac=00-20-4A-00-00-10 protocol=ti fault=bad-checksum\n"
                                "ip=198.18.1.11 mac=00-20-4A-00-00-11 protocol=both fault=wrong-tag\n"
                                "ip=198.18.1.12 mac=00-20-4A-00-00-12 protocol=both fault=wrong-type\n"
                                "ip=198.18.1.13 mac=00-20-4A-00-00-13 protocol=ti fault=wrong-command\n"
                                "ip=198.18.1.14 mac=00-20-4A-00-00-14 protocol=both fault=short\n"
                                "ip=198.18.1.15 mac=00-20-4A-00-00-15 protocol=both fault=oversized\n"
                                "ip=198.18.1.16 mac=00-20-4A-00-00-16 protocol=both fault=silent\n"
                                "ip=198.18.1.17 mac=00-20-4A-00-00-17 protocol=lantronix junk=20\n";
    const LanRun run = Run(devices, "--host-addresses 1 --devsim-args --seed 7", "--expect-rows 7 --settle-ms 500");
    ASSERT_EQ(run.exitCode, 0);
    std::set<std::string> macs;
    for (const auto& [mac, row] : run.rowsByMac)
        macs.insert(mac);
    EXPECT_EQ(macs,
              (std::set<std::string>{"00-20-4A-00-00-01", "00-20-4A-00-00-02", "00-20-4A-00-00-03", "00-20-4A-00-00-04",
                                     "00-20-4A-00-00-05", "00-20-4A-00-00-06", "00-20-4A-00-00-17"}));
    EXPECT_EQ(run.rows.size(), 7u);
    if (run.rowsByMac.size() == 7u) {
        EXPECT_EQ(run.rowsByMac.at("00-20-4A-00-00-04").name, "noisy");
        EXPECT_EQ(run.rowsByMac.at("00-20-4A-00-00-04").ip, "198.18.1.4");
        std::string longName; // 64 name bytes without a zero: the first 63 are shown
        while (longName.size() < 64)
            longName += "long";
        longName.resize(63);
        EXPECT_EQ(run.rowsByMac.at("00-20-4A-00-00-05").name, longName);
        EXPECT_EQ(run.rowsByMac.at("00-20-4A-00-00-06").name, "Ger\u00e4t \u00dc x");
        EXPECT_EQ(run.rowsByMac.at("00-20-4A-00-00-17").name, "Lantronix XPort");
    }
}

TEST_F(LanTest, ThousandDevicesAreAllListed) {
    const LanRun run = Run("", "--host-addresses 1 --devices 1000", "--expect-rows 1000 --settle-ms 500");
    ASSERT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.rows.size(), 1000u);
    EXPECT_EQ(run.rowsByMac.size(), 1000u);
    std::size_t withoutCom = 0;
    for (const Row& row : run.rows)
        withoutCom += row.com.empty();
    EXPECT_EQ(withoutCom, 1000u - 99u); // the free port list has 99 names
    EXPECT_EQ(run.requests.size(), 3u);
}
