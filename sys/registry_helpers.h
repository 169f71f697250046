// The small registry functions every job reads and writes through.
// They never show a message; they report only through their results.
#pragma once

#include "platform/winapi.h"

// Reads a text value of `subKey` below `root` (of `root` itself when subKey
// is null) into `out`, offering `size` bytes (at most 260). 1 when the text
// is in `out`; 0 when it was not read, and then `out` is left untouched. A
// value that would not fit in `size` bytes with its terminating NUL counts
// as not read.
int RegQueryString(HKEY root, const char* subKey, const char* valueName, char* out, DWORD size);

// Reads a value of the product profile's key into `out`, offering `size`
// bytes. 1 when it was read and is not empty (the empty text, a single NUL,
// counts as read); 0 otherwise. Needs full access to the key.
int RegReadString(char* out, const char* valueName, DWORD size);

// Writes `text` as a REG_SZ value of the product profile's key (creating
// the key). Returns the Windows error code of the first step that failed,
// or ERROR_SUCCESS.
LONG RegWriteString(const char* text, const char* valueName);

// Opens or creates `subKey` below `root` with full access; on Windows 2000
// and XP the key's access list is opened to everyone. 1 with the key in
// `key` (the caller closes it), 0 on failure.
int RegCreateOpenKey(HKEY root, const char* subKey, HKEY* key);

// Makes sure the utility's key (HKLM\Software\Zelmar\TavarinApp) exists;
// 1 when it does, 0 on failure.
int CreateUtilityKey();
