#include "engine/win32/pipe_port.h"

#include <sddl.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace kavrel::engine {
namespace {
constexpr DWORD kPipeBufferSize = 64 * 1024;

bool ProgramGone(const std::error_code& ec) {
    return ec == asio::error::eof || ec == asio::error::broken_pipe || ec.value() == ERROR_BROKEN_PIPE ||
           ec.value() == ERROR_PIPE_NOT_CONNECTED || ec.value() == ERROR_NO_DATA;
}

struct LocalFreer {
    void operator()(void* memory) const { LocalFree(memory); }
};

// Only this user and the system may open the port: with the default descriptor other local users could
// read and write the serial line. Empty when the descriptor cannot be made, and then no pipe is made.
std::unique_ptr<void, LocalFreer> OwnerOnlyDescriptor() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        return nullptr;
    }
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> user(size);
    bool known = size > 0 && GetTokenInformation(token, TokenUser, user.data(), size, &size);
    CloseHandle(token);
    wchar_t* sidText = nullptr;
    if (!known || !ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &sidText)) {
        return nullptr;
    }
    std::wstring sddl = L"D:P(A;;GA;;;SY)(A;;GA;;;" + std::wstring(sidText) + L")";
    LocalFree(sidText);
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr)) {
        return nullptr;
    }
    return std::unique_ptr<void, LocalFreer>(descriptor);
}
} // namespace

std::shared_ptr<PipePort::Pipe> PipePort::CreatePipe(asio::io_context& io, int comNumber) {
    std::wstring name = L"\\\\.\\pipe\\COM" + std::to_wstring(comNumber);
    auto descriptor = OwnerOnlyDescriptor();
    if (!descriptor) {
        return nullptr;
    }
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.get(), FALSE};
    // First instance only: a pipe of that name held by anyone else means the name is taken.
    HANDLE handle =
        CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                         PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1,
                         kPipeBufferSize, kPipeBufferSize, 0, &attributes);
    if (handle == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    auto pipe = std::make_shared<Pipe>(io);
    asio::error_code ec;
    pipe->handle.assign(handle, ec);
    if (ec) {
        CloseHandle(handle);
        return nullptr;
    }
    return pipe;
}

std::unique_ptr<PipePort> PipePort::Open(asio::io_context& io, int comNumber) {
    auto pipe = CreatePipe(io, comNumber);
    if (!pipe) {
        return nullptr;
    }
    return std::unique_ptr<PipePort>(new PipePort(std::move(pipe)));
}

PipePort::~PipePort() {
    asio::error_code ignored;
    pipe_->handle.close(ignored);
}

void PipePort::AsyncReadSome(asio::mutable_buffer buffer, Handler handler) {
    if (pipe_->connected) {
        Read(pipe_, buffer, std::move(handler));
    } else {
        Listen(pipe_, buffer, std::move(handler));
    }
}

// Waits for a program to open the pipe, then reads.
void PipePort::Listen(const std::shared_ptr<Pipe>& pipe, asio::mutable_buffer buffer, Handler handler) {
    auto epoch = pipe->epoch;
    auto connected = [pipe, buffer, handler, epoch](std::error_code ec, std::size_t) mutable {
        if (ec) {
            handler(ec, 0);
            return;
        }
        pipe->connected = true;
        if (epoch != pipe->epoch) {
            handler(asio::error::operation_aborted, 0); // cancelled while this completion was on its way
            return;
        }
        Read(pipe, buffer, std::move(handler));
    };
    asio::windows::overlapped_ptr overlapped(pipe->handle.get_executor(), std::move(connected));
    BOOL ok = ConnectNamedPipe(pipe->handle.native_handle(), overlapped.get());
    DWORD error = GetLastError();
    if (!ok && error == ERROR_PIPE_CONNECTED) {
        overlapped.complete(std::error_code(), 0); // opened before we listened
    } else if (!ok && error != ERROR_IO_PENDING) {
        overlapped.complete(std::error_code(static_cast<int>(error), asio::system_category()), 0);
    } else {
        overlapped.release();
    }
}

void PipePort::Read(const std::shared_ptr<Pipe>& pipe, asio::mutable_buffer buffer, Handler handler) {
    auto epoch = pipe->epoch;
    pipe->handle.async_read_some(buffer, [pipe, buffer, handler, epoch](std::error_code ec, std::size_t n) mutable {
        if (ProgramGone(ec)) {
            // The program closed its end: free the instance for its next open.
            pipe->connected = false;
            DisconnectNamedPipe(pipe->handle.native_handle());
            if (epoch != pipe->epoch) {
                // Cancelled while this completion was on its way: a new listen would outlive the cancel.
                handler(asio::error::operation_aborted, 0);
                return;
            }
            Listen(pipe, buffer, std::move(handler));
            return;
        }
        handler(ec, n);
    });
}

void PipePort::AsyncWriteAll(asio::const_buffer buffer, Handler handler) {
    if (!pipe_->connected) {
        // Nobody has the port open: the bytes go nowhere, as on a serial line with nothing attached.
        asio::post(pipe_->handle.get_executor(), [handler, n = buffer.size()] { handler({}, n); });
        return;
    }
    asio::async_write(pipe_->handle, buffer, [handler, n = buffer.size()](std::error_code ec, std::size_t written) {
        handler(ec == asio::error::operation_aborted ? ec : std::error_code(), ec ? n : written);
    });
}

void PipePort::Cancel() {
    ++pipe_->epoch;
    asio::error_code ignored;
    pipe_->handle.cancel(ignored);
}

} // namespace kavrel::engine
