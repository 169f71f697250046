// The run-time library's case functions, for the single-byte code page the
// emulated machines use.
#include "sim/include/windows.h"

int _mbsicmp(const unsigned char* left, const unsigned char* right) {
    // The emulated machines use a single-byte code page, where the
    // multibyte comparison folds ASCII letters; the result orders by the
    // lower-cased bytes, as the run-time library does.
    for (;; ++left, ++right) {
        unsigned a = *left;
        unsigned b = *right;
        if (a == b) {
            if (a == 0) return 0;
            continue;
        }
        if (a >= 'A' && a <= 'Z') a += 'a' - 'A';
        if (b >= 'A' && b <= 'Z') b += 'a' - 'A';
        if (a != b) return a < b ? -1 : 1;
    }
}

char* _strupr(char* text) {
    for (char* p = text; p && *p; ++p) {
        if (*p >= 'a' && *p <= 'z') *p = static_cast<char>(*p - 'a' + 'A');
    }
    return text;
}

char* _strlwr(char* text) {
    for (char* p = text; p && *p; ++p) {
        if (*p >= 'A' && *p <= 'Z') *p = static_cast<char>(*p - 'A' + 'a');
    }
    return text;
}

