#include "cleanup/supplicant.h"

#include "platform/winapi.h"
#include "sys/handles.h"
#include "sys/service_control.h"

namespace {

const char kGlobalKey[] = "Software\\Microsoft\\EAPOL\\Parameters\\General\\Global";
const char kSupplicantMode[] = "SupplicantMode";
const char kWirelessService[] = "WZCSVC";

}  // namespace

bool ResetSupplicantMode() {
    // Only a machine that has the value gets it reset.
    {
        UniqueRegKey key;
        if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kGlobalKey, 0, KEY_ALL_ACCESS, key.Receive()) != ERROR_SUCCESS)
            return false;
        DWORD mode = 0;
        DWORD size = sizeof(mode);
        if (::RegQueryValueExA(key.Get(), kSupplicantMode, nullptr, nullptr, reinterpret_cast<BYTE*>(&mode), &size) !=
            ERROR_SUCCESS)
            return false;
    }

    UniqueRegKey key;
    if (::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kGlobalKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                          key.Receive(), nullptr) != ERROR_SUCCESS)
        return false;

    // The wireless configuration service is asked to stop while the value
    // changes and to start again afterwards.
    ControlServiceState(kWirelessService, ServiceStop, 0, nullptr);
    const DWORD mode = 0;
    const bool written = ::RegSetValueExA(key.Get(), kSupplicantMode, 0, REG_DWORD,
                                          reinterpret_cast<const BYTE*>(&mode), sizeof(mode)) == ERROR_SUCCESS;
    ControlServiceState(kWirelessService, ServiceStart, 0, nullptr);
    return written;
}
