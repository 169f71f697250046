// What every entry point of the emulated DLLs shares.
//
// An entry point turns its handle into the model object (or fails), checks
// its arguments, asks whether a test or scenario wants the call to fail,
// lets the model act, and copies the result out into the caller's buffers.
// The models speak C++ (values, strings, enums); only this layer knows the
// Win32 buffers and their size rules, and it applies them through the
// helpers below, once.
//
// A failed call sets the thread's last error and adds a line to the
// transcript's "failure" channel: "<call> <object> -> error <n>".
#pragma once

#include <string_view>

#include "sim/include/types.h"

namespace sim::dll {

// Records the failure and sets the last error; returns `error`, for the
// functions that return their error code (the registry's).
DWORD Fail(std::string_view call, std::string_view object, DWORD error);
// Records the failure without touching the last error, for the functions
// that report through their result only (the registry's never set it).
DWORD FailQuietly(std::string_view call, std::string_view object, DWORD error);

// The error a test or scenario asked `call` on `object` to fail with, or 0.
// A non-zero answer has been recorded as a failure already; the caller sets
// the last error or returns it, as its function does.
DWORD Injected(std::string_view call, std::string_view object);

// ---- copying out, with Windows' size rules ----------------------------------

// Kernel32's rule for texts (GetWindowsDirectoryA, GetSystemDirectoryA,
// GetShortPathNameA, ...): when the text fits with its NUL it is copied and
// its length without the NUL is returned; otherwise (or with no buffer) the
// buffer is left as it was and the size needed, NUL included, is returned.
DWORD CopyTextOut(std::string_view text, char* buffer, DWORD size);

// The same text cut to the buffer and still terminated, as
// GetModuleFileNameA and GetWindowTextA do; returns the characters copied
// (without the NUL) and whether all of the text fitted.
DWORD CopyTextTruncated(std::string_view text, char* buffer, DWORD size, bool* complete);

// The rule for data with an in-out size (RegQueryValueExA,
// SetupDiGetDeviceRegistryPropertyA, QueryServiceConfigA, ...). `*size`
// always ends as the size of the data.
enum class CopyOut {
    Copied,    // it fitted and was copied
    SizeOnly,  // no buffer was given: only the size is reported
    TooSmall,  // the buffer is too small and was left as it was
};
CopyOut CopyDataOut(std::string_view data, void* buffer, DWORD offered, DWORD* size);

// The rule for names with a count in characters (RegEnumKeyExA,
// RegEnumValueA): a name fits when the count leaves room for its NUL; then
// it is copied and the count becomes its length without the NUL. A name
// that does not fit leaves buffer and count as they were: false.
bool CopyNameOut(std::string_view name, char* buffer, DWORD* count);

}  // namespace sim::dll
