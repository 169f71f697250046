// Removing files: at once, or on Windows 98 SE / Me at the next start of
// Windows through the "rename" section of WININIT.INI.
#pragma once

// Whether a search finds `path` itself (a file or a folder).
bool PathFound(const char* path);

// On Windows 98 SE / Me: clears the attributes of `path` and deletes it;
// when that fails (the file is in use, or `path` is a folder), adds a line
// "NUL=<path>" to the "rename" section of WININIT.INI in the Windows folder,
// which Windows carries out at its next start. Every other line and
// section of the file stays; a path already scheduled is not added again;
// the path is written in its short (8.3) form when Windows gives one,
// since the start-up processing runs before long names exist.
// 1 when the file was deleted or its deletion scheduled; 0 for a null
// path, on any other Windows, for a path that is not found, or when the
// scheduling failed. No restart is asked for.
int DeleteFileNowOrAtBoot(const char* path);
