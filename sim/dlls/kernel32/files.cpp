// Kernel32's file and folder functions, and the profile-string functions
// that read and edit initialization (INI) files on the emulated drive.
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "sim/include/windows.h"
#include "sim/machine/filesystem.h"
#include "sim/machine/machine.h"
#include "sim/base/text.h"

using sim::Current;

namespace {

BOOL Fail(DWORD error) {
    Current().lastError = error;
    return FALSE;
}

// GetWindowsDirectoryA and GetSystemDirectoryA: the length without the NUL
// when the path fits, else the size needed (NUL included), buffer untouched.
UINT CopyFolderPath(const std::string& path, LPSTR buffer, UINT size) {
    const UINT length = static_cast<UINT>(path.size());
    if (!buffer || size <= length) return length + 1;
    std::memcpy(buffer, path.c_str(), length + 1);
    return length;
}

// ---- initialization files -----------------------------------------------------

struct Line {
    std::string text;
    std::string end;  // "\r\n", "\n", "\r", or "" on a last line without one
};

std::vector<Line> SplitLines(const std::string& content) {
    std::vector<Line> lines;
    size_t i = 0;
    while (i < content.size()) {
        const size_t j = content.find_first_of("\r\n", i);
        if (j == std::string::npos) {
            lines.push_back({content.substr(i), ""});
            break;
        }
        const size_t endLength = (content[j] == '\r' && j + 1 < content.size() && content[j + 1] == '\n') ? 2 : 1;
        lines.push_back({content.substr(i, j - i), content.substr(j, endLength)});
        i = j + endLength;
    }
    return lines;
}

std::string JoinLines(const std::vector<Line>& lines) {
    std::string out;
    for (const Line& l : lines) out += l.text + l.end;
    return out;
}

bool SectionHeader(const std::string& line, std::string* name) {
    const std::string t = sim::Trim(line);
    if (t.empty() || t[0] != '[') return false;
    const size_t close = t.find(']');
    *name = sim::Trim(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
    return true;
}

// "key=value"; lines without '=' and ';' comments are no keys.
bool KeyLine(const std::string& line, std::string* key, std::string* value) {
    const std::string t = sim::Trim(line);
    if (t.empty() || t[0] == ';' || t[0] == '[') return false;
    const size_t eq = t.find('=');
    if (eq == std::string::npos) return false;
    *key = sim::Trim(t.substr(0, eq));
    if (value) *value = sim::Trim(t.substr(eq + 1));
    return true;
}

// The lines of the first section of that name: its header and the lines up
// to the next header.
struct Span {
    size_t header;
    size_t end;
};

std::optional<Span> FindSection(const std::vector<Line>& lines, const std::string& section) {
    std::string name;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (!SectionHeader(lines[i].text, &name) || !sim::EqualNoCase(name, section)) continue;
        size_t end = i + 1;
        while (end < lines.size() && !SectionHeader(lines[end].text, &name)) ++end;
        return Span{i, end};
    }
    return std::nullopt;
}

std::optional<size_t> FindKey(const std::vector<Line>& lines, const Span& span, const std::string& key) {
    std::string name;
    for (size_t i = span.header + 1; i < span.end; ++i) {
        if (KeyLine(lines[i].text, &name, nullptr) && sim::EqualNoCase(name, key)) return i;
    }
    return std::nullopt;
}

// WritePrivateProfileStringA's edit of the file text. Everything it does
// not touch stays as it was, line ends included.
std::string EditProfile(const std::string& content, const std::string& section, const char* key, const char* value) {
    std::vector<Line> lines = SplitLines(content);
    const std::optional<Span> span = FindSection(lines, section);
    if (!key) {  // the whole section goes
        if (span) {
            lines.erase(lines.begin() + static_cast<long>(span->header), lines.begin() + static_cast<long>(span->end));
        }
        return JoinLines(lines);
    }
    const std::optional<size_t> at = span ? FindKey(lines, *span, key) : std::nullopt;
    if (!value) {  // the key goes
        if (at) lines.erase(lines.begin() + static_cast<long>(*at));
        return JoinLines(lines);
    }
    if (at) {
        // The first line of that key gets the new value in place.
        std::string& text = lines[*at].text;
        text = text.substr(0, text.find('=') + 1) + value;
    } else if (span) {
        // A new key goes after the section's last line that is not blank.
        size_t insert = span->end;
        while (insert > span->header + 1 && sim::Trim(lines[insert - 1].text).empty()) --insert;
        if (lines[insert - 1].end.empty()) lines[insert - 1].end = "\r\n";
        lines.insert(lines.begin() + static_cast<long>(insert), Line{std::string(key) + "=" + value, "\r\n"});
    } else {
        if (!lines.empty() && lines.back().end.empty()) lines.back().end = "\r\n";
        lines.push_back({"[" + section + "]", "\r\n"});
        lines.push_back({std::string(key) + "=" + value, "\r\n"});
    }
    return JoinLines(lines);
}

// A file name without a folder is looked for in the Windows folder; no
// name at all means WIN.INI.
std::string ProfilePath(const char* fileName) {
    const std::string name = fileName ? fileName : "win.ini";
    const bool hasFolder = name.find_first_of("\\/") != std::string::npos || (name.size() >= 2 && name[1] == ':');
    if (hasFolder) return name;
    const std::string& windows = Current().WindowsDir();
    return (!windows.empty() && windows.back() == '\\') ? windows + name : windows + "\\" + name;
}

// One string: truncated to the buffer, always NUL-terminated.
DWORD CopyProfileString(const std::string& text, LPSTR buffer, DWORD size) {
    const size_t length = text.size() < size ? text.size() : size - 1;
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
    return static_cast<DWORD>(length);
}

// A list of names, each ending with a NUL and the list with one more. When
// it does not fit, the last name is cut and two NULs end the buffer: the
// result is then size - 2 (also when the list would fill the buffer exactly,
// as Windows counts it).
DWORD CopyProfileList(const std::vector<std::string>& names, LPSTR buffer, DWORD size) {
    std::string list;
    for (const std::string& n : names) {
        list += n;
        list += '\0';
    }
    if (size == 1) {
        buffer[0] = '\0';
        return 0;
    }
    if (list.size() + 2 <= size) {
        std::memcpy(buffer, list.data(), list.size());
        buffer[list.size()] = '\0';
        if (list.empty()) buffer[1] = '\0';
        return static_cast<DWORD>(list.size());
    }
    std::memcpy(buffer, list.data(), size - 2);
    buffer[size - 2] = '\0';
    buffer[size - 1] = '\0';
    return size - 2;
}

std::string StripQuotes(const std::string& value) {
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0]) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

}  // namespace

namespace sim::profile {

std::vector<std::string> SectionNames(const std::string& text) {
    std::vector<std::string> names;
    std::string name;
    for (const Line& l : SplitLines(text)) {
        if (SectionHeader(l.text, &name)) names.push_back(name);
    }
    return names;
}

std::optional<std::vector<Entry>> SectionEntries(const std::string& text, const std::string& section) {
    const std::vector<Line> lines = SplitLines(text);
    const std::optional<Span> span = FindSection(lines, section);
    if (!span) return std::nullopt;
    std::vector<Entry> entries;
    Entry e;
    for (size_t i = span->header + 1; i < span->end; ++i) {
        if (KeyLine(lines[i].text, &e.key, &e.value)) entries.push_back(e);
    }
    return entries;
}

}  // namespace sim::profile

// ---- folders of the machine -----------------------------------------------------

UINT GetWindowsDirectoryA(LPSTR buffer, UINT size) { return CopyFolderPath(Current().WindowsDir(), buffer, size); }

UINT GetSystemDirectoryA(LPSTR buffer, UINT size) { return CopyFolderPath(Current().SystemDir(), buffer, size); }

// ---- attributes -----------------------------------------------------------------

DWORD GetFileAttributesA(LPCSTR path) {
    DWORD attributes = 0;
    if (DWORD error = Current().files().Win32GetAttributes(path, &attributes)) {
        Current().lastError = error;
        return INVALID_FILE_ATTRIBUTES;
    }
    return attributes;
}

BOOL SetFileAttributesA(LPCSTR path, DWORD attributes) {
    if (DWORD error = Current().files().Win32SetAttributes(path, attributes)) return Fail(error);
    return TRUE;
}

// ---- searching ------------------------------------------------------------------

HANDLE FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA data) {
    HANDLE handle = INVALID_HANDLE_VALUE;
    if (DWORD error = Current().files().Win32FindFirst(pattern, data, &handle)) {
        Current().lastError = error;
        return INVALID_HANDLE_VALUE;
    }
    return handle;
}

BOOL FindNextFileA(HANDLE find, LPWIN32_FIND_DATAA data) {
    if (DWORD error = Current().files().Win32FindNext(find, data)) return Fail(error);
    return TRUE;
}

BOOL FindClose(HANDLE find) {
    if (DWORD error = Current().files().Win32FindClose(find)) return Fail(error);
    return TRUE;
}

// ---- files and folders -----------------------------------------------------------

BOOL DeleteFileA(LPCSTR path) {
    if (DWORD error = Current().files().Win32DeleteFile(path)) return Fail(error);
    return TRUE;
}

BOOL CopyFileA(LPCSTR existing, LPCSTR target, BOOL failIfExists) {
    if (DWORD error = Current().files().Win32CopyFile(existing, target, failIfExists != FALSE)) return Fail(error);
    Current().lastError = ERROR_SUCCESS;
    return TRUE;
}

BOOL MoveFileExA(LPCSTR existing, LPCSTR target, DWORD flags) {
    if (DWORD error = Current().files().Win32MoveFile(existing, target, flags)) return Fail(error);
    return TRUE;
}

BOOL CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES) {
    if (DWORD error = Current().files().Win32CreateFolder(path)) return Fail(error);
    return TRUE;
}

BOOL RemoveDirectoryA(LPCSTR path) {
    if (DWORD error = Current().files().Win32RemoveFolder(path)) return Fail(error);
    return TRUE;
}

HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES, DWORD disposition, DWORD flags,
                   HANDLE) {
    sim::Machine& m = Current();
    HANDLE handle = INVALID_HANDLE_VALUE;
    bool existed = false;
    if (DWORD error = m.files().Win32CreateFile(path, access, share, disposition, flags, &handle, &existed)) {
        m.lastError = error;
        return INVALID_HANDLE_VALUE;
    }
    // OPEN_ALWAYS and CREATE_ALWAYS succeed on an existing file and say so.
    const bool always = disposition == OPEN_ALWAYS || disposition == CREATE_ALWAYS;
    m.lastError = (always && existed) ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS;
    return handle;
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPVOID) {
    if (DWORD error = Current().files().Win32ReadFile(file, buffer, toRead, read)) return Fail(error);
    return TRUE;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPVOID) {
    if (DWORD error = Current().files().Win32WriteFile(file, buffer, toWrite, written)) return Fail(error);
    return TRUE;
}

// ---- profile strings --------------------------------------------------------------

BOOL WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR fileName) {
    sim::Machine& m = Current();
    // All three null only flushes the cache, which Windows reports as FALSE.
    if (!section && !key && !value) return FALSE;
    if (!section) return Fail(ERROR_FILE_NOT_FOUND);
    if (fileName && !*fileName) return Fail(ERROR_ACCESS_DENIED);
    const std::string path = ProfilePath(fileName);
    std::string text;
    DWORD error = m.files().Win32ReadWhole(path.c_str(), &text);
    if (error && error != ERROR_FILE_NOT_FOUND) return Fail(error);
    // Windows writes the file even when nothing changes, creating it empty
    // when a deletion finds no file.
    error = m.files().Win32WriteWhole(path.c_str(), EditProfile(text, section, key, value));
    if (error) return Fail(error);
    std::string what = "[" + std::string(section) + "]";
    if (!key) {
        what += " deleted";
    } else {
        what += std::string(" ") + key + (value ? "=" + std::string(value) : std::string(" deleted"));
    }
    m.Record("file", "WritePrivateProfileString " + path + " " + what);
    return TRUE;
}

DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultValue, LPSTR buffer, DWORD size,
                               LPCSTR fileName) {
    sim::Machine& m = Current();
    if (!buffer || size == 0) return 0;
    std::string text;
    if (DWORD error = m.files().Win32ReadWhole(ProfilePath(fileName).c_str(), &text)) {
        text.clear();
        m.lastError = error == ERROR_PATH_NOT_FOUND ? static_cast<DWORD>(ERROR_FILE_NOT_FOUND) : error;
    }
    if (!section) return CopyProfileList(sim::profile::SectionNames(text), buffer, size);
    // An empty section name finds nothing, not a "[]" section.
    const auto entries = *section ? sim::profile::SectionEntries(text, section) : std::nullopt;
    if (!key) {
        std::vector<std::string> keys;
        if (entries) {
            for (const auto& e : *entries) {
                if (!e.key.empty()) keys.push_back(e.key);
            }
        }
        return CopyProfileList(keys, buffer, size);
    }
    if (entries && *key) {
        for (const auto& e : *entries) {
            if (sim::EqualNoCase(e.key, key)) return CopyProfileString(StripQuotes(e.value), buffer, size);
        }
    }
    // The default loses its trailing blanks.
    std::string fallback = defaultValue ? defaultValue : "";
    while (!fallback.empty() && fallback.back() == ' ') fallback.pop_back();
    return CopyProfileString(fallback, buffer, size);
}
