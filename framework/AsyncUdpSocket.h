#pragma once
// A UDP socket whose readiness to read arrives as a window message on the thread that made it, so the
// handler runs on the user-interface thread between other messages, with no lock.

#include <winsock2.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace kavrel::win {

class AsyncUdpSocket {
public:
    AsyncUdpSocket() noexcept = default;
    AsyncUdpSocket(const AsyncUdpSocket&) = delete;
    AsyncUdpSocket& operator=(const AsyncUdpSocket&) = delete;
    virtual ~AsyncUdpSocket();

    // Binds to the local address (network byte order) and port, allows broadcast, and starts the read
    // notifications. receiveBuffer: the bytes the system may queue for us before we read.
    bool Create(in_addr localAddress, std::uint16_t port, int receiveBuffer) noexcept;
    void Close() noexcept;

    bool SendTo(std::span<const std::uint8_t> bytes, in_addr destination, std::uint16_t port) noexcept;

    struct Datagram {
        std::size_t size;
        in_addr sender;
        // The receive failed or the datagram did not fit the buffer: none of it is to be trusted.
        bool dropped;
    };
    // One datagram into buffer; nothing when none is waiting.
    std::optional<Datagram> ReceiveFrom(std::span<std::uint8_t> buffer) noexcept;

    SOCKET Handle() const noexcept { return socket_; }

protected:
    // Called on the creating thread when datagrams are waiting.
    virtual void OnReceive() = 0;

private:
    friend class SocketWindow;

    SOCKET socket_ = INVALID_SOCKET;
};

// Winsock for the life of the object.
class WinsockSession {
public:
    WinsockSession() noexcept;
    WinsockSession(const WinsockSession&) = delete;
    WinsockSession& operator=(const WinsockSession&) = delete;
    ~WinsockSession();

private:
    bool started_ = false;
};

} // namespace kavrel::win
