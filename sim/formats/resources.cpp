// The parsed resource script's look-ups, its error, and the application's
// own script, parsed once on first use (rc_scanner.h has the parts). A
// problem in the application's script throws on that first use: the Linux
// build's resources are then unusable, as a failed windres run would be.
#include "sim/formats/resources.h"

#include "sim/base/text.h"
#include "sim/formats/lines.h"
#include "sim/formats/rc_scanner.h"

namespace sim {

ResourceScriptError::ResourceScriptError(std::string file, int line, const std::string& message)
    : std::runtime_error(LineMessage(file, line, message, LineStyle::Compiler)), file_(std::move(file)), line_(line) {}

const DialogTemplate* ResourceScript::FindDialog(int id) const {
    auto it = dialogs.find(id);
    return it == dialogs.end() ? nullptr : &it->second;
}

const std::string* ResourceScript::FindString(UINT id) const {
    auto it = strings.find(id);
    return it == strings.end() ? nullptr : &it->second;
}

bool ResourceScript::HasStringBlock(UINT id) const {
    auto it = strings.lower_bound(id & ~0xFu);
    return it != strings.end() && (it->first >> 4) == (id >> 4);
}

std::string ResourceScript::NameOf(long long value, std::string_view prefix) const {
    std::string any;
    for (const auto& [name, number] : defines) {
        if (number != value) continue;
        if (StartsWithNoCase(name, prefix)) return name;
        if (any.empty()) any = name;
    }
    return any;
}

ResourceScript ParseResourceScript(std::string_view script, std::string_view header, const std::string& scriptName,
                                   const std::string& headerName) {
    rc::Scanner scanner(header, headerName);
    scanner.Scan(script, scriptName);
    return rc::ParseStatements(scanner.TakeTokens(), scanner.DefinesRead());
}

const ResourceScript& ApplicationResourceScript() {
    static const ResourceScript script = [] {
        const EmbeddedResources embedded = ApplicationResources();
        return ParseResourceScript(embedded.script, embedded.header);
    }();
    return script;
}

}  // namespace sim
