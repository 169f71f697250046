// What an operation of a machine's model gives back: a value, or the
// Windows error that kept it from producing one.
//
// The models name their failures with Windows' error codes because those
// are what a caller of the emulated functions can observe. They never set
// the last error themselves: the entry points in sim/dlls do that, through
// sim::dll::Fail, when the call they emulate fails. An operation without a
// value returns a plain DWORD: ERROR_SUCCESS (0) or the error.
#pragma once

#include <optional>
#include <utility>

#include "sim/include/types.h"

namespace sim {

// An error as a value: `return WinError{ERROR_FILE_NOT_FOUND};`. Never 0.
struct WinError {
    DWORD code;
};

template <typename T>
class Result {
public:
    Result(T value) : value_(std::move(value)) {}  // NOLINT: a value is a success
    Result(WinError error) : error_(error.code) {}  // NOLINT: an error is a failure

    explicit operator bool() const { return value_.has_value(); }
    // ERROR_SUCCESS when there is a value.
    DWORD error() const { return error_; }

    const T& operator*() const { return *value_; }
    T& operator*() { return *value_; }
    const T* operator->() const { return &*value_; }
    T* operator->() { return &*value_; }

private:
    std::optional<T> value_;
    DWORD error_ = 0;
};

}  // namespace sim
