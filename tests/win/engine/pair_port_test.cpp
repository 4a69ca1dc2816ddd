// vspe_api.dll under Wine with a pty pair mapped to COM10 (visible) and COM210 (hidden): which port the
// engine makes for a name, and what reaches the pair's hidden end.

#include <asio.hpp>

#include "engine/vspe_api.h"
#include "tests/win/engine/engine_peers.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

using namespace kavrel::wintest;

namespace {

class Handle {
public:
    explicit Handle(const wchar_t* path)
        : handle_(CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr)) {}
    ~Handle() {
        if (handle_ != INVALID_HANDLE_VALUE)
            CloseHandle(handle_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    bool Open() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return handle_; }

private:
    HANDLE handle_;
};

void Map(const wchar_t* port, const wchar_t* hiddenEnd) {
    RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Kavrel\\Port pairs", port, REG_SZ, hiddenEnd,
                    static_cast<DWORD>((wcslen(hiddenEnd) + 1) * sizeof(wchar_t)));
}

std::string ReadLine(HANDLE com, std::chrono::milliseconds timeout = 5s) {
    std::string got;
    WaitUntil(
        [&] {
            char buffer[256];
            DWORD n = 0;
            if (ReadFile(com, buffer, sizeof buffer, &n, nullptr))
                got.append(buffer, n);
            return got.find('\n') != std::string::npos;
        },
        timeout);
    return got;
}

class PairPort : public ::testing::Test {
protected:
    void SetUp() override {
        if (GetEnvironmentVariableW(L"KAVREL_PAIR_DIR", nullptr, 0) == 0)
            GTEST_SKIP() << "needs tools/wine-run --pair COM10=COM210";
        ASSERT_TRUE(vspe_initialize());
    }
    void TearDown() override {
        vspe_destroyAllDevices();
        vspe_release();
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Kavrel");
    }
    // Connector, Splitter at 9600 and a TcpClient to the echo server, on COMn.
    int32_t Link(int com) {
        std::string n = std::to_string(com);
        if (vspe_createDevice("Connector", (n + ";1").c_str()) < 0 ||
            vspe_createDevice("Splitter", ("100;" + n + ";0;9600,0,8,1,2,-1;0;0;0").c_str()) < 0)
            return -1;
        return vspe_createDevice(
            "TcpClient", ("127.0.0.1;" + std::to_string(server.Port()) + ";100;9600,0,8,1,2,-1;0;10;;0;0").c_str());
    }

    EchoServer server;
};

} // namespace

TEST_F(PairPort, TheMappedPairCarriesTheLineAndTakesTheSplittersSettings) {
    Map(L"COM10", L"\\\\.\\COM210");
    int32_t client = Link(10);
    ASSERT_GT(client, 0);
    EXPECT_FALSE(Handle(L"\\\\.\\pipe\\COM10").Open()) << "no pipe beside the pair";
    {
        Handle hidden(L"\\\\.\\COM210"); // Wine lets a second opener in, which lets us look
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        ASSERT_TRUE(GetCommState(hidden.Get(), &dcb));
        EXPECT_EQ(dcb.BaudRate, 9600u);
    }
    Handle com(L"\\\\.\\COM10");
    ASSERT_TRUE(com.Open());
    COMMTIMEOUTS timeouts{20, 0, 200, 0, 2000};
    ASSERT_TRUE(SetCommTimeouts(com.Get(), &timeouts));
    DWORD n = 0;
    ASSERT_TRUE(WriteFile(com.Get(), "written while stopped\n", 22, &n, nullptr));
    Sleep(300); // through socat to the hidden end
    ASSERT_TRUE(vspe_startEmulation());
    ASSERT_TRUE(WaitUntil([&] { return Ready(client); }));
    ASSERT_TRUE(WriteFile(com.Get(), "hello\n", 6, &n, nullptr));
    EXPECT_EQ(ReadLine(com.Get()), "hello\n") << "what came while stopped is dropped at Start";

    // A line comes back at once, not when a read's buffer fills or times out.
    for (int i = 0; i < 5; ++i) {
        auto start = std::chrono::steady_clock::now();
        ASSERT_TRUE(WriteFile(com.Get(), "ping\n", 5, &n, nullptr));
        EXPECT_EQ(ReadLine(com.Get()), "ping\n");
        EXPECT_LT(std::chrono::steady_clock::now() - start, 150ms);
    }
}

TEST_F(PairPort, AMissingEndFallsBackToThePipeAndARefusingOneFails) {
    Map(L"COM11", L"\\\\.\\COM299");
    ASSERT_GT(Link(11), 0);
    EXPECT_TRUE(Handle(L"\\\\.\\pipe\\COM11").Open()) << "nothing at COM299: the pipe as without a pair";
    vspe_destroyAllDevices();

    ASSERT_GT(vspe_createDevice("Connector", "11;1"), 0); // its pipe exists, and is no serial port
    Map(L"COM12", L"\\\\.\\pipe\\COM11");
    EXPECT_EQ(vspe_createDevice("Connector", "12;1"), -1);
    EXPECT_FALSE(Handle(L"\\\\.\\pipe\\COM12").Open()) << "the name is not taken by a pipe instead";
}
