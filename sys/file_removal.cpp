#include "sys/file_removal.h"

#include <string>
#include <vector>

#include "app/windows_kind.h"
#include "platform/winapi.h"
#include "sys/handles.h"
#include "sys/text.h"

namespace {

const char kSchedulingFile[] = "WININIT.INI";
const char kRenameSection[] = "rename";
// The key of a "rename" line that deletes its value's file.
const char kDeleteKey[] = "NUL";
// The profile functions of Windows 98 SE / Me handle sections of up to
// 64 KB; a larger "rename" section is not read or rewritten.
constexpr DWORD kMaxSectionSize = 64 * 1024;

// "<Windows folder>\WININIT.INI", with one backslash after a drive root.
bool SchedulingFilePath(char (&out)[kPathSize]) {
    char windows[kPathSize];
    const UINT length = ::GetWindowsDirectoryA(windows, sizeof windows);
    if (length == 0 || length >= sizeof windows) return false;
    return ComposeText(out, sizeof out, EndsWithBackslash(windows) ? "%s%s" : "%s\\%s", windows, kSchedulingFile);
}

// The lines of a section ("key=value" each), as the profile functions
// give them. False when the section cannot be read whole.
bool ReadSectionLines(const char* file, std::vector<std::string>& lines) {
    std::vector<char> buffer(1024);
    for (;;) {
        const DWORD size = static_cast<DWORD>(buffer.size());
        const DWORD length = ::GetPrivateProfileSectionA(kRenameSection, buffer.data(), size, file);
        // A section that does not fit comes back cut, with the length
        // size - 2: grow and read again.
        if (length + 2 < size) {
            lines.clear();
            for (DWORD pos = 0; pos < length && buffer[pos] != '\0';) {
                const std::string line(buffer.data() + pos);
                pos += static_cast<DWORD>(line.size()) + 1;
                lines.push_back(line);
            }
            return true;
        }
        if (size >= kMaxSectionSize) return false;
        buffer.assign(size * 2, '\0');
    }
}

bool WriteSectionLines(const char* file, const std::vector<std::string>& lines) {
    std::string block;
    for (const std::string& line : lines) {
        block += line;
        block += '\0';
    }
    block += '\0';
    return ::WritePrivateProfileSectionA(kRenameSection, block.c_str(), file) != FALSE;
}

// The start-up processing of Windows 98 SE / Me runs in real mode, before
// long file names exist: it needs the short form of the path.
std::string StartUpPath(const char* path) {
    char shortPath[kPathSize];
    const DWORD length = ::GetShortPathNameA(path, shortPath, sizeof shortPath);
    if (length == 0 || length >= sizeof shortPath) return path;
    return shortPath;
}

int ScheduleDeletion(const char* path) {
    char file[kPathSize];
    if (!SchedulingFilePath(file)) return 0;
    {
        // Creates the file when it is missing; never truncates it.
        UniqueKernelHandle opened(::CreateFileA(file, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                                FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!opened) return 0;
    }
    // Each pending deletion is a line of its own: the profile-string writer
    // would keep only one "NUL" key, and every earlier file would stay.
    std::vector<std::string> lines;
    if (!ReadSectionLines(file, lines)) return 0;
    const std::string line = std::string(kDeleteKey) + "=" + StartUpPath(path);
    for (const std::string& existing : lines) {
        if (SameText(existing.c_str(), line.c_str())) return 1;
    }
    lines.push_back(line);
    return WriteSectionLines(file, lines) ? 1 : 0;
}

}  // namespace

bool PathFound(const char* path) {
    if (!path || !*path) return false;
    WIN32_FIND_DATAA data;
    UniqueFindHandle find(::FindFirstFileA(path, &data));
    return find.Valid();
}

int DeleteFileNowOrAtBoot(const char* path) {
    if (!path) return 0;
    if (!IsWin9xKind(CurrentWindowsKind)) return 0;
    ::SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
    if (!PathFound(path)) return 0;
    if (::DeleteFileA(path)) return 1;
    return ScheduleDeletion(path);
}
