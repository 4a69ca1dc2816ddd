// vspe_api.dll under Wine: a serial program on \\.\pipe\COM7 talks through a TcpClient to an echo server.

#include <asio.hpp>

#include "engine/vspe_api.h"
#include "tests/win/engine/engine_peers.h"

#include <aclapi.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <functional>
#include <list>
#include <string>
#include <thread>

using namespace std::chrono_literals;
using namespace kavrel::wintest;

namespace {

constexpr const wchar_t* kPipe = L"\\\\.\\pipe\\COM7";

HANDLE OpenPort() {
    return CreateFileW(kPipe, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

// Polls instead of a blocking read, so a lost byte fails the test rather than hanging it.
std::string ReadExactly(HANDLE port, std::size_t n, std::chrono::milliseconds timeout = 30s) {
    std::string data;
    auto deadline = std::chrono::steady_clock::now() + timeout;
    char buffer[16 * 1024];
    while (data.size() < n && std::chrono::steady_clock::now() < deadline) {
        DWORD available = 0;
        if (!PeekNamedPipe(port, nullptr, 0, nullptr, &available, nullptr)) {
            break;
        }
        if (available == 0) {
            std::this_thread::sleep_for(5ms);
            continue;
        }
        DWORD got = 0;
        DWORD want = static_cast<DWORD>(std::min<std::size_t>({sizeof buffer, available, n - data.size()}));
        if (!ReadFile(port, buffer, want, &got, nullptr)) {
            break;
        }
        data.append(buffer, got);
    }
    return data;
}

bool WriteAll(HANDLE port, const std::string& data) {
    DWORD written = 0;
    return WriteFile(port, data.data(), static_cast<DWORD>(data.size()), &written, nullptr) && written == data.size();
}

std::string Exchange(HANDLE port, const std::string& data) {
    std::thread writer([&] { EXPECT_TRUE(WriteAll(port, data)); });
    std::string echoed = ReadExactly(port, data.size());
    writer.join();
    return echoed;
}

} // namespace

TEST(EngineUnderWine, SerialProgramTalksThroughNamedPipeToDevice) {
    EchoServer server;
    ASSERT_TRUE(vspe_initialize());
    int32_t connector = vspe_createDevice("Connector", "7;1");
    ASSERT_GT(connector, 0);
    EXPECT_EQ(vspe_createDevice("Connector", "7;1"), -1);
    ASSERT_GT(vspe_createDevice("Splitter", "100;7;0;2400,0,8,1,2,-1;0;0;0"), 0);
    std::string init = "127.0.0.1;" + std::to_string(server.Port()) + ";100;2400,0,8,1,2,-1;0;10;;0;0";
    int32_t client = vspe_createDevice("TcpClient", init.c_str());
    ASSERT_GT(client, 0);
    ASSERT_TRUE(vspe_startEmulation());
    ASSERT_TRUE(WaitUntil([&] { return Ready(client); }));

    HANDLE port = OpenPort();
    ASSERT_NE(port, INVALID_HANDLE_VALUE) << GetLastError();
    EXPECT_EQ(Exchange(port, "hello device"), "hello device");
    std::string bulk(256 * 1024, '\0');
    for (std::size_t i = 0; i < bulk.size(); ++i) {
        bulk[i] = static_cast<char>((i * 131) >> 3);
    }
    EXPECT_TRUE(Exchange(port, bulk) == bulk) << "bulk data lost, reordered or altered";
    CloseHandle(port);

    // The engine listens again: the program can reopen its port.
    HANDLE again = INVALID_HANDLE_VALUE;
    ASSERT_TRUE(WaitUntil([&] { return (again = OpenPort()) != INVALID_HANDLE_VALUE; }));
    EXPECT_EQ(Exchange(again, "reopened"), "reopened");
    CloseHandle(again);

    // Straight after the close: the engine's re-listen races with the stop, which must still not wait for
    // an operation nobody cancels (the drain would end only at its 5 s safety bound).
    auto stopStart = std::chrono::steady_clock::now();
    ASSERT_TRUE(vspe_stopEmulation());
    EXPECT_LT(std::chrono::steady_clock::now() - stopStart, 3s);
    EXPECT_FALSE(Ready(client));
    ASSERT_TRUE(vspe_startEmulation()); // the ports outlived the stop
    ASSERT_TRUE(WaitUntil([&] { return Ready(client); }));
    HANDLE third = OpenPort();
    ASSERT_NE(third, INVALID_HANDLE_VALUE) << GetLastError();
    EXPECT_EQ(Exchange(third, "restarted"), "restarted");
    CloseHandle(third);
    ASSERT_TRUE(vspe_destroyAllDevices());
    EXPECT_EQ(OpenPort(), INVALID_HANDLE_VALUE) << "the pipe is gone with its Connector";
    vspe_release();
}

// kavrel.exe closed by its close box never calls vspe_release: the process must still end, although
// Windows has ended the I/O thread before the DLL is unloaded.
TEST(EngineUnderWine, ProcessEndsWithEmulationRunningAndNoRelease) {
    if (GetEnvironmentVariableW(L"KAVREL_ENGINE_CHILD", nullptr, 0) > 0) {
        EchoServer server;
        std::string init = "127.0.0.1;" + std::to_string(server.Port()) + ";100;2400,0,8,1,2,-1;0;10;;0;0";
        int32_t client = -1;
        if (vspe_initialize() && vspe_createDevice("Connector", "9;1") > 0 &&
            vspe_createDevice("Splitter", "100;9;0;2400,0,8,1,2,-1;0;0;0") > 0 &&
            (client = vspe_createDevice("TcpClient", init.c_str())) > 0 && vspe_startEmulation() &&
            WaitUntil([&] { return Ready(client); })) {
            std::exit(0);
        }
        std::exit(2);
    }
    wchar_t self[MAX_PATH];
    ASSERT_GT(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
    std::wstring command =
        L"\"" + std::wstring(self) + L"\" --gtest_filter=EngineUnderWine.ProcessEndsWithEmulationRunningAndNoRelease";
    SetEnvironmentVariableW(L"KAVREL_ENGINE_CHILD", L"1");
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child{};
    ASSERT_TRUE(
        CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child));
    SetEnvironmentVariableW(L"KAVREL_ENGINE_CHILD", nullptr);
    DWORD waited = WaitForSingleObject(child.hProcess, 60000);
    EXPECT_EQ(waited, WAIT_OBJECT_0) << "the process hung on its way out";
    if (waited != WAIT_OBJECT_0) {
        TerminateProcess(child.hProcess, 1);
    }
    DWORD code = 1;
    GetExitCodeProcess(child.hProcess, &code);
    EXPECT_EQ(code, 0u);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
}

// Other local users must not reach the serial line: the pipe lets in this user and the system, nothing else.
TEST(EngineUnderWine, PortOpensOnlyToThisUserAndTheSystem) {
    ASSERT_TRUE(vspe_initialize());
    ASSERT_GT(vspe_createDevice("Connector", "7;1"), 0);
    HANDLE port = CreateFileW(kPipe, READ_CONTROL, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(port, INVALID_HANDLE_VALUE) << GetLastError();
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_EQ(GetSecurityInfo(port, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                              &descriptor),
              static_cast<DWORD>(ERROR_SUCCESS));
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(descriptor, &control, &revision));
    EXPECT_TRUE(control & SE_DACL_PROTECTED) << "inherits entries from elsewhere";
    ASSERT_NE(dacl, nullptr) << "no DACL lets everyone in";

    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    alignas(TOKEN_USER) unsigned char userBuffer[256];
    DWORD size = 0;
    ASSERT_TRUE(GetTokenInformation(token, TokenUser, userBuffer, sizeof userBuffer, &size));
    CloseHandle(token);
    PSID user = reinterpret_cast<TOKEN_USER*>(userBuffer)->User.Sid;
    alignas(SID) unsigned char systemBuffer[SECURITY_MAX_SID_SIZE];
    size = sizeof systemBuffer;
    ASSERT_TRUE(CreateWellKnownSid(WinLocalSystemSid, nullptr, systemBuffer, &size));
    bool userSeen = false, systemSeen = false;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        ACE_HEADER* ace = nullptr;
        ASSERT_TRUE(GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
        ASSERT_EQ(ace->AceType, ACCESS_ALLOWED_ACE_TYPE);
        PSID sid = &reinterpret_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart;
        userSeen |= EqualSid(sid, user) != 0;
        systemSeen |= EqualSid(sid, systemBuffer) != 0;
        EXPECT_TRUE(EqualSid(sid, user) || EqualSid(sid, systemBuffer)) << "entry " << i << " lets someone else in";
    }
    EXPECT_TRUE(userSeen && systemSeen);
    LocalFree(descriptor);
    CloseHandle(port);
    vspe_release();
}
