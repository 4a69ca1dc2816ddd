#pragma once
// One small owner per kind of Windows handle: closes it once, cannot be copied.

#include <windows.h>

#include <utility>

namespace kavrel::win {

template <class Traits> class ScopedHandle {
public:
    using Handle = typename Traits::Handle;

    ScopedHandle() noexcept = default;
    explicit ScopedHandle(Handle handle) noexcept : handle_(handle) {}
    ScopedHandle(ScopedHandle&& other) noexcept : handle_(other.Release()) {}
    ScopedHandle& operator=(ScopedHandle&& other) noexcept {
        Reset(other.Release());
        return *this;
    }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;
    ~ScopedHandle() { Reset(); }

    Handle Get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return Traits::IsValid(handle_); }
    Handle Release() noexcept { return std::exchange(handle_, Traits::Invalid()); }
    void Reset(Handle handle = Traits::Invalid()) noexcept {
        if (Traits::IsValid(handle_))
            Traits::Close(handle_);
        handle_ = handle;
    }

private:
    Handle handle_ = Traits::Invalid();
};

template <class H, auto CloseFunction> struct NullInvalidTraits {
    using Handle = H;
    static constexpr Handle Invalid() noexcept { return nullptr; }
    static bool IsValid(Handle handle) noexcept { return handle != nullptr; }
    static void Close(Handle handle) noexcept { CloseFunction(handle); }
};

using ScopedKernelHandle = ScopedHandle<NullInvalidTraits<HANDLE, &::CloseHandle>>;
using ScopedIcon = ScopedHandle<NullInvalidTraits<HICON, &::DestroyIcon>>;
using ScopedMenu = ScopedHandle<NullInvalidTraits<HMENU, &::DestroyMenu>>;
using ScopedHook = ScopedHandle<NullInvalidTraits<HHOOK, &::UnhookWindowsHookEx>>;
using ScopedWindow = ScopedHandle<NullInvalidTraits<HWND, &::DestroyWindow>>;

} // namespace kavrel::win
