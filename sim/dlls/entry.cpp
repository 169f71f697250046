#include "sim/dlls/entry.h"

#include <cstring>
#include <string>

#include "sim/machine/machine.h"

namespace sim::dll {

DWORD FailQuietly(std::string_view call, std::string_view object, DWORD error) {
    const std::string number = std::to_string(error);
    constexpr std::string_view kArrow = " -> error ";
    std::string line;
    line.reserve(call.size() + 1 + object.size() + kArrow.size() + number.size());
    line += call;
    if (!object.empty()) {
        line += ' ';
        line += object;
    }
    line += kArrow;
    line += number;
    Current().Record("failure", std::move(line));
    return error;
}

DWORD Fail(std::string_view call, std::string_view object, DWORD error) {
    FailQuietly(call, object, error);
    Current().lastError = error;
    return error;
}

DWORD Injected(std::string_view call, std::string_view object) {
    const DWORD error = Current().faults.Take(call, object);
    if (error != 0) {
        Current().Record("failure", std::string(call) + (object.empty() ? "" : " ") + std::string(object) +
                                        " -> error " + std::to_string(error) + " (on demand)");
    }
    return error;
}

DWORD CopyTextOut(std::string_view text, char* buffer, DWORD size) {
    const DWORD length = static_cast<DWORD>(text.size());
    if (!buffer || size <= length) return length + 1;
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
    return length;
}

DWORD CopyTextTruncated(std::string_view text, char* buffer, DWORD size, bool* complete) {
    const bool fits = text.size() < size;
    if (complete) *complete = fits;
    if (!buffer || size == 0) return 0;
    const DWORD length = fits ? static_cast<DWORD>(text.size()) : size - 1;
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
    return length;
}

CopyOut CopyDataOut(std::string_view data, void* buffer, DWORD offered, DWORD* size) {
    const DWORD needed = static_cast<DWORD>(data.size());
    if (size) *size = needed;
    if (!buffer) return CopyOut::SizeOnly;
    if (offered < needed) return CopyOut::TooSmall;
    if (needed) std::memcpy(buffer, data.data(), needed);
    return CopyOut::Copied;
}

bool CopyNameOut(std::string_view name, char* buffer, DWORD* count) {
    if (!count || !buffer || *count <= name.size()) return false;
    std::memcpy(buffer, name.data(), name.size());
    buffer[name.size()] = '\0';
    *count = static_cast<DWORD>(name.size());
    return true;
}

}  // namespace sim::dll
