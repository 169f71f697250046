// Functions bound when first called instead of when the program loads.
//
// The tool must start on every Windows it supports before it can decide
// anything, and one missing import stops a program before its first line.
// The functions here are those whose export on Windows 98 SE or NT 4.0 the
// documentation does not establish (see docs/imports.md):
//   - SetupAPI: Windows 98 SE and NT 4.0 ship older setupapi.dll files, and
//     the configuration manager's functions live in cfgmgr32.dll on some
//     systems and in setupapi.dll on others;
//   - the service control manager and security functions of advapi32, which
//     the Windows 9x family documents only as "not supported" (the tool calls
//     them on the NT family only);
//   - shlwapi, which NT 4.0 has only with Internet Explorer 4.0 or later.
// The program imports none of them: the product's calls go through the
// import slots defined here. The first call of each looks the function up
// by name in its DLLs, and from then on the slot points at the system's own
// function, so the product sees exactly the calls and answers it would see
// through the import table. A function that no DLL of the system has answers
// as the stubs of Windows 9x do: its failure value, with the last error set
// to ERROR_CALL_NOT_IMPLEMENTED.
//
// Each DLL found stays loaded until the process ends, as an imported DLL
// would. Only the Windows builds link this file; the tool's calls are
// unchanged, so the emulator build sees them as they are. A new call of the
// tool to a function of these DLLs that is not listed here is imported as
// usual, and scripts/check-imports.sh asks for it to be checked.
#include "platform/winapi.h"

namespace {

// The import slot's assembler name, as the compiler writes a call to a
// function declared dllimport: __imp__Name@bytes on x86, __imp_Name on x64.
#if defined(__i386__)
#define TAV_IMPORT_SLOT(name, argumentBytes) "__imp__" #name "@" #argumentBytes
#else
#define TAV_IMPORT_SLOT(name, argumentBytes) "__imp_" #name
#endif

// The DLLs the functions are looked up in, each loaded at most once.
enum Library { kSetupApi, kConfigManager, kAdvapi, kShlwapi, kLibraryCount };

HMODULE LoadedLibrary(Library library) {
    static const char* const kNames[kLibraryCount] = {"setupapi.dll", "cfgmgr32.dll", "advapi32.dll",
                                                      "shlwapi.dll"};
    static HMODULE modules[kLibraryCount];
    static bool tried[kLibraryCount];
    if (!tried[library]) {
        tried[library] = true;
        modules[library] = ::LoadLibraryA(kNames[library]);
    }
    return modules[library];
}

// The first of the libraries, in order, that exports `name`.
FARPROC FindFunction(const char* name, Library first, Library second = kLibraryCount) {
    const Library searched[] = {first, second};
    for (Library library : searched) {
        if (library == kLibraryCount) continue;
        if (HMODULE module = LoadedLibrary(library)) {
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

// The configuration manager: setupapi.dll on Windows 2000 / XP, else
// cfgmgr32.dll.
#define TAV_CONFIG_MANAGER kSetupApi, kConfigManager

// One bound function: the slot the product calls through, and the first
// target of that slot, which binds it and makes the call.
#define TAV_LATE_IMPORT(libraries, result, name, argumentBytes, failure, params, args)            \
    extern "C" {                                                                                  \
    extern decltype(&::name) tav_slot_##name __asm__(TAV_IMPORT_SLOT(name, argumentBytes));       \
    }                                                                                             \
    namespace {                                                                                   \
    result WINAPI Bind_##name params {                                                            \
        if (FARPROC found = FindFunction(#name, libraries)) {                                     \
            tav_slot_##name = reinterpret_cast<decltype(&::name)>(reinterpret_cast<void*>(found)); \
            return tav_slot_##name args;                                                          \
        }                                                                                         \
        return NotImplemented<result>(failure);                                                   \
    }                                                                                             \
    }                                                                                             \
    decltype(&::name) tav_slot_##name = Bind_##name;

TAV_LATE_IMPORT(kSetupApi, HDEVINFO, SetupDiGetClassDevsA, 16, INVALID_HANDLE_VALUE,
                (const GUID* classGuid, PCSTR enumerator, HWND parent, DWORD flags),
                (classGuid, enumerator, parent, flags))
TAV_LATE_IMPORT(kSetupApi, WINBOOL, SetupDiEnumDeviceInfo, 12, FALSE,
                (HDEVINFO set, DWORD index, PSP_DEVINFO_DATA device), (set, index, device))
TAV_LATE_IMPORT(kSetupApi, WINBOOL, SetupDiDestroyDeviceInfoList, 4, FALSE, (HDEVINFO set), (set))
TAV_LATE_IMPORT(kSetupApi, WINBOOL, SetupDiGetDeviceRegistryPropertyA, 28, FALSE,
                (HDEVINFO set, PSP_DEVINFO_DATA device, DWORD property, PDWORD type, PBYTE buffer,
                 DWORD size, PDWORD required),
                (set, device, property, type, buffer, size, required))
TAV_LATE_IMPORT(kSetupApi, WINBOOL, SetupDiSetClassInstallParamsA, 16, FALSE,
                (HDEVINFO set, PSP_DEVINFO_DATA device, PSP_CLASSINSTALL_HEADER params, DWORD size),
                (set, device, params, size))
TAV_LATE_IMPORT(kSetupApi, WINBOOL, SetupDiChangeState, 8, FALSE, (HDEVINFO set, PSP_DEVINFO_DATA device),
                (set, device))
TAV_LATE_IMPORT(kSetupApi, WINBOOL, SetupDiCallClassInstaller, 12, FALSE,
                (DI_FUNCTION function, HDEVINFO set, PSP_DEVINFO_DATA device), (function, set, device))
TAV_LATE_IMPORT(kSetupApi, WINBOOL, SetupCopyOEMInfA, 32, FALSE,
                (PCSTR source, PCSTR mediaLocation, DWORD mediaType, DWORD copyStyle, PSTR destination,
                 DWORD destinationSize, PDWORD required, PSTR* component),
                (source, mediaLocation, mediaType, copyStyle, destination, destinationSize, required,
                 component))
TAV_LATE_IMPORT(kSetupApi, WINBOOL, SetupAddToSourceListA, 8, FALSE, (DWORD flags, PCSTR source), (flags, source))
TAV_LATE_IMPORT(kSetupApi, WINBOOL, SetupSetSourceListA, 12, FALSE, (DWORD flags, PCSTR* list, UINT count),
                (flags, list, count))
TAV_LATE_IMPORT(TAV_CONFIG_MANAGER, CONFIGRET, CM_Locate_DevNodeA, 12, CR_CALL_NOT_IMPLEMENTED,
                (PDEVINST node, DEVINSTID_A deviceId, ULONG flags), (node, deviceId, flags))
TAV_LATE_IMPORT(TAV_CONFIG_MANAGER, CONFIGRET, CM_Reenumerate_DevNode, 8, CR_CALL_NOT_IMPLEMENTED, (DEVINST node, ULONG flags),
                (node, flags))

TAV_LATE_IMPORT(kAdvapi, WINBOOL, OpenProcessToken, 12, FALSE, (HANDLE process, DWORD access, PHANDLE token),
                (process, access, token))
TAV_LATE_IMPORT(kAdvapi, WINBOOL, LookupPrivilegeValueA, 12, FALSE, (LPCSTR system, LPCSTR name, PLUID luid),
                (system, name, luid))
TAV_LATE_IMPORT(kAdvapi, WINBOOL, AdjustTokenPrivileges, 24, FALSE,
                (HANDLE token, WINBOOL disableAll, PTOKEN_PRIVILEGES state, DWORD size, PTOKEN_PRIVILEGES previous,
                 PDWORD required),
                (token, disableAll, state, size, previous, required))
TAV_LATE_IMPORT(kAdvapi, WINBOOL, InitializeSecurityDescriptor, 8, FALSE,
                (PSECURITY_DESCRIPTOR descriptor, DWORD revision), (descriptor, revision))
TAV_LATE_IMPORT(kAdvapi, WINBOOL, SetSecurityDescriptorDacl, 16, FALSE,
                (PSECURITY_DESCRIPTOR descriptor, WINBOOL present, PACL dacl, WINBOOL defaulted),
                (descriptor, present, dacl, defaulted))
TAV_LATE_IMPORT(kAdvapi, LONG, RegSetKeySecurity, 12, ERROR_CALL_NOT_IMPLEMENTED,
                (HKEY key, SECURITY_INFORMATION information, PSECURITY_DESCRIPTOR descriptor),
                (key, information, descriptor))
TAV_LATE_IMPORT(kAdvapi, SC_HANDLE, OpenSCManagerA, 12, nullptr, (LPCSTR machine, LPCSTR database, DWORD access),
                (machine, database, access))
TAV_LATE_IMPORT(kAdvapi, SC_HANDLE, OpenServiceA, 12, nullptr, (SC_HANDLE manager, LPCSTR name, DWORD access),
                (manager, name, access))
TAV_LATE_IMPORT(kAdvapi, SC_HANDLE, CreateServiceA, 52, nullptr,
                (SC_HANDLE manager, LPCSTR name, LPCSTR displayName, DWORD access, DWORD serviceType,
                 DWORD startType, DWORD errorControl, LPCSTR binaryPath, LPCSTR group, LPDWORD tag,
                 LPCSTR dependencies, LPCSTR startName, LPCSTR password),
                (manager, name, displayName, access, serviceType, startType, errorControl, binaryPath, group, tag,
                 dependencies, startName, password))
TAV_LATE_IMPORT(kAdvapi, WINBOOL, CloseServiceHandle, 4, FALSE, (SC_HANDLE handle), (handle))
TAV_LATE_IMPORT(kAdvapi, WINBOOL, StartServiceA, 12, FALSE, (SC_HANDLE service, DWORD count, LPCSTR* arguments),
                (service, count, arguments))
TAV_LATE_IMPORT(kAdvapi, WINBOOL, ControlService, 12, FALSE,
                (SC_HANDLE service, DWORD control, LPSERVICE_STATUS status), (service, control, status))
TAV_LATE_IMPORT(kAdvapi, WINBOOL, QueryServiceConfigA, 16, FALSE,
                (SC_HANDLE service, LPQUERY_SERVICE_CONFIGA config, DWORD size, LPDWORD required),
                (service, config, size, required))
TAV_LATE_IMPORT(kAdvapi, SC_LOCK, LockServiceDatabase, 4, nullptr, (SC_HANDLE manager), (manager))
TAV_LATE_IMPORT(kAdvapi, WINBOOL, UnlockServiceDatabase, 4, FALSE, (SC_LOCK lock), (lock))
TAV_LATE_IMPORT(kAdvapi, WINBOOL, SetServiceObjectSecurity, 12, FALSE,
                (SC_HANDLE service, SECURITY_INFORMATION information, PSECURITY_DESCRIPTOR descriptor),
                (service, information, descriptor))

TAV_LATE_IMPORT(kShlwapi, DWORD, SHDeleteKeyA, 8, ERROR_CALL_NOT_IMPLEMENTED, (HKEY key, LPCSTR subKey),
                (key, subKey))
