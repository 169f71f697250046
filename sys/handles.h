// Owners of Windows handles: each closes its handle when it goes out of
// scope, so that no path through a step leaves a key, service, device set,
// search, library or process handle open.
#pragma once

#include <utility>

#include "platform/winapi.h"

// A generic owner: Traits::Close(handle) releases, Traits::Invalid() is the
// value that means "no handle".
template <typename Traits>
class UniqueHandle {
public:
    using Handle = typename Traits::Handle;

    UniqueHandle() = default;
    explicit UniqueHandle(Handle handle) : handle_(handle) {}
    ~UniqueHandle() { Reset(); }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }

    Handle Get() const { return handle_; }
    bool Valid() const { return handle_ != Traits::Invalid(); }
    explicit operator bool() const { return Valid(); }

    // For functions that return a handle through an out argument. Any
    // handle held before is released first.
    Handle* Receive() {
        Reset();
        return &handle_;
    }

    Handle Release() {
        Handle handle = handle_;
        handle_ = Traits::Invalid();
        return handle;
    }

    // Closes the handle now; returns what the close call returned.
    auto Close() {
        decltype(Traits::Close(handle_)) result{};
        if (Valid()) result = Traits::Close(handle_);
        handle_ = Traits::Invalid();
        return result;
    }

    void Reset(Handle handle = Traits::Invalid()) {
        if (Valid()) Traits::Close(handle_);
        handle_ = handle;
    }

private:
    Handle handle_ = Traits::Invalid();
};

struct RegKeyTraits {
    using Handle = HKEY;
    static Handle Invalid() { return nullptr; }
    static LONG Close(Handle key) { return RegCloseKey(key); }
};

struct ServiceHandleTraits {
    using Handle = SC_HANDLE;
    static Handle Invalid() { return nullptr; }
    static BOOL Close(Handle handle) { return CloseServiceHandle(handle); }
};

struct ServiceLockTraits {
    using Handle = SC_LOCK;
    static Handle Invalid() { return nullptr; }
    static BOOL Close(Handle lock) { return UnlockServiceDatabase(lock); }
};

struct DeviceInfoSetTraits {
    using Handle = HDEVINFO;
    static Handle Invalid() { return INVALID_HANDLE_VALUE; }
    static BOOL Close(Handle set) { return SetupDiDestroyDeviceInfoList(set); }
};

struct LibraryTraits {
    using Handle = HMODULE;
    static Handle Invalid() { return nullptr; }
    static BOOL Close(Handle module) { return FreeLibrary(module); }
};

struct FindHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return INVALID_HANDLE_VALUE; }
    static BOOL Close(Handle find) { return FindClose(find); }
};

// Process, file and token handles: closed with CloseHandle; both null and
// INVALID_HANDLE_VALUE mean "none" (file calls use the latter).
struct KernelHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return nullptr; }
    static BOOL Close(Handle handle) { return CloseHandle(handle); }
};

using UniqueRegKey = UniqueHandle<RegKeyTraits>;
using UniqueServiceHandle = UniqueHandle<ServiceHandleTraits>;
using UniqueServiceLock = UniqueHandle<ServiceLockTraits>;
using UniqueDeviceInfoSet = UniqueHandle<DeviceInfoSetTraits>;
using UniqueLibrary = UniqueHandle<LibraryTraits>;
using UniqueFindHandle = UniqueHandle<FindHandleTraits>;
using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;

// A file from CreateFileA, whose "no handle" value is INVALID_HANDLE_VALUE.
struct FileHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return INVALID_HANDLE_VALUE; }
    static BOOL Close(Handle handle) { return CloseHandle(handle); }
};
using UniqueFileHandle = UniqueHandle<FileHandleTraits>;
