#include "engine/pair_choice.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <tuple>

using namespace kavrel::engine;

namespace {

class FakeRegistry : public PairRegistry {
public:
    void Text(Hive hive, const std::string& key, const std::string& name, const std::string& text) {
        values_[{hive, key, name}] = {RegistryValue::Kind::Text, text};
    }
    void Number(Hive hive, const std::string& key, const std::string& name) {
        values_[{hive, key, name}] = {RegistryValue::Kind::Other, {}};
    }
    void Erase(Hive hive, const std::string& key, const std::string& name) { values_.erase({hive, key, name}); }
    void Com0com(const std::string& end, const std::string& portName) {
        Text(Hive::LocalMachine, std::string(kCom0comKey) + "\\" + end, "PortName", portName);
    }

    RegistryValue Value(Hive hive, std::string_view key, std::string_view name) const override {
        auto it = values_.find({hive, std::string(key), std::string(name)});
        return it == values_.end() ? RegistryValue{} : it->second;
    }
    std::vector<std::string> SubKeys(Hive hive, std::string_view key) const override {
        std::set<std::string> keys;
        std::string prefix = std::string(key) + "\\";
        for (const auto& [where, value] : values_) {
            const auto& [h, k, n] = where;
            if (h == hive && k.starts_with(prefix)) {
                keys.insert(k.substr(prefix.size()));
            }
        }
        return {keys.begin(), keys.end()};
    }

private:
    std::map<std::tuple<Hive, std::string, std::string>, RegistryValue> values_;
};

const std::string kPairs(kPortPairsKey);

} // namespace

TEST(PairChoice, UserMappingThenMachineMappingThenCom0comThenPipe) {
    FakeRegistry registry;
    registry.Com0com("CNCA3", "COM10");
    registry.Com0com("CNCB3", "-");
    registry.Text(Hive::LocalMachine, kPairs, "COM10", "\\\\.\\COM210");
    registry.Text(Hive::CurrentUser, kPairs, "COM10", "COM211"); // the \\.\ prefix may be left out
    EXPECT_EQ(ChoosePair(registry, 10).hiddenEnd, "\\\\.\\COM211");
    registry.Erase(Hive::CurrentUser, kPairs, "COM10");
    EXPECT_EQ(ChoosePair(registry, 10).hiddenEnd, "\\\\.\\COM210");
    registry.Erase(Hive::LocalMachine, kPairs, "COM10");
    EXPECT_EQ(ChoosePair(registry, 10).hiddenEnd, "\\\\.\\CNCB3") << "a partner named \"-\" keeps its own name";
    EXPECT_EQ(ChoosePair(registry, 1).hiddenEnd, "") << "COM1 is not COM10";
    EXPECT_TRUE(ChoosePair(registry, 1).skipped.empty());
}

TEST(PairChoice, Com0comEitherEndMayBeVisibleAndNamesMayBeGivenLater) {
    FakeRegistry registry;
    registry.Com0com("CNCA0", "COM30");
    registry.Com0com("CNCB0", "com12"); // the visible end may be the B end, in any case
    registry.Com0com("CNCA7", "COM#");  // named by the ports database: the name is in RealPortName
    registry.Text(Hive::LocalMachine, std::string(kCom0comKey) + "\\CNCA7", "RealPortName", "COM40");
    registry.Com0com("CNCB7", "COM41");
    EXPECT_EQ(ChoosePair(registry, 12).hiddenEnd, "\\\\.\\COM30");
    EXPECT_EQ(ChoosePair(registry, 30).hiddenEnd, "\\\\.\\com12");
    EXPECT_EQ(ChoosePair(registry, 40).hiddenEnd, "\\\\.\\COM41");
    EXPECT_EQ(ChoosePair(registry, 41).hiddenEnd, "\\\\.\\COM40");
}

TEST(PairChoice, BadEntriesArePassedOverWithAReason) {
    FakeRegistry registry;
    registry.Number(Hive::CurrentUser, kPairs, "COM10");
    registry.Text(Hive::LocalMachine, kPairs, "COM10", "");
    registry.Text(Hive::CurrentUser, kPairs, "COM11", "\\\\.\\com11");
    registry.Com0com("CNCA5", "COM12"); // its partner has no entry
    registry.Com0com("CNCA6", "COM13");
    registry.Com0com("CNCB6", "COM#"); // and no RealPortName
    registry.Com0com("CNCA8", "COM14");
    registry.Number(Hive::LocalMachine, std::string(kCom0comKey) + "\\CNCB8", "PortName");
    registry.Com0com("Bus9", "COM15"); // not an end of a pair
    for (int port : {10, 11, 12, 13, 14, 15}) {
        PairChoice choice = ChoosePair(registry, port);
        EXPECT_EQ(choice.hiddenEnd, "") << "COM" << port << " falls back to the pipe";
        EXPECT_EQ(choice.skipped.size(), port == 10 ? 2u : port == 15 ? 0u : 1u) << "COM" << port;
    }
    EXPECT_NE(ChoosePair(registry, 10).skipped[0].find("not a string"), std::string::npos);
    EXPECT_NE(ChoosePair(registry, 11).skipped[0].find("the port itself"), std::string::npos);

    // A bad user entry does not hide a good machine one.
    registry.Text(Hive::LocalMachine, kPairs, "COM10", "\\\\.\\CNCB0");
    EXPECT_EQ(ChoosePair(registry, 10).hiddenEnd, "\\\\.\\CNCB0");
}
