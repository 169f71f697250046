// Directives about files of drive C: and registry keys: a file another
// program holds open, an entry's attributes, and a key's access list. A
// malformed path is refused when the line is read; a file or key the
// machine lacks, when the plan is applied.
#include "sim/include/windows.h"
#include "sim/machine/filesystem.h"
#include "sim/machine/registry.h"
#include "sim/scenario/plan.h"

namespace sim::loader {

namespace {

const sim::Word<DWORD> kAttributes[] = {
    {"read-only", FILE_ATTRIBUTE_READONLY},
    {"hidden", FILE_ATTRIBUTE_HIDDEN},
    {"system", FILE_ATTRIBUTE_SYSTEM},
    {"archive", FILE_ATTRIBUTE_ARCHIVE},
    {"normal", 0},
};

void ReadKeyAccess(Plan& plan, const Line& line, KeyAccess access) {
    ExpectWords(line, 1, 1, "deny-write|open-access HKLM\\<key>");
    const std::string key = line.Word(1);
    if (!Registry::SplitKeyPath(key, nullptr, nullptr)) {
        Refuse(Quoted(key) + " is not a registry key path (HKLM\\Software\\...)");
    }
    AddStep(plan, line, kRest, [key, access](Applier& a) {
        if (!a.machine.registry().KeyExists(key)) Refuse("registry.reg has no key " + Quoted(key));
        a.machine.registry().SetKeyAccess(key, access);
    });
}

}  // namespace

void ReadInUse(Plan& plan, const Line& line) {
    ExpectWords(line, 1, 1, "in-use C:\\<file>");
    const std::string path = line.Word(1);
    if (!IsDrivePath(path)) Refuse("expected a file of drive C: (C:\\...), not " + Quoted(path));
    AddStep(plan, line, kRest, [path](Applier& a) {
        FileSystem& files = a.machine.files();
        if (!files.Exists(path) || files.IsFolder(path)) {
            Refuse("the drive has no file " + Quoted(path) + " (put it in drive/)");
        }
        files.SetInUse(path, true);
    });
}

void ReadAttributes(Plan& plan, const Line& line) {
    ExpectWords(line, 2, 2, "attributes C:\\<path> read-only,hidden,system,archive");
    const std::string path = line.Word(1);
    if (!IsDrivePath(path)) Refuse("expected a path of drive C: (C:\\...), not " + Quoted(path));
    const DWORD attributes = ChooseBits(kAttributes, line.Word(2), "attributes are ", " (separated by commas)");
    AddStep(plan, line, kRest, [path, attributes](Applier& a) {
        FileSystem& files = a.machine.files();
        if (!files.Exists(path)) Refuse("the drive has no " + Quoted(path) + " (put it in drive/)");
        files.SetAttributes(path, attributes ? attributes : FILE_ATTRIBUTE_NORMAL);
    });
}

void ReadDenyWrite(Plan& plan, const Line& line) { ReadKeyAccess(plan, line, KeyAccess::DenyFullAccess); }
void ReadOpenAccess(Plan& plan, const Line& line) { ReadKeyAccess(plan, line, KeyAccess::OpenToEveryone); }

}  // namespace sim::loader
