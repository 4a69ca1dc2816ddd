// What the commands print: the scan's JSON and the service's status, which `kavrel status` reads back.

#include "linux/scan_report.h"
#include "linux/service_status.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

using namespace kavrel::service;

TEST(ScanReport, JsonHasTheFieldsInOrderAndSurvivesABrokenName) {
    const std::vector<FoundDevice> devices = {{"00-20-4A-10-00-01", "198.18.1.10", 4001, "Scale 1", true, true},
                                              {"00-20-4A-10-00-02", "198.18.1.11", -1, "bad \xff", false, true}};
    EXPECT_EQ(nlohmann::ordered_json::parse(ScanJson(devices)).dump(),
              R"([{"mac":"00-20-4A-10-00-01","ip":"198.18.1.10","tcp_port":4001,"name":"Scale 1",)"
              R"("protocols":["ti","lantronix"]},{"mac":"00-20-4A-10-00-02","ip":"198.18.1.11","tcp_port":-1,)"
              "\"name\":\"bad \xEF\xBF\xBD\",\"protocols\":[\"lantronix\"]}]");
    EXPECT_NE(ScanTable(devices).find("00-20-4A-10-00-01  198.18.1.10      4001   ti,lantronix  Scale 1\n"),
              std::string::npos);
}

TEST(ServiceStatus, RoundTripsAndShowsEachState) {
    ServiceStatus status{42, "/run/kavrel", {}};
    status.links.push_back({10, "00-20-4A-10-00-01", "198.18.1.10", 4001, "/dev/ttyScale1", true, 5, 7});
    status.links.push_back({10, "00-20-4A-10-00-02", "198.18.1.11", 4002, "", false, 0, 0});
    status.links.push_back({12, "00-20-4A-99-99-99", "", 0, "", false, 0, 0});
    EXPECT_EQ(ParseStatusJson(StatusJson(status)), status);
    EXPECT_FALSE(ParseStatusJson("{\"pid\": 1}")) << "not a status the service wrote";
    const std::string table = StatusTable(status);
    for (const char* line :
         {"COM10   00-20-4A-10-00-01  198.18.1.10:4001       connected                 5             7",
          "198.18.1.11:4002       not connected", "COM12   00-20-4A-99-99-99  -                      not found"})
        EXPECT_NE(table.find(line), std::string::npos) << line << " in\n" << table;
}
