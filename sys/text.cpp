#include "sys/text.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

bool ComposeText(char* out, size_t size, const char* format, ...) {
    if (!out || size == 0) return false;
    va_list args;
    va_start(args, format);
    const int written = std::vsnprintf(out, size, format, args);
    va_end(args);
    if (written < 0 || static_cast<size_t>(written) >= size) {
        out[0] = '\0';
        return false;
    }
    return true;
}

bool CopyText(char* out, size_t size, const char* text) {
    if (!out || size == 0) return false;
    const size_t length = text ? std::strlen(text) : 0;
    if (length >= size) {
        out[0] = '\0';
        return false;
    }
    if (length) std::memcpy(out, text, length);
    out[length] = '\0';
    return true;
}

bool SameText(const char* a, const char* b) {
    return _mbsicmp(reinterpret_cast<const unsigned char*>(a), reinterpret_cast<const unsigned char*>(b)) == 0;
}

bool EndsWithBackslash(const char* text) {
    if (!text || !*text) return false;
    const char* end = text + std::strlen(text);
    return *CharPrevA(text, end) == '\\';
}

const char* LastPathComponent(const char* path) {
    const char* slash = std::strrchr(path, '\\');
    return slash ? slash + 1 : path;
}

size_t BoundedLength(const char* text, size_t size) {
    size_t length = 0;
    while (length < size && text[length] != '\0') ++length;
    return length;
}

namespace {

enum class LetterCase { Upper, Lower };

// The one place that folds ASCII letters.
char FoldAscii(char c, LetterCase to) {
    if (to == LetterCase::Upper && c >= 'a' && c <= 'z') return static_cast<char>(c - 'a' + 'A');
    if (to == LetterCase::Lower && c >= 'A' && c <= 'Z') return static_cast<char>(c - 'A' + 'a');
    return c;
}

std::string Folded(const char* text, LetterCase to) {
    std::string out = text ? text : "";
    for (char& c : out) c = FoldAscii(c, to);
    return out;
}

}  // namespace

std::string UpperAscii(const char* text) { return Folded(text, LetterCase::Upper); }

std::string LowerAscii(const char* text) { return Folded(text, LetterCase::Lower); }

bool StartsWithAscii(const char* text, const char* prefix) {
    if (!text || !prefix) return false;
    for (; *prefix; ++text, ++prefix) {
        if (FoldAscii(*text, LetterCase::Upper) != FoldAscii(*prefix, LetterCase::Upper)) return false;
    }
    return true;
}
