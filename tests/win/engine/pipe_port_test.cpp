// vspe_api.dll under Wine: a serial program on \\.\pipe\COM7 talks through a TcpClient to an echo server.

#include <asio.hpp>

#include "tests/win/engine/engine_peers.h"

#include <aclapi.h>
#include <gtest/gtest.h>
#include <sddl.h>
#include <windows.h>

#include <regex>
#include <string>
#include <thread>

using namespace kavrel::wintest;

namespace {

constexpr const wchar_t* kPipe = L"\\\\.\\pipe\\COM7";

// Written from another thread while read here, polled so that a lost byte fails the test rather than hangs it.
std::string Exchange(HANDLE port, const std::string& data) {
    std::thread writer([&] {
        DWORD n = 0;
        EXPECT_TRUE(WriteFile(port, data.data(), static_cast<DWORD>(data.size()), &n, nullptr) && n == data.size());
    });
    std::string echoed;
    WaitUntil([&] {
        char buffer[16 * 1024];
        DWORD available = 0, got = 0;
        while (PeekNamedPipe(port, nullptr, 0, nullptr, &available, nullptr) && available > 0 &&
               ReadFile(port, buffer, std::min<DWORD>(sizeof buffer, available), &got, nullptr)) {
            echoed.append(buffer, got);
        }
        return echoed.size() >= data.size();
    });
    writer.join();
    return echoed;
}

} // namespace

TEST(EngineUnderWine, SerialProgramTalksThroughNamedPipeToDevice) {
    ASSERT_TRUE(vspe_initialize());
    int32_t client = Link(7);
    ASSERT_GT(client, 0);
    ASSERT_TRUE(vspe_startEmulation());
    ASSERT_TRUE(WaitUntil([&] { return Ready(client); }));
    std::string bulk(256 * 1024, '\0');
    for (std::size_t i = 0; i < bulk.size(); ++i) {
        bulk[i] = static_cast<char>((i * 131) >> 3);
    }
    EXPECT_TRUE(Exchange(Open(kPipe).get(), bulk) == bulk) << "bulk data lost, reordered or altered";

    // The engine listens again: the program can reopen its port.
    File again;
    ASSERT_TRUE(WaitUntil([&] { return (again = Open(kPipe)) != nullptr; }));
    EXPECT_EQ(Exchange(again.get(), "reopened"), "reopened");
    again.reset();
    // Straight after the close the re-listen races with the stop, which must not wait for an operation nobody
    // cancels (the drain would end only at its 5 s safety bound).
    auto stopStart = std::chrono::steady_clock::now();
    ASSERT_TRUE(vspe_stopEmulation());
    EXPECT_LT(std::chrono::steady_clock::now() - stopStart, 3s);
    ASSERT_TRUE(vspe_destroyAllDevices());
    EXPECT_FALSE(Open(kPipe)) << "the pipe is gone with its Connector";
    vspe_release();
}

// Other local users must not reach the serial line: the pipe lets in this user and the system, nothing else.
TEST(EngineUnderWine, PortOpensOnlyToThisUserAndTheSystem) {
    ASSERT_TRUE(vspe_initialize());
    ASSERT_GT(vspe_createDevice("Connector", "7;1"), 0);
    File port = Open(kPipe, READ_CONTROL);
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    wchar_t* dacl = nullptr;
    ASSERT_EQ(GetSecurityInfo(port.get(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr,
                              nullptr, &descriptor),
              static_cast<DWORD>(ERROR_SUCCESS));
    ASSERT_TRUE(ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1,
                                                                     DACL_SECURITY_INFORMATION, &dacl, nullptr));
    HANDLE token = nullptr;
    alignas(TOKEN_USER) unsigned char tokenUser[256];
    DWORD size = 0;
    wchar_t* userSid = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    ASSERT_TRUE(GetTokenInformation(token, TokenUser, tokenUser, sizeof tokenUser, &size));
    ASSERT_TRUE(ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(tokenUser)->User.Sid, &userSid));
    CloseHandle(token);
    // Protected from inheritance ("P"), and nothing but allowing entries for the user and SYSTEM ("SY").
    std::wstring entries = dacl, user = userSid;
    EXPECT_TRUE(entries.find(L";;;SY)") != entries.npos && entries.find(L";;;" + user + L")") != entries.npos)
        << entries;
    EXPECT_EQ(std::regex_replace(entries, std::wregex(L"\\(A;;[^;]*;;;(SY|" + user + L")\\)"), L""), L"D:P") << entries;
    LocalFree(dacl);
    LocalFree(userSid);
    LocalFree(descriptor);
    vspe_release();
}
