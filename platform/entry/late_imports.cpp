// The SetupAPI and configuration-manager functions, bound when first called
// instead of when the program loads.
//
// The tool must start on every Windows it supports before it can decide
// anything, and one missing import stops a program before its first line.
// Windows 98 SE and NT 4.0 ship older setupapi.dll files, and the
// configuration manager's functions live in cfgmgr32.dll on some systems and
// in setupapi.dll on others. So the program imports none of these functions:
// the product's calls go through the import slots defined here. The first
// call of each looks the function up by name, in setupapi.dll and then in
// cfgmgr32.dll, and from then on the slot points at the system's own
// function, so the product sees exactly the calls and answers it would see
// through the import table. A function that no DLL of the system has answers
// as the stubs of Windows 9x do: failure, with ERROR_CALL_NOT_IMPLEMENTED
// (the configuration manager's functions: CR_CALL_NOT_IMPLEMENTED).
//
// Each DLL found stays loaded until the process ends, as an imported DLL
// would. Only the Windows builds link this file; the tool's calls are
// unchanged, so the emulator build sees them as they are.
#include "platform/winapi.h"

namespace {

// The import slot's assembler name, as the compiler writes a call to a
// function declared dllimport: __imp__Name@bytes on x86, __imp_Name on x64.
#if defined(__i386__)
#define TAV_IMPORT_SLOT(name, argumentBytes) "__imp__" #name "@" #argumentBytes
#else
#define TAV_IMPORT_SLOT(name, argumentBytes) "__imp_" #name
#endif

// The DLLs searched, in order, each loaded at most once.
HMODULE LoadedLibrary(int index) {
    static const char* const kNames[] = {"setupapi.dll", "cfgmgr32.dll"};
    static HMODULE modules[2];
    static bool tried[2];
    if (!tried[index]) {
        tried[index] = true;
        modules[index] = ::LoadLibraryA(kNames[index]);
    }
    return modules[index];
}

FARPROC FindFunction(const char* name) {
    for (int index = 0; index < 2; ++index) {
        if (HMODULE module = LoadedLibrary(index)) {
            if (FARPROC found = ::GetProcAddress(module, name)) return found;
        }
    }
    return nullptr;
}

// What a Windows 9x stub answers: the failure value, with the last error
// set to "not implemented".
template <typename Result>
Result NotImplemented(Result failure) {
    ::SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return failure;
}

}  // namespace

// One bound function: the slot the product calls through, and the first
// target of that slot, which binds it and makes the call.
#define TAV_LATE_IMPORT(result, name, argumentBytes, failure, params, args)                       \
    extern "C" {                                                                                  \
    extern decltype(&::name) tav_slot_##name __asm__(TAV_IMPORT_SLOT(name, argumentBytes));       \
    }                                                                                             \
    namespace {                                                                                   \
    result WINAPI Bind_##name params {                                                            \
        if (FARPROC found = FindFunction(#name)) {                                                \
            tav_slot_##name = reinterpret_cast<decltype(&::name)>(reinterpret_cast<void*>(found)); \
            return tav_slot_##name args;                                                          \
        }                                                                                         \
        return NotImplemented<result>(failure);                                                   \
    }                                                                                             \
    }                                                                                             \
    decltype(&::name) tav_slot_##name = Bind_##name;

TAV_LATE_IMPORT(HDEVINFO, SetupDiGetClassDevsA, 16, INVALID_HANDLE_VALUE,
                (const GUID* classGuid, PCSTR enumerator, HWND parent, DWORD flags),
                (classGuid, enumerator, parent, flags))
TAV_LATE_IMPORT(WINBOOL, SetupDiEnumDeviceInfo, 12, FALSE,
                (HDEVINFO set, DWORD index, PSP_DEVINFO_DATA device), (set, index, device))
TAV_LATE_IMPORT(WINBOOL, SetupDiDestroyDeviceInfoList, 4, FALSE, (HDEVINFO set), (set))
TAV_LATE_IMPORT(WINBOOL, SetupDiGetDeviceRegistryPropertyA, 28, FALSE,
                (HDEVINFO set, PSP_DEVINFO_DATA device, DWORD property, PDWORD type, PBYTE buffer,
                 DWORD size, PDWORD required),
                (set, device, property, type, buffer, size, required))
TAV_LATE_IMPORT(WINBOOL, SetupDiSetClassInstallParamsA, 16, FALSE,
                (HDEVINFO set, PSP_DEVINFO_DATA device, PSP_CLASSINSTALL_HEADER params, DWORD size),
                (set, device, params, size))
TAV_LATE_IMPORT(WINBOOL, SetupDiChangeState, 8, FALSE, (HDEVINFO set, PSP_DEVINFO_DATA device),
                (set, device))
TAV_LATE_IMPORT(WINBOOL, SetupCopyOEMInfA, 32, FALSE,
                (PCSTR source, PCSTR mediaLocation, DWORD mediaType, DWORD copyStyle, PSTR destination,
                 DWORD destinationSize, PDWORD required, PSTR* component),
                (source, mediaLocation, mediaType, copyStyle, destination, destinationSize, required,
                 component))
TAV_LATE_IMPORT(WINBOOL, SetupAddToSourceListA, 8, FALSE, (DWORD flags, PCSTR source), (flags, source))
TAV_LATE_IMPORT(WINBOOL, SetupSetSourceListA, 12, FALSE, (DWORD flags, PCSTR* list, UINT count),
                (flags, list, count))
TAV_LATE_IMPORT(CONFIGRET, CM_Locate_DevNodeA, 12, CR_CALL_NOT_IMPLEMENTED,
                (PDEVINST node, DEVINSTID_A deviceId, ULONG flags), (node, deviceId, flags))
TAV_LATE_IMPORT(CONFIGRET, CM_Reenumerate_DevNode, 8, CR_CALL_NOT_IMPLEMENTED, (DEVINST node, ULONG flags),
                (node, flags))
