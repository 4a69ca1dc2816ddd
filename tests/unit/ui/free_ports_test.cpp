#include "ui/free_ports.h"

#include <gtest/gtest.h>

TEST(FreePortNames, ComOneToNinetyNineInNumericOrderWithoutThePresentOnes) {
    std::vector<std::wstring> expected;
    for (int i = 2; i <= 99; ++i)
        if (i != 3)
            expected.push_back(L"COM" + std::to_wstring(i));
    EXPECT_EQ(kavrel::FreePortNames([](const std::wstring& name) { return name == L"COM1" || name == L"COM3"; }),
              expected);
    EXPECT_TRUE(kavrel::FreePortNames([](const std::wstring&) { return true; }).empty());
}
