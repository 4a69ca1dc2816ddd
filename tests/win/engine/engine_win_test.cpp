// vspe_api.dll under Wine: a serial program on a named pipe, or on the visible end of a pty pair (tools/wine-run
// --pair COM10=COM210), talks through a TcpClient to an echo server on 127.0.0.1 in wine-run's namespace.

#include <asio.hpp>

#include "engine/vspe_api.h"

#include <aclapi.h>
#include <gtest/gtest.h>
#include <sddl.h>
#include <windows.h>

#include <chrono>
#include <functional>
#include <memory>
#include <regex>
#include <string>
#include <thread>

using namespace std::chrono_literals;

namespace {

// Connector COMcom, Splitter 100 and a TcpClient to a device server that echoes one connection at a time for
// as long as the test program runs: the client's id, or -1.
int32_t Link(int com, int baud = 2400) {
    static auto& io = *new asio::io_context; // never destroyed: the servers' threads outlive every test
    auto acceptor =
        std::make_shared<asio::ip::tcp::acceptor>(io, asio::ip::tcp::endpoint(asio::ip::address_v4::loopback(), 0));
    std::thread([acceptor] {
        for (;;) {
            asio::ip::tcp::socket socket(io);
            asio::error_code ec;
            acceptor->accept(socket, ec);
            if (ec)
                return;
            char buffer[16 * 1024];
            for (std::size_t n; (n = socket.read_some(asio::buffer(buffer), ec)) > 0;)
                asio::write(socket, asio::buffer(buffer, n), ec);
        }
    }).detach();
    std::string n = std::to_string(com), line = std::to_string(baud) + ",0,8,1,2,-1";
    std::string client =
        "127.0.0.1;" + std::to_string(acceptor->local_endpoint().port()) + ";100;" + line + ";0;10;;0;0";
    if (vspe_createDevice("Connector", (n + ";1").c_str()) < 0 ||
        vspe_createDevice("Splitter", ("100;" + n + ";0;" + line + ";0;0;0").c_str()) < 0)
        return -1;
    return vspe_createDevice("TcpClient", client.c_str());
}

bool WaitUntil(const std::function<bool()>& condition) {
    for (auto deadline = std::chrono::steady_clock::now() + 30s; !condition(); std::this_thread::sleep_for(20ms))
        if (std::chrono::steady_clock::now() > deadline)
            return false;
    return true;
}

bool Start(int32_t client) {
    int32_t a = 0, b = 0, c = 0, ready = 0;
    return vspe_startEmulation() && WaitUntil([&] { return vspe_getDeviceInfo(client, &a, &b, &c, &ready) && ready; });
}

struct CloseFile {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using File = std::unique_ptr<void, CloseFile>;

File Open(const wchar_t* path, DWORD access = GENERIC_READ | GENERIC_WRITE) {
    HANDLE handle = CreateFileW(path, access, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    return File(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}

// Writes and reads the echo: a pipe's reads end when bytes come, a COM port's by its timeouts.
std::string Exchange(const File& port, const std::string& data) {
    std::string echoed;
    DWORD n = 0;
    char buffer[256];
    EXPECT_TRUE(WriteFile(port.get(), data.data(), static_cast<DWORD>(data.size()), &n, nullptr));
    WaitUntil([&] {
        if (ReadFile(port.get(), buffer, sizeof buffer, &n, nullptr))
            echoed.append(buffer, n);
        return echoed.size() >= data.size();
    });
    return echoed;
}

constexpr const wchar_t* kPipe = L"\\\\.\\pipe\\COM7";

} // namespace

// Other local users must not reach the serial line: the pipe lets in this user and the system, nothing else.
TEST(EngineUnderWine, PipeOpensOnlyToThisUserAndListensAgainAfterAClose) {
    ASSERT_TRUE(vspe_initialize());
    int32_t client = Link(7);
    ASSERT_GT(client, 0);
    ASSERT_TRUE(Start(client));
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    wchar_t *dacl = nullptr, *userSid = nullptr;
    ASSERT_EQ(GetSecurityInfo(Open(kPipe, READ_CONTROL).get(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                              nullptr, nullptr, nullptr, &descriptor),
              static_cast<DWORD>(ERROR_SUCCESS));
    ASSERT_TRUE(ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1,
                                                                     DACL_SECURITY_INFORMATION, &dacl, nullptr));
    HANDLE token = nullptr;
    alignas(TOKEN_USER) unsigned char tokenUser[256];
    DWORD size = 0;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) &&
                GetTokenInformation(token, TokenUser, tokenUser, sizeof tokenUser, &size) &&
                ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(tokenUser)->User.Sid, &userSid));
    CloseHandle(token);
    // Protected from inheritance ("P"), and nothing but allowing entries for the user and SYSTEM ("SY").
    std::wstring entries = dacl, user = userSid;
    EXPECT_TRUE(entries.find(L";;;SY)") != entries.npos && entries.find(L";;;" + user + L")") != entries.npos)
        << entries;
    EXPECT_EQ(std::regex_replace(entries, std::wregex(L"\\(A;;[^;]*;;;(SY|" + user + L")\\)"), L""), L"D:P") << entries;
    LocalFree(dacl);
    LocalFree(userSid);
    LocalFree(descriptor);

    File program; // after the look at its DACL the engine listens again for the program
    ASSERT_TRUE(WaitUntil([&] { return (program = Open(kPipe)) != nullptr; }));
    EXPECT_EQ(Exchange(program, "hello device"), "hello device");
    program.reset();
    // Straight after a close the stop races with the re-listen, and must not wait for it (its bound is 5 s).
    auto stopStart = std::chrono::steady_clock::now();
    ASSERT_TRUE(vspe_stopEmulation());
    EXPECT_LT(std::chrono::steady_clock::now() - stopStart, 3s);
    ASSERT_TRUE(vspe_destroyAllDevices());
    EXPECT_FALSE(Open(kPipe)) << "the pipe is gone with its Connector";
    vspe_release();
}

// kavrel.exe closed by its close box never calls vspe_release: the process must still end, although
// Windows has ended the I/O thread before the DLL is unloaded.
TEST(EngineUnderWine, ProcessEndsWithEmulationRunningAndNoRelease) {
    if (GetEnvironmentVariableW(L"KAVREL_ENGINE_CHILD", nullptr, 0) > 0) {
        int32_t client = vspe_initialize() ? Link(9) : -1;
        std::exit(client > 0 && Start(client) ? 0 : 2);
    }
    wchar_t self[MAX_PATH];
    ASSERT_GT(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
    std::wstring command = L"\"" + std::wstring(self) + L"\" --gtest_filter=" +
                           L"EngineUnderWine.ProcessEndsWithEmulationRunningAndNoRelease";
    SetEnvironmentVariableW(L"KAVREL_ENGINE_CHILD", L"1");
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child{};
    ASSERT_TRUE(
        CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child));
    SetEnvironmentVariableW(L"KAVREL_ENGINE_CHILD", nullptr);
    File process(child.hProcess), thread(child.hThread);
    DWORD waited = WaitForSingleObject(child.hProcess, 60000);
    if (waited != WAIT_OBJECT_0)
        TerminateProcess(child.hProcess, 1);
    ASSERT_EQ(waited, WAIT_OBJECT_0) << "the process hung on its way out";
    DWORD code = 1;
    EXPECT_TRUE(GetExitCodeProcess(child.hProcess, &code) && code == 0) << code;
}

// wine-run --pair COM10=COM210 also maps COM10 to its hidden end \\.\COM210 for the engine.
TEST(PairPort, TheMappedEndCarriesTheLineAMissingOneLeavesThePipeARefusingOneFails) {
    if (GetEnvironmentVariableW(L"KAVREL_PAIR_DIR", nullptr, 0) == 0)
        GTEST_SKIP() << "needs tools/wine-run --pair COM10=COM210";
    ASSERT_TRUE(vspe_initialize());
    int32_t client = Link(10, 115200);
    ASSERT_GT(client, 0);
    EXPECT_FALSE(Open(L"\\\\.\\pipe\\COM10")) << "no pipe beside the pair";
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    EXPECT_TRUE(GetCommState(Open(L"\\\\.\\COM210").get(), &dcb)); // Wine lets a second opener in to look
    EXPECT_EQ(dcb.BaudRate, 115200u);
    File com = Open(L"\\\\.\\COM10");
    COMMTIMEOUTS timeouts{20, 0, 200, 0, 2000};
    ASSERT_TRUE(SetCommTimeouts(com.get(), &timeouts));
    DWORD n = 0;
    ASSERT_TRUE(WriteFile(com.get(), "written while stopped\n", 22, &n, nullptr));
    Sleep(300); // through socat to the hidden end
    ASSERT_TRUE(Start(client));
    // What came while stopped is dropped at Start; a line comes back at once, not when a read fills or times out.
    for (int i = 0; i < 5; ++i) {
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(Exchange(com, "ping\n"), "ping\n");
        EXPECT_LT(std::chrono::steady_clock::now() - start, 150ms);
    }

    auto map = [](const wchar_t* port, const wchar_t* hiddenEnd) {
        RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Kavrel\\Port pairs", port, REG_SZ, hiddenEnd,
                        static_cast<DWORD>((wcslen(hiddenEnd) + 1) * sizeof(wchar_t)));
    };
    map(L"COM11", L"\\\\.\\COM299");
    ASSERT_GT(vspe_createDevice("Connector", "11;1"), 0);
    EXPECT_TRUE(Open(L"\\\\.\\pipe\\COM11")) << "nothing at COM299: the pipe as without a pair";
    vspe_destroyAllDevices();
    ASSERT_GT(vspe_createDevice("Connector", "11;1"), 0); // its pipe exists, and is no serial port
    map(L"COM12", L"\\\\.\\pipe\\COM11");
    EXPECT_EQ(vspe_createDevice("Connector", "12;1"), -1);
    EXPECT_FALSE(Open(L"\\\\.\\pipe\\COM12")) << "the name is not taken by a pipe instead";
    vspe_release();
}
