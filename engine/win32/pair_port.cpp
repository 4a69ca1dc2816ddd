#include "engine/win32/pair_port.h"

#include <windows.h>

namespace kavrel::engine {
namespace {
// An idle line ends a read empty this often; the read is then simply made again.
constexpr DWORD kIdleReadMs = 60 * 1000;
} // namespace

std::unique_ptr<PairPort> PairPort::Open(asio::io_context& io, const std::string& hiddenEnd, std::error_code& ec) {
    auto end = std::make_shared<End>(io);
    // Asio opens with overlapped I/O, exclusive access and no flow control.
    end->port.open(hiddenEnd, ec);
    if (ec) {
        return nullptr;
    }
    // Windows returns a read at its first byte only with these values, and Wine (which waits for the whole
    // buffer with them) does the same for a one-byte read: so the first byte is waited for alone and what
    // queued behind it is read at once. Writes have no timeout: they complete when written.
    COMMTIMEOUTS timeouts{MAXDWORD, MAXDWORD, kIdleReadMs, 0, 0};
    if (!SetCommTimeouts(end->port.native_handle(), &timeouts)) {
        ec = std::error_code(static_cast<int>(GetLastError()), asio::system_category());
        return nullptr;
    }
    PurgeComm(end->port.native_handle(), PURGE_RXCLEAR | PURGE_TXCLEAR);
    std::unique_ptr<PairPort> port(new PairPort(std::move(end)));
    port->Configure(SerialParams{});
    return port;
}

PairPort::~PairPort() {
    asio::error_code ignored;
    end_->port.close(ignored);
}

void PairPort::AsyncReadSome(asio::mutable_buffer buffer, Handler handler) {
    WaitForFirstByte(end_, buffer, std::move(handler));
}

void PairPort::WaitForFirstByte(const std::shared_ptr<End>& end, asio::mutable_buffer buffer, Handler handler) {
    auto epoch = end->epoch;
    end->port.async_read_some(
        asio::buffer(buffer, 1), [end, buffer, handler, epoch](std::error_code ec, std::size_t n) mutable {
            if (ec == asio::error::eof) { // the idle timeout: nothing came
                if (epoch != end->epoch) {
                    handler(asio::error::operation_aborted, 0); // cancelled while this completion was on its way
                    return;
                }
                WaitForFirstByte(end, buffer, std::move(handler));
                return;
            }
            if (ec || buffer.size() == 1) {
                handler(ec, n);
                return;
            }
            ReadQueued(end, buffer, std::move(handler));
        });
}

// The first byte is in; the bytes that came with it are read without waiting.
void PairPort::ReadQueued(const std::shared_ptr<End>& end, asio::mutable_buffer buffer, Handler handler) {
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(end->port.native_handle(), &errors, &status) || status.cbInQue == 0) {
        handler({}, 1);
        return;
    }
    auto rest = asio::buffer(buffer + 1, status.cbInQue);
    end->port.async_read_some(rest, [handler](std::error_code ec, std::size_t n) {
        handler(ec == asio::error::operation_aborted ? ec : std::error_code(), 1 + (ec ? 0 : n));
    });
}

void PairPort::AsyncWriteAll(asio::const_buffer buffer, Handler handler) {
    asio::async_write(end_->port, buffer, std::move(handler));
}

void PairPort::Cancel() {
    ++end_->epoch;
    asio::error_code ignored;
    end_->port.cancel(ignored);
}

// A pair driver that emulates the baud rate paces the line at what the Splitter asks for. Handshake lines
// are held on, so that a program waiting for DSR or CTS on the visible end sees a device there.
void PairPort::Configure(const SerialParams& params) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    HANDLE handle = end_->port.native_handle();
    if (!GetCommState(handle, &dcb)) {
        return;
    }
    static constexpr BYTE parities[] = {NOPARITY, ODDPARITY, EVENPARITY, MARKPARITY, SPACEPARITY};
    dcb.BaudRate = static_cast<DWORD>(params.baud);
    dcb.ByteSize = static_cast<BYTE>(params.dataBits);
    dcb.Parity = parities[params.parity >= 0 && params.parity <= 4 ? params.parity : 0];
    dcb.fParity = dcb.Parity != NOPARITY;
    dcb.StopBits = params.stopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    SetCommState(handle, &dcb);
}

void PairPort::DiscardPending() {
    PurgeComm(end_->port.native_handle(), PURGE_RXCLEAR);
}

} // namespace kavrel::engine
