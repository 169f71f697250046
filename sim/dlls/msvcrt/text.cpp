// The run-time library's case functions, for the single-byte code page the
// emulated machines use. The folding itself is the emulator's one
// (sim/base/text.h).
#include "sim/base/text.h"
#include "sim/include/windows.h"

int _mbsicmp(const unsigned char* left, const unsigned char* right) {
    // In a single-byte code page the multibyte comparison folds ASCII
    // letters; the result orders by the lower-cased bytes, as the run-time
    // library does.
    for (;; ++left, ++right) {
        const unsigned char rawA = *left;
        const unsigned char rawB = *right;
        if (rawA == rawB) {
            if (rawA == 0) return 0;
            continue;
        }
        const auto a = static_cast<unsigned char>(sim::LowerChar(static_cast<char>(rawA)));
        const auto b = static_cast<unsigned char>(sim::LowerChar(static_cast<char>(rawB)));
        if (a != b) return a < b ? -1 : 1;
    }
}

char* _strupr(char* text) {
    for (char* p = text; p && *p; ++p) *p = sim::UpperChar(*p);
    return text;
}

char* _strlwr(char* text) {
    for (char* p = text; p && *p; ++p) *p = sim::LowerChar(*p);
    return text;
}
