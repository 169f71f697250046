// Initialization (INI) files as the profile functions of Kernel32 read and
// edit them: "[section]" lines, "key=value" lines, ';' comments; names are
// compared without regard to case and the first section of a name wins.
//
// Reading gives values; editing gives the whole new text back, with every
// line it did not touch left as it was, line ends included (a file may mix
// "\r\n", "\n" and "\r"). The file itself (finding it, sharing, writing it
// back, the transcript) is the caller's: sim/dlls/kernel32/profile.cpp, and
// FileSystem::PendingOperations for WININIT.INI. Nothing here fails: text
// that is not INI is read as lines that are neither sections nor keys.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sim::ini {

struct Entry {
    std::string key;
    std::string value;  // as written, without surrounding blanks
};

// Section names in file order, without brackets and surrounding blanks.
std::vector<std::string> SectionNames(std::string_view text);
// The "key=value" lines of the first section of that name, in file order;
// nullopt without such a section.
std::optional<std::vector<Entry>> SectionEntries(std::string_view text, std::string_view section);

// The lines of the first section of that name as GetPrivateProfileSection
// gives them: "key=value" for a key line (blanks around the key and the
// value dropped), every other line that is neither blank nor a comment as
// it stands, trimmed; duplicate keys included. nullopt without such a
// section.
std::optional<std::vector<std::string>> SectionLines(std::string_view text, std::string_view section);

// WritePrivateProfileSection's edit: the lines of the first section of that
// name are replaced by `lines` (its header keeps its place), or a new
// section with them goes at the end.
std::string WithSectionLines(std::string_view text, std::string_view section, const std::vector<std::string>& lines);

// WritePrivateProfileString's three edits. A new value replaces the value
// of the key's first line in place; a new key goes after the section's last
// line that is not blank; a new section goes at the end. New lines end with
// "\r\n".
std::string WithValue(std::string_view text, std::string_view section, std::string_view key, std::string_view value);
std::string WithoutKey(std::string_view text, std::string_view section, std::string_view key);
std::string WithoutSection(std::string_view text, std::string_view section);

}  // namespace sim::ini
