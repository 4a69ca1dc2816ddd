// vspe_api.dll under Wine with a pty pair mapped to COM10 (visible) and COM210 (hidden): which port the
// engine makes for a name, and what reaches the pair's hidden end.

#include <asio.hpp>

#include "tests/win/engine/engine_peers.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

using namespace kavrel::wintest;

namespace {

void Map(const wchar_t* port, const wchar_t* hiddenEnd) {
    RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Kavrel\\Port pairs", port, REG_SZ, hiddenEnd,
                    static_cast<DWORD>((wcslen(hiddenEnd) + 1) * sizeof(wchar_t)));
}

class PairPort : public ::testing::Test {
protected:
    void SetUp() override {
        if (GetEnvironmentVariableW(L"KAVREL_PAIR_DIR", nullptr, 0) == 0)
            GTEST_SKIP() << "needs tools/wine-run --pair COM10=COM210";
        ASSERT_TRUE(vspe_initialize());
    }
    void TearDown() override {
        vspe_release();
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Kavrel");
    }
};

} // namespace

TEST_F(PairPort, TheMappedPairCarriesTheLineAndTakesTheSplittersSettings) {
    Map(L"COM10", L"\\\\.\\COM210");
    int32_t client = Link(10, 9600);
    ASSERT_GT(client, 0);
    EXPECT_FALSE(Open(L"\\\\.\\pipe\\COM10")) << "no pipe beside the pair";
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    EXPECT_TRUE(GetCommState(Open(L"\\\\.\\COM210").get(), &dcb)); // Wine lets a second opener in to look
    EXPECT_EQ(dcb.BaudRate, 9600u);
    File com = Open(L"\\\\.\\COM10");
    COMMTIMEOUTS timeouts{20, 0, 200, 0, 2000};
    ASSERT_TRUE(SetCommTimeouts(com.get(), &timeouts));
    DWORD n = 0;
    ASSERT_TRUE(WriteFile(com.get(), "written while stopped\n", 22, &n, nullptr));
    Sleep(300); // through socat to the hidden end
    ASSERT_TRUE(vspe_startEmulation());
    ASSERT_TRUE(WaitUntil([&] { return Ready(client); }));
    // What came while stopped is dropped at Start, and a line comes back at once, not when a read's buffer
    // fills or times out.
    for (int i = 0; i < 5; ++i) {
        auto start = std::chrono::steady_clock::now();
        ASSERT_TRUE(WriteFile(com.get(), "ping\n", 5, &n, nullptr));
        std::string got;
        char buffer[256];
        WaitUntil([&] {
            if (ReadFile(com.get(), buffer, sizeof buffer, &n, nullptr))
                got.append(buffer, n);
            return got.find('\n') != std::string::npos;
        });
        EXPECT_EQ(got, "ping\n");
        EXPECT_LT(std::chrono::steady_clock::now() - start, 150ms);
    }
}

TEST_F(PairPort, AMissingEndFallsBackToThePipeAndARefusingOneFails) {
    Map(L"COM11", L"\\\\.\\COM299");
    ASSERT_GT(vspe_createDevice("Connector", "11;1"), 0);
    EXPECT_TRUE(Open(L"\\\\.\\pipe\\COM11")) << "nothing at COM299: the pipe as without a pair";
    vspe_destroyAllDevices();

    ASSERT_GT(vspe_createDevice("Connector", "11;1"), 0); // its pipe exists, and is no serial port
    Map(L"COM12", L"\\\\.\\pipe\\COM11");
    EXPECT_EQ(vspe_createDevice("Connector", "12;1"), -1);
    EXPECT_FALSE(Open(L"\\\\.\\pipe\\COM12")) << "the name is not taken by a pipe instead";
}
