// Little-endian fields in byte strings, as Windows lays out REG_DWORD data,
// security descriptors and the other binary structures the emulator keeps
// as raw bytes. The one byte writer and reader of the emulator.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace sim {

// The four bytes of `value`, least significant first.
inline std::string Le32(std::uint32_t value) {
    std::string out(4, '\0');
    for (size_t i = 0; i < 4; ++i) out[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    return out;
}

// Appends `count` bytes of `value`, least significant first.
inline void AppendLe(std::string& out, std::uint64_t value, size_t count) {
    for (size_t i = 0; i < count; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

// Overwrites `count` bytes at `at` (which must lie inside `out`).
inline void PutLe(std::string& out, size_t at, std::uint64_t value, size_t count) {
    for (size_t i = 0; i < count; ++i) out[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

// Reads `count` bytes at `at`, least significant first; 0 past the end.
inline std::uint64_t GetLe(std::string_view data, size_t at, size_t count) {
    std::uint64_t value = 0;
    for (size_t i = 0; i < count && at + i < data.size(); ++i)
        value |= static_cast<std::uint64_t>(static_cast<unsigned char>(data[at + i])) << (8 * i);
    return value;
}

}  // namespace sim
