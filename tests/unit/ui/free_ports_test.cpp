#include "ui/free_ports.h"

#include <gtest/gtest.h>

#include <set>

using kavrel::FreePortNames;

namespace {

auto PortsPresent(std::set<std::wstring> present) {
    return [present = std::move(present)](const std::wstring& name) { return present.count(name) > 0; };
}

} // namespace

TEST(FreePortNames, NoPortsGivesAllNinetyNineInOrder) {
    auto names = FreePortNames(PortsPresent({}));
    ASSERT_EQ(names.size(), 99u);
    EXPECT_EQ(names.front(), L"COM1");
    EXPECT_EQ(names[9], L"COM10"); // numeric order, not text order
    EXPECT_EQ(names.back(), L"COM99");
}

TEST(FreePortNames, PresentPortsAreSkipped) {
    auto names = FreePortNames(PortsPresent({L"COM1", L"COM3"}));
    ASSERT_EQ(names.size(), 97u);
    EXPECT_EQ(names[0], L"COM2");
    EXPECT_EQ(names[1], L"COM4");
    EXPECT_EQ(names.back(), L"COM99");
}

TEST(FreePortNames, AsksOnlyForComOneToNinetyNine) {
    std::vector<std::wstring> asked;
    FreePortNames([&](const std::wstring& name) {
        asked.push_back(name);
        return false;
    });
    ASSERT_EQ(asked.size(), 99u);
    EXPECT_EQ(asked.front(), L"COM1");
    EXPECT_EQ(asked.back(), L"COM99");
}

TEST(FreePortNames, AllPresentGivesNone) {
    EXPECT_TRUE(FreePortNames([](const std::wstring&) { return true; }).empty());
}
