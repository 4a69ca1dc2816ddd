#include "ui/free_ports.h"

#include <gtest/gtest.h>

#include <set>

using kavrel::FreePortNames;

TEST(FreePortNames, AsksForComOneToNinetyNineAndSkipsThePresentOnes) {
    std::vector<std::wstring> asked;
    const std::set<std::wstring> present = {L"COM1", L"COM3"};
    auto names = FreePortNames([&](const std::wstring& name) {
        asked.push_back(name);
        return present.count(name) > 0;
    });
    ASSERT_EQ(asked.size(), 99u);
    EXPECT_EQ(asked.front(), L"COM1");
    EXPECT_EQ(asked.back(), L"COM99");
    ASSERT_EQ(names.size(), 97u);
    EXPECT_EQ(names[0], L"COM2");
    EXPECT_EQ(names[1], L"COM4");
    EXPECT_EQ(names[8], L"COM11"); // numeric order, not text order
    EXPECT_EQ(names.back(), L"COM99");
    EXPECT_TRUE(FreePortNames([](const std::wstring&) { return true; }).empty());
}
