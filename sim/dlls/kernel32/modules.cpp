// Kernel32: loading libraries at run time, and the tool's own module.
#include <cstring>

#include "sim/include/windows.h"
#include "sim/machine/machine.h"
#include "sim/machine/modules.h"
#include "sim/base/text.h"

using sim::Current;

HMODULE LoadLibraryA(LPCSTR name) { return Current().modules().Load(name); }

FARPROC GetProcAddress(HMODULE module, LPCSTR name) { return Current().modules().Find(module, name); }

BOOL FreeLibrary(HMODULE module) { return Current().modules().Free(module) ? TRUE : FALSE; }

HMODULE GetModuleHandleA(LPCSTR name) {
    sim::Machine& m = Current();
    if (!name) return m.modules().Self();
    m.lastError = ERROR_MOD_NOT_FOUND;
    return nullptr;
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size) {
    sim::Machine& m = Current();
    if (module && module != m.modules().Self()) {
        m.lastError = ERROR_MOD_NOT_FOUND;
        return 0;
    }
    const std::string& path = m.modules().programPath;
    if (size == 0) {
        m.lastError = ERROR_INSUFFICIENT_BUFFER;
        return 0;
    }
    // Windows XP truncates to the buffer and still terminates it, returning
    // the buffer size with ERROR_INSUFFICIENT_BUFFER.
    if (path.size() + 1 > size) {
        std::memcpy(buffer, path.data(), size - 1);
        buffer[size - 1] = '\0';
        m.lastError = ERROR_INSUFFICIENT_BUFFER;
        return size;
    }
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return static_cast<DWORD>(path.size());
}
