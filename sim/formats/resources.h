// The application's resources as the Linux build sees them: the same .rc
// script that windres compiles for Windows, embedded as text and parsed here.
//
// The parser reads the subset of the resource-script language the
// application uses: comments, #include of its header, #define and the
// #ifdef family in that header, LANGUAGE, ICON and BITMAP files, DIALOG and
// DIALOGEX templates with their control statements, and STRINGTABLE. Control
// statements get the default styles the resource compiler gives them, so a
// template reads here exactly as windres compiles it.
//
// A ResourceScript owns everything it holds (copies of the texts). Parsing
// stops at the first problem and throws ResourceScriptError, whose text
// names the file and line as resource compilers do ("tavsetup.rc:12: ...").
#pragma once

#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "sim/include/types.h"

namespace sim {

struct EmbeddedResources {
    const char* script;  // the .rc file
    const char* header;  // the resource.h it includes
};

// Defined by the generated source that embeds ui/res/tavsetup.rc.
EmbeddedResources ApplicationResources();

// A rectangle in dialog units, as the template gives it.
struct DialogUnitsRect {
    int x = 0;
    int y = 0;
    int cx = 0;
    int cy = 0;
    bool operator==(const DialogUnitsRect& o) const { return x == o.x && y == o.y && cx == o.cx && cy == o.cy; }
};

struct DialogControl {
    std::string statement;  // "PUSHBUTTON", "LTEXT", "CONTROL", ...
    int id = 0;
    std::string className;       // "Button", "Static", "Edit", or the class a CONTROL names
    std::string text;            // the control's text; empty when it shows an image
    std::optional<int> imageId;  // a numbered icon or bitmap in place of the text
    DialogUnitsRect rect;
    DWORD style = 0;
    DWORD exStyle = 0;
};

struct DialogFont {
    int pointSize = 0;
    std::string face;
};

struct DialogTemplate {
    int id = 0;
    bool extended = false;  // DIALOGEX rather than DIALOG
    DialogUnitsRect rect;
    DWORD style = 0;
    DWORD exStyle = 0;
    std::string caption;
    std::optional<DialogFont> font;
    std::vector<DialogControl> controls;
};

struct ResourceScript {
    int language = 0;
    int sublanguage = 0;
    std::map<int, DialogTemplate> dialogs;
    std::map<UINT, std::string> strings;
    std::map<int, std::string> icons;    // id -> file
    std::map<int, std::string> bitmaps;  // id -> file
    // The header's #define lines, by name, as numbers where they are numbers.
    std::map<std::string, long long> defines;

    const DialogTemplate* FindDialog(int id) const;
    const std::string* FindString(UINT id) const;
    // Whether the string table has any entry in the block of sixteen that
    // holds `id` (Windows stores and finds strings in such blocks).
    bool HasStringBlock(UINT id) const;
    // The name a #define gives `value`, preferring names with `prefix`;
    // "" when none does.
    std::string NameOf(long long value, std::string_view prefix) const;
};

// A parse error, with the file and line it concerns.
class ResourceScriptError : public std::runtime_error {
public:
    ResourceScriptError(std::string file, int line, const std::string& message);
    const std::string& File() const { return file_; }
    int Line() const { return line_; }

private:
    std::string file_;
    int line_;
};

// Parses a script; `header` is the text an `#include "<headerName>"` reads.
ResourceScript ParseResourceScript(std::string_view script, std::string_view header,
                                   const std::string& scriptName = "tavsetup.rc",
                                   const std::string& headerName = "resource.h");

// The application's own resources, parsed once.
const ResourceScript& ApplicationResourceScript();

}  // namespace sim
