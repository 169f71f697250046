// Owners of Windows handles: each closes its handle when it goes out of
// scope, so that no path through a step leaves a key, service, device set,
// search, library, file, process or token handle open.
//
// An owner is named by its handle type and the function that closes it;
// the third argument says which values mean "no handle": null for most
// handles, INVALID_HANDLE_VALUE for the ones that use it, and both for
// kernel handles (process and token functions give null, file functions
// INVALID_HANDLE_VALUE). A failed close is not retried; Close() reports it.
#pragma once

#include "platform/winapi.h"

// Which handle values mean "no handle", and which of them an empty owner
// holds.
struct NullIsNone {
    template <typename Handle>
    static Handle Empty() { return Handle(); }
    template <typename Handle>
    static bool IsNone(Handle handle) { return handle == Handle(); }
};
struct InvalidIsNone {
    template <typename Handle>
    static Handle Empty() { return INVALID_HANDLE_VALUE; }
    template <typename Handle>
    static bool IsNone(Handle handle) { return handle == INVALID_HANDLE_VALUE; }
};
struct NullOrInvalidIsNone {
    template <typename Handle>
    static Handle Empty() { return Handle(); }
    template <typename Handle>
    static bool IsNone(Handle handle) { return handle == Handle() || handle == INVALID_HANDLE_VALUE; }
};

template <typename Handle, auto CloseFunction, typename None = NullIsNone>
class UniqueAny {
public:
    UniqueAny() = default;
    explicit UniqueAny(Handle handle) : handle_(handle) {}
    ~UniqueAny() { Reset(); }
    UniqueAny(const UniqueAny&) = delete;
    UniqueAny& operator=(const UniqueAny&) = delete;
    UniqueAny(UniqueAny&& other) noexcept : handle_(other.Release()) {}
    UniqueAny& operator=(UniqueAny&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }

    Handle Get() const { return handle_; }
    bool Valid() const { return !None::IsNone(handle_); }
    explicit operator bool() const { return Valid(); }

    // For functions that return a handle through an out argument. Any
    // handle held before is released first.
    Handle* Receive() {
        Reset();
        return &handle_;
    }

    // Gives the handle up without closing it.
    Handle Release() {
        const Handle handle = handle_;
        handle_ = Empty();
        return handle;
    }

    // Closes the handle now; returns what the close function returned
    // (its "nothing done" value when there was no handle).
    auto Close() {
        decltype(CloseFunction(handle_)) result{};
        if (Valid()) result = CloseFunction(handle_);
        handle_ = Empty();
        return result;
    }

    void Reset() { Reset(Empty()); }
    void Reset(Handle handle) {
        if (Valid()) CloseFunction(handle_);
        handle_ = handle;
    }

private:
    static Handle Empty() { return None::template Empty<Handle>(); }

    Handle handle_ = Empty();
};

using UniqueRegKey = UniqueAny<HKEY, ::RegCloseKey>;
using UniqueServiceHandle = UniqueAny<SC_HANDLE, ::CloseServiceHandle>;
using UniqueServiceLock = UniqueAny<SC_LOCK, ::UnlockServiceDatabase>;
using UniqueDeviceInfoSet = UniqueAny<HDEVINFO, ::SetupDiDestroyDeviceInfoList, InvalidIsNone>;
using UniqueLibrary = UniqueAny<HMODULE, ::FreeLibrary>;
using UniqueFindHandle = UniqueAny<HANDLE, ::FindClose, InvalidIsNone>;
using UniqueKernelHandle = UniqueAny<HANDLE, ::CloseHandle, NullOrInvalidIsNone>;
