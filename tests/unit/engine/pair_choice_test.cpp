#include "engine/pair_choice.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <tuple>

using namespace kavrel::engine;

namespace {

using Kind = RegistryValue::Kind;
const std::string kPairs(kPortPairsKey);

struct FakeRegistry : PairRegistry {
    void Set(Hive hive, const std::string& key, const std::string& name, const std::string& text,
             Kind kind = Kind::Text) {
        values[{hive, key, name}] = {kind, text};
    }
    void Com0com(const std::string& end, const std::string& text, Kind kind = Kind::Text,
                 const std::string& name = "PortName") {
        ends.insert(end);
        Set(Hive::LocalMachine, std::string(kCom0comKey) + "\\" + end, name, text, kind);
    }
    RegistryValue Value(Hive hive, std::string_view key, std::string_view name) const override {
        auto it = values.find({hive, std::string(key), std::string(name)});
        return it == values.end() ? RegistryValue{} : it->second;
    }
    std::vector<std::string> SubKeys(Hive hive, std::string_view key) const override {
        bool com0com = hive == Hive::LocalMachine && key == kCom0comKey;
        return com0com ? std::vector<std::string>(ends.begin(), ends.end()) : std::vector<std::string>{};
    }

    std::map<std::tuple<Hive, std::string, std::string>, RegistryValue> values;
    std::set<std::string> ends; // com0com's subkeys
};

} // namespace

TEST(PairChoice, UserThenMachineMappingThenCom0comThenPipeAndBadEntriesArePassedOver) {
    FakeRegistry registry;
    registry.Com0com("CNCA3", "COM10");
    registry.Com0com("CNCB3", "-");
    registry.Set(Hive::LocalMachine, kPairs, "COM10", "\\\\.\\COM210");
    registry.Set(Hive::CurrentUser, kPairs, "COM10", "COM211"); // the \\.\ prefix may be left out
    EXPECT_EQ(ChoosePair(registry, 10).hiddenEnd, "\\\\.\\COM211");
    registry.values.erase({Hive::CurrentUser, kPairs, "COM10"});
    EXPECT_EQ(ChoosePair(registry, 10).hiddenEnd, "\\\\.\\COM210");
    registry.values.erase({Hive::LocalMachine, kPairs, "COM10"});
    EXPECT_EQ(ChoosePair(registry, 10).hiddenEnd, "\\\\.\\CNCB3") << "a partner named \"-\" keeps its own name";
    EXPECT_EQ(ChoosePair(registry, 1).hiddenEnd, "") << "COM1 is not COM10";

    registry.Com0com("CNCA0", "COM30");
    registry.Com0com("CNCB0", "com12"); // the visible end may be the B end, in any case
    registry.Com0com("CNCA7", "COM#");  // named by the ports database: the name is in RealPortName
    registry.Com0com("CNCA7", "COM40", Kind::Text, "RealPortName");
    registry.Com0com("CNCB7", "COM41");
    for (auto [port, hidden] : {std::pair{12, "COM30"}, {30, "com12"}, {40, "COM41"}, {41, "COM40"}})
        EXPECT_EQ(ChoosePair(registry, port).hiddenEnd, std::string("\\\\.\\") + hidden) << port;

    // Bad entries are passed over with a reason.
    registry.Set(Hive::CurrentUser, kPairs, "COM20", "", Kind::Other);
    registry.Set(Hive::LocalMachine, kPairs, "COM20", "");
    registry.Set(Hive::CurrentUser, kPairs, "COM21", "\\\\.\\com21");
    registry.Com0com("CNCA5", "COM22"); // its partner has no entry
    registry.Com0com("CNCA6", "COM23");
    registry.Com0com("CNCB6", "COM#"); // and no RealPortName
    registry.Com0com("CNCA8", "COM24");
    registry.Com0com("CNCB8", "", Kind::Other);
    registry.Com0com("Bus9", "COM25"); // not an end of a pair
    for (auto [port, skipped] : {std::pair{20, 2u}, {21, 1u}, {22, 1u}, {23, 1u}, {24, 1u}, {25, 0u}}) {
        PairChoice choice = ChoosePair(registry, port);
        EXPECT_EQ(choice.hiddenEnd, "") << "COM" << port << " falls back to the pipe";
        EXPECT_EQ(choice.skipped.size(), skipped) << "COM" << port;
    }
    EXPECT_NE(ChoosePair(registry, 20).skipped[0].find("not a string"), std::string::npos);
    EXPECT_NE(ChoosePair(registry, 21).skipped[0].find("the port itself"), std::string::npos);
    registry.Set(Hive::LocalMachine, kPairs, "COM20", "\\\\.\\CNCB0");
    EXPECT_EQ(ChoosePair(registry, 20).hiddenEnd, "\\\\.\\CNCB0") << "a bad user entry hides no good machine one";
}
