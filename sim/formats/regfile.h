// Registry contents as REGEDIT4 text, the way regedit 4 writes .reg files:
//
//   REGEDIT4
//
//   [HKEY_LOCAL_MACHINE\Software\Tavarin]
//   @="default"
//   "Name"="C:\\Program Files\\Tavarin"
//   "Count"=dword:0000002a
//   "Blob"=hex:01,02,03
//   "Path"=hex(2):25,53,79,73,00
//
// Strings are written quoted only when their bytes are the text and exactly
// one terminating NUL (and no line break); anything else is written as
// hex(N) with N the type, so that importing an export gives back the same
// bytes. Key access is not part of the format.
//
// Import also takes [-KEY] (remove the key and everything below it),
// "name"=- (remove the value), ';' comments, blank lines, '\' continuation
// of hex data, and CRLF or LF line ends. The whole text is checked before
// anything is changed: on an error nothing is applied and the message names
// the file and line ("registry.reg: line 12: ...", or "line 12: ..." when
// the text has no file name). A '\' at the end of any other line is an
// error, as regedit writes only hex data over several lines.
//
// The registry is owned by the caller; this file only reads and writes text.
#pragma once

#include <string>

#include "sim/machine/registry.h"

namespace sim {

// "REGEDIT4", a blank line; regedit ends lines with CRLF.
extern const char* const kRegFileHeader;

struct RegImportResult {
    bool ok = true;
    std::string error;  // "<file>: line N: what is wrong" when !ok

    explicit operator bool() const { return ok; }
};

// `fileName` names the text in messages ("registry.reg"); "" for none.
RegImportResult ImportRegText(Registry& registry, const std::string& text, const std::string& fileName = "");

// The whole registry, or only the key `underKey` ("HKLM\Software\X", any
// accepted root spelling) and what lies below it; just the header when that
// key does not exist. Roots are written only when they hold something.
std::string ExportRegText(const RegistrySnapshot& snapshot, const std::string& underKey = "");
std::string ExportRegText(const Registry& registry, const std::string& underKey = "");

// Text that, imported into `before`, gives `after` (values in their order,
// names in their case): [-KEY] for removed keys, new and changed values
// under their key, "name"=- for removed values. Just the header when
// nothing changed.
std::string DiffRegText(const RegistrySnapshot& before, const RegistrySnapshot& after);

}  // namespace sim
