// How the transcript's "registry" channel shows a value: short and
// readable, strings quoted, numbers in hexadecimal, other data as hex
// bytes, anything long cut with "...".
#include <string>

#include "sim/base/bytes.h"
#include "sim/base/text.h"
#include "sim/dlls/advapi32/registry_calls.h"

namespace sim::dll {

namespace {

constexpr size_t kShownChars = 100;  // of a string, before "..."
constexpr size_t kShownBytes = 32;   // of binary data, before "..."
constexpr size_t kDwordSize = 4;

const char* TypeName(DWORD type) {
    switch (type) {
        case REG_NONE: return "REG_NONE";
        case REG_SZ: return "REG_SZ";
        case REG_EXPAND_SZ: return "REG_EXPAND_SZ";
        case REG_BINARY: return "REG_BINARY";
        case REG_DWORD: return "REG_DWORD";
        case REG_DWORD_BIG_ENDIAN: return "REG_DWORD_BIG_ENDIAN";
        case REG_LINK: return "REG_LINK";
        case REG_MULTI_SZ: return "REG_MULTI_SZ";
        default: return nullptr;
    }
}

// A string in double quotes; a NUL inside it shows as \0.
std::string Quoted(std::string_view text) {
    std::string out = "\"";
    for (size_t i = 0; i < text.size() && i < kShownChars; ++i) {
        if (text[i] == '\0') {
            out += "\\0";
        } else {
            out += text[i];
        }
    }
    if (text.size() > kShownChars) out += "...";
    return out + "\"";
}

std::string HexBytes(std::string_view data) {
    if (data.empty()) return "(empty)";
    std::string out;
    for (size_t i = 0; i < data.size() && i < kShownBytes; ++i) {
        if (i) out += ' ';
        out += Hex(static_cast<unsigned char>(data[i]), 2);
    }
    if (data.size() > kShownBytes) out += " ...";
    return out;
}

std::string DataText(DWORD type, std::string_view data) {
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
        if (!data.empty() && data.back() == '\0') data.remove_suffix(1);
        return Quoted(data);
    }
    if (type == REG_MULTI_SZ) {
        std::string out;
        size_t start = 0;
        while (start < data.size()) {
            size_t end = data.find('\0', start);
            if (end == std::string_view::npos) end = data.size();
            if (end == start) break;  // the empty string that ends the list
            out += (out.empty() ? "" : ", ") + Quoted(data.substr(start, end - start));
            start = end + 1;
        }
        return out.empty() ? "(empty list)" : out;
    }
    if (type == REG_DWORD && data.size() == kDwordSize) return "0x" + Hex(GetLe(data, 0, kDwordSize));
    return HexBytes(data);
}

}  // namespace

std::string RegistryValueText(std::string_view name, DWORD type, std::string_view data) {
    const char* typeName = TypeName(type);
    return (name.empty() ? std::string("@") : "\"" + std::string(name) + "\"") + " " +
           (typeName ? std::string(typeName) : "type " + std::to_string(type)) + " " + DataText(type, data);
}

}  // namespace sim::dll
