// Paths and names on the drive: how Windows reads a path (drive, "." and
// "..", trailing dots and blanks, names it refuses), the ANSI functions'
// limit, and the wildcards of a search.
#include <algorithm>
#include <cstring>

#include "sim/base/text.h"
#include "sim/machine/filesystem/internals.h"

namespace sim {

namespace {

bool IsWildcard(char c) { return c == '*' || c == '?'; }

bool InvalidNameChar(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u < 32 || c == '<' || c == '>' || c == '|' || c == '"' || c == ':';
}

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// "\\?\C:\x" and "\\.\C:\x" name the same file as "C:\x".
constexpr size_t kDevicePrefixLength = 4;

bool MatchFrom(const std::string& pattern, size_t p, const std::string& name, size_t n, size_t lastDot) {
    while (p < pattern.size()) {
        const char c = pattern[p];
        if (c == '*') {
            for (size_t k = n; k <= name.size(); ++k) {
                if (MatchFrom(pattern, p + 1, name, k, lastDot)) return true;
            }
            return false;
        }
        if (c == '<') {
            for (size_t k = n; k <= name.size(); ++k) {
                if (MatchFrom(pattern, p + 1, name, k, lastDot)) return true;
                if (k == lastDot) break;  // never beyond the last dot
            }
            return false;
        }
        if (c == '>') {
            if (n < name.size() && name[n] != '.') ++n;
            ++p;
            continue;
        }
        if (c == '"') {
            if (n == name.size()) {
                ++p;
                continue;
            }
            if (name[n] != '.') return false;
            ++n;
            ++p;
            continue;
        }
        if (n >= name.size() || UpperChar(c) != UpperChar(name[n])) return false;
        ++n;
        ++p;
    }
    return n == name.size();
}

}  // namespace

std::string ParsedPath::Full() const {
    std::string out(1, drive);
    out += ":\\";
    out += JoinPath(parts, parts.size());
    return out;
}

ParsedPath ParsePath(std::string_view text, bool wildcardsInLast) {
    ParsedPath p;
    std::string s(text);
    std::replace(s.begin(), s.end(), '/', '\\');
    if (s.empty()) {
        p.error = ERROR_PATH_NOT_FOUND;
        return p;
    }
    if (s.size() >= kDevicePrefixLength && s[0] == '\\' && s[1] == '\\' && (s[2] == '?' || s[2] == '.') &&
        s[3] == '\\') {
        s.erase(0, kDevicePrefixLength);
    } else if (s.size() >= 2 && s[0] == '\\' && s[1] == '\\') {
        p.error = ERROR_PATH_NOT_FOUND;  // a network path: the machine has no network
        return p;
    }
    std::string rest = s;
    if (s.size() >= 2 && s[1] == ':') {
        if (!IsLetter(s[0])) {
            p.error = ERROR_INVALID_NAME;
            return p;
        }
        p.drive = UpperChar(s[0]);
        p.otherDrive = p.drive != 'C';
        rest = s.substr(2);  // relative to that drive's current folder, its root
    }
    const std::vector<std::string> raw = SplitPath(rest);
    size_t last = raw.size();
    for (size_t i = raw.size(); i-- > 0;) {
        if (!raw[i].empty()) {
            last = i;
            break;
        }
    }
    if (last == raw.size()) return p;  // the root
    p.trailingSlash = last + 1 < raw.size();
    for (size_t i = 0; i <= last; ++i) {
        std::string part = raw[i];
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (!p.parts.empty()) p.parts.pop_back();
            continue;
        }
        if (i == last) {
            // Windows drops trailing dots and blanks of the final name.
            p.endedWithDot = part.back() == '.';
            while (!part.empty() && (part.back() == '.' || part.back() == ' ')) part.pop_back();
            if (part.empty()) continue;
        }
        for (char c : part) {
            if (InvalidNameChar(c) || (IsWildcard(c) && !(wildcardsInLast && i == last))) {
                p.error = ERROR_INVALID_NAME;
                return p;
            }
        }
        p.parts.push_back(part);
    }
    if (p.otherDrive) p.error = ERROR_PATH_NOT_FOUND;
    return p;
}

std::string JoinWindowsPath(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() == '\\') return folder + name;
    return folder + "\\" + name;
}

bool HasWildcards(std::string_view name) { return std::any_of(name.begin(), name.end(), IsWildcard); }

// FindFirstFile hands the name pattern to the file system in the form of
// the DOS wildcards: '>' (one character, or none at a dot or the end),
// '"' (a dot, or nothing at the end), '<' (anything up to the last dot).
std::string TranslatePattern(std::string pattern, bool endedWithDot) {
    if (pattern == "*.*") return "*";
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (i > 0 && pattern[i] == '.' && pattern[i - 1] == '*') pattern[i - 1] = '<';
        if (pattern[i] == '?') {
            pattern[i] = '>';
            if (i > 0 && pattern[i - 1] == '.') pattern[i - 1] = '"';
        } else if (pattern[i] == '*') {
            if (i > 0 && pattern[i - 1] == '.') pattern[i - 1] = '"';
        }
    }
    if (endedWithDot && !pattern.empty() && pattern.back() == '*') pattern.back() = '<';
    return pattern;
}

bool MatchesPattern(const std::string& translated, const std::string& name) {
    const size_t dot = name.rfind('.');
    return MatchFrom(translated, 0, name, 0, dot == std::string::npos ? name.size() + 1 : dot);
}

std::string AttributeLetters(DWORD a) {
    std::string s;
    if (a & FILE_ATTRIBUTE_DIRECTORY) s += 'D';
    if (a & FILE_ATTRIBUTE_READONLY) s += 'R';
    if (a & FILE_ATTRIBUTE_HIDDEN) s += 'H';
    if (a & FILE_ATTRIBUTE_SYSTEM) s += 'S';
    if (a & FILE_ATTRIBUTE_ARCHIVE) s += 'A';
    if (a & FILE_ATTRIBUTE_NORMAL) s += 'N';
    return s;
}

DWORD FileSystem::AnsiPathError(const char* path) {
    if (!path) return ERROR_PATH_NOT_FOUND;
    // The ANSI functions convert the name into a buffer of MAX_PATH
    // characters; a longer name does not fit.
    if (std::strlen(path) >= MAX_PATH) return ERROR_FILENAME_EXCED_RANGE;
    return ERROR_SUCCESS;
}

std::string FileSystem::FullPath(std::string_view path) {
    const ParsedPath p = ParsePath(path, true);
    return p.error && !p.otherDrive ? std::string(path) : p.Full();
}

}  // namespace sim
