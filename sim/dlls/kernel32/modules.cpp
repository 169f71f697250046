// Kernel32: loading libraries at run time, and the tool's own module
// (sim/machine/modules.h). A failure sets the last error and is recorded.
#include <string>

#include "sim/dlls/entry.h"
#include "sim/include/windows.h"
#include "sim/machine/machine.h"
#include "sim/machine/modules.h"

using sim::Current;

namespace {

// A name of a library or function as the transcript shows it; an ordinal
// as "#n".
std::string NameObject(LPCSTR name) {
    if (!name) return std::string();
    if (IS_INTRESOURCE(name)) return "#" + std::to_string(LOWORD(name));
    return name;
}

}  // namespace

HMODULE LoadLibraryA(LPCSTR name) {
    const sim::Result<HMODULE> module = Current().modules().Load(name ? name : "");
    if (module) return *module;
    sim::dll::Fail("LoadLibraryA", NameObject(name), module.error());
    return nullptr;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
    // No library of the emulator exports anything by ordinal.
    const sim::Result<FARPROC> found = Current().modules().Find(module, name && !IS_INTRESOURCE(name) ? name : "");
    if (found) return *found;
    sim::dll::Fail("GetProcAddress", NameObject(name), found.error());
    return nullptr;
}

BOOL FreeLibrary(HMODULE module) {
    if (const DWORD error = Current().modules().Free(module)) {
        sim::dll::Fail("FreeLibrary", "", error);
        return FALSE;
    }
    return TRUE;
}

HMODULE GetModuleHandleA(LPCSTR name) {
    if (!name) return Current().modules().Self();
    sim::dll::Fail("GetModuleHandleA", name, ERROR_MOD_NOT_FOUND);
    return nullptr;
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size) {
    constexpr const char* kCall = "GetModuleFileNameA";
    sim::Machine& m = Current();
    if (module && module != m.modules().Self()) {
        sim::dll::Fail(kCall, "", ERROR_MOD_NOT_FOUND);
        return 0;
    }
    if (size == 0) {
        sim::dll::Fail(kCall, "", ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    // Windows XP cuts the path to the buffer and still terminates it, then
    // returns the buffer's size with ERROR_INSUFFICIENT_BUFFER.
    bool complete = false;
    const DWORD copied = sim::dll::CopyTextTruncated(m.modules().programPath, buffer, size, &complete);
    if (complete) return copied;
    sim::dll::Fail(kCall, "", ERROR_INSUFFICIENT_BUFFER);
    return size;
}
