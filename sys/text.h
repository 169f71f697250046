// Text and path helpers shared by every job.
//
// Paths and values live in fixed buffers of MAX_PATH (260) bytes, as the
// Windows calls they are handed to expect. Composing a path never writes
// past its buffer and never cuts a path short: a path that does not fit
// makes the composition fail, and the step that wanted it does not run.
#pragma once

#include <cstddef>
#include <string>

#include "platform/winapi.h"

// The size of every path and value buffer.
constexpr size_t kPathSize = MAX_PATH;

// printf-style composition into `out` (of `size` bytes). False, with an
// empty `out`, when the result would not fit with its terminating NUL.
bool ComposeText(char* out, size_t size, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;

// Copies `text` into `out`; false, with an empty `out`, when it does not fit.
bool CopyText(char* out, size_t size, const char* text);

// Case-insensitive equality of two ANSI texts, as the run-time library's
// multibyte-aware comparison sees it.
bool SameText(const char* a, const char* b);

// The text with its ASCII letters folded to upper or lower case; every other
// byte as it is. Windows 9x compares hardware keys and IDs this way.
std::string UpperAscii(const char* text);
std::string LowerAscii(const char* text);

// Whether `text` begins with `prefix`, ignoring the case of ASCII letters.
bool StartsWithAscii(const char* text, const char* prefix);

// Whether the last character of `text` is a backslash (a multibyte-aware
// test: the trail byte of a double-byte character never counts).
bool EndsWithBackslash(const char* text);

// The part of a path after its last backslash (all of it without one).
const char* LastPathComponent(const char* path);

// Length of `text` within its first `size` bytes (size when no NUL).
size_t BoundedLength(const char* text, size_t size);
