// Kernel32's profile-string functions: values of initialization (INI)
// files on the emulated drive, read and edited as sim/formats/ini.h reads
// and edits INI text.
//
// A file name without a folder lies in the Windows folder; no name at all
// means WIN.INI. WritePrivateProfileStringA asks first whether it is to
// fail on demand (its call name and the file's full path), records each
// write on the "file" channel, and fails as the other file functions do;
// GetPrivateProfileStringA never fails: a file it cannot read gives the
// default, with the last error set.
#include <cstring>
#include <string>
#include <vector>

#include "sim/base/text.h"
#include "sim/dlls/entry.h"
#include "sim/dlls/kernel32/file_calls.h"
#include "sim/formats/ini.h"
#include "sim/include/windows.h"
#include "sim/machine/filesystem.h"
#include "sim/machine/machine.h"

using sim::Current;

namespace {

std::string ProfilePath(const char* fileName) {
    const std::string name = fileName ? fileName : "win.ini";
    const bool hasFolder = name.find_first_of("\\/") != std::string::npos || (name.size() >= 2 && name[1] == ':');
    if (hasFolder) return name;
    const std::string& windows = Current().WindowsDir();
    return (!windows.empty() && windows.back() == '\\') ? windows + name : windows + "\\" + name;
}

// One string: cut to the buffer, always NUL-terminated.
DWORD CopyProfileString(const std::string& text, LPSTR buffer, DWORD size) {
    return sim::dll::CopyTextTruncated(text, buffer, size, nullptr);
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

// A value in matching single or double quotes is read without them.
std::string StripQuotes(const std::string& value) {
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0]) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

}  // namespace

namespace {

// Reads the profile file (a missing one is empty), applies `edit` to its
// text and writes the result back, recording `what` on the "file" channel.
// Windows writes the file even when nothing changes, creating it empty when
// a deletion finds no file.
template <typename Edit>
BOOL EditProfile(const char* call, LPCSTR fileName, const Edit& edit, const std::string& what) {
    sim::Machine& m = Current();
    const std::string path = ProfilePath(fileName);
    const std::string object = sim::kernel32::PathObject(path.c_str());
    if (sim::kernel32::FailsOnDemand(call, {path.c_str()})) return FALSE;
    auto failed = [&](DWORD error) {
        sim::dll::Fail(call, object, error);
        return FALSE;
    };
    if (fileName && !*fileName) return failed(ERROR_ACCESS_DENIED);
    if (DWORD error = sim::FileSystem::AnsiPathError(path.c_str())) return failed(error);
    const sim::Result<std::string> text = m.files().ReadWhole(path);
    if (!text && text.error() != ERROR_FILE_NOT_FOUND) return failed(text.error());
    if (DWORD error = m.files().WriteWhole(path, edit(text ? *text : std::string()))) return failed(error);
    m.Record("file", std::string(call == std::string("WritePrivateProfileStringA") ? "WritePrivateProfileString "
                                                                                   : "WritePrivateProfileSection ") +
                         path + " " + what);
    return TRUE;
}

}  // namespace

BOOL WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR fileName) {
    constexpr const char* kCall = "WritePrivateProfileStringA";
    // All three null only flushes the cache, which Windows reports as FALSE.
    if (!section && !key && !value) return FALSE;
    if (!section) {
        sim::dll::Fail(kCall, sim::kernel32::PathObject(ProfilePath(fileName).c_str()), ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    std::string what = "[" + std::string(section) + "]";
    if (!key) {
        what += " deleted";
    } else {
        what += std::string(" ") + key + (value ? "=" + std::string(value) : std::string(" deleted"));
    }
    return EditProfile(
        kCall, fileName,
        [&](const std::string& old) {
            return !key     ? sim::ini::WithoutSection(old, section)
                   : !value ? sim::ini::WithoutKey(old, section, key)
                            : sim::ini::WithValue(old, section, key, value);
        },
        what);
}

BOOL WritePrivateProfileSectionA(LPCSTR section, LPCSTR lines, LPCSTR fileName) {
    constexpr const char* kCall = "WritePrivateProfileSectionA";
    if (!section) {
        sim::dll::Fail(kCall, sim::kernel32::PathObject(ProfilePath(fileName).c_str()), ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // The lines come as a list of strings, each ending with a NUL and the
    // list with one more; no list deletes the section.
    std::vector<std::string> body;
    for (const char* line = lines; line && *line; line += std::strlen(line) + 1) body.emplace_back(line);
    std::string what = "[" + std::string(section) + "]";
    what += lines ? " " + std::to_string(body.size()) + " lines" : std::string(" deleted");
    return EditProfile(
        kCall, fileName,
        [&](const std::string& old) {
            return lines ? sim::ini::WithSectionLines(old, section, body) : sim::ini::WithoutSection(old, section);
        },
        what);
}

DWORD GetPrivateProfileSectionA(LPCSTR section, LPSTR buffer, DWORD size, LPCSTR fileName) {
    constexpr const char* kCall = "GetPrivateProfileSectionA";
    sim::Machine& m = Current();
    if (!buffer || size == 0) return 0;
    const std::string path = ProfilePath(fileName);
    std::string text;
    if (!sim::kernel32::FailsOnDemand(kCall, {path.c_str()})) {
        const sim::Result<std::string> read = m.files().ReadWhole(path);
        if (read) text = *read;
    }
    const auto lines = section ? sim::ini::SectionLines(text, section) : std::nullopt;
    return CopyProfileList(lines ? *lines : std::vector<std::string>(), buffer, size);
}

DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultValue, LPSTR buffer, DWORD size,
                               LPCSTR fileName) {
    constexpr const char* kCall = "GetPrivateProfileStringA";
    sim::Machine& m = Current();
    if (!buffer || size == 0) return 0;
    const std::string path = ProfilePath(fileName);
    std::string text;
    if (!sim::kernel32::FailsOnDemand(kCall, {path.c_str()})) {
        DWORD error = sim::FileSystem::AnsiPathError(path.c_str());
        if (!error) {
            const sim::Result<std::string> read = m.files().ReadWhole(path);
            if (read) text = *read;
            error = read.error();
        }
        // A missing folder reads as a missing file.
        if (error == ERROR_PATH_NOT_FOUND) error = ERROR_FILE_NOT_FOUND;
        if (error) sim::dll::Fail(kCall, sim::kernel32::PathObject(path.c_str()), error);
    }
    if (!section) return CopyProfileList(sim::ini::SectionNames(text), buffer, size);
    // An empty section name finds nothing, not a "[]" section.
    const auto entries = *section ? sim::ini::SectionEntries(text, section) : std::nullopt;
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
