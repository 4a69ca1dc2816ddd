#include "framework/AsyncUdpSocket.h"

#include <windows.h>

#include <map>

namespace kavrel::win {

// A hidden message-only window per thread that receives the sockets' notifications and hands each to
// its socket object.
class SocketWindow {
public:
    static constexpr UINT kNotify = WM_APP + 0x200;

    static HWND Get() noexcept {
        thread_local SocketWindow window;
        return window.hwnd_;
    }
    static void Register(AsyncUdpSocket* socket) { Sockets()[socket->socket_] = socket; }
    static void Unregister(SOCKET handle) { Sockets().erase(handle); }

private:
    SocketWindow() noexcept {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = &Procedure;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"KavrelSocketWindow";
        RegisterClassW(&windowClass); // a second thread finds it registered already
        hwnd_ = CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                windowClass.hInstance, nullptr);
    }
    ~SocketWindow() {
        if (hwnd_ != nullptr)
            DestroyWindow(hwnd_);
    }

    static std::map<SOCKET, AsyncUdpSocket*>& Sockets() {
        thread_local std::map<SOCKET, AsyncUdpSocket*> sockets;
        return sockets;
    }

    static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) noexcept {
        if (message != kNotify)
            return DefWindowProcW(hwnd, message, wparam, lparam);
        // A notification may still be queued for a socket closed meanwhile: the map no longer has it.
        auto it = Sockets().find(static_cast<SOCKET>(wparam));
        if (it != Sockets().end() && WSAGETSELECTEVENT(lparam) == FD_READ) {
            try {
                it->second->OnReceive();
            } catch (...) {
                OutputDebugStringW(L"Kavrel: a socket handler failed\n");
            }
        }
        return 0;
    }

    HWND hwnd_ = nullptr;
};

AsyncUdpSocket::~AsyncUdpSocket() {
    Close();
}

bool AsyncUdpSocket::Create(in_addr localAddress, std::uint16_t port, int receiveBuffer) noexcept {
    Close();
    socket_ = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (socket_ == INVALID_SOCKET)
        return false;
    const BOOL yes = TRUE;
    setsockopt(socket_, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&yes), sizeof(yes));
    setsockopt(socket_, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&receiveBuffer), sizeof(receiveBuffer));
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr = localAddress;
    local.sin_port = htons(port);
    HWND window = SocketWindow::Get();
    if (window == nullptr || bind(socket_, reinterpret_cast<const sockaddr*>(&local), sizeof(local)) != 0) {
        Close();
        return false;
    }
    SocketWindow::Register(this);
    if (WSAAsyncSelect(socket_, window, SocketWindow::kNotify, FD_READ) != 0) {
        Close();
        return false;
    }
    return true;
}

void AsyncUdpSocket::Close() noexcept {
    if (socket_ == INVALID_SOCKET)
        return;
    SocketWindow::Unregister(socket_);
    closesocket(socket_);
    socket_ = INVALID_SOCKET;
}

bool AsyncUdpSocket::SendTo(std::span<const std::uint8_t> bytes, in_addr destination, std::uint16_t port) noexcept {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr = destination;
    to.sin_port = htons(port);
    const int sent = sendto(socket_, reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()), 0,
                            reinterpret_cast<const sockaddr*>(&to), sizeof(to));
    return sent == static_cast<int>(bytes.size());
}

std::optional<AsyncUdpSocket::Datagram> AsyncUdpSocket::ReceiveFrom(std::span<std::uint8_t> buffer) noexcept {
    sockaddr_in from{};
    int fromSize = sizeof(from);
    const int received = recvfrom(socket_, reinterpret_cast<char*>(buffer.data()), static_cast<int>(buffer.size()), 0,
                                  reinterpret_cast<sockaddr*>(&from), &fromSize);
    if (received >= 0)
        return Datagram{static_cast<std::size_t>(received), from.sin_addr, false};
    // WSAEMSGSIZE (longer than the buffer, the rest lost) and other failures drop this datagram only.
    if (WSAGetLastError() == WSAEWOULDBLOCK)
        return std::nullopt;
    return Datagram{0, from.sin_addr, true};
}

WinsockSession::WinsockSession() noexcept {
    WSADATA data;
    started_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

WinsockSession::~WinsockSession() {
    if (started_)
        WSACleanup();
}

} // namespace kavrel::win
