// Windows XP's own 802.1X supplicant setting.
#pragma once

// Sets the global supplicant mode of Windows' wireless configuration
// ("SupplicantMode" of HKLM "Software\Microsoft\EAPOL\Parameters\General\Global")
// to 0, with the Wireless Zero Configuration service ("WZCSVC")
// asked to stop before the write and to start after it; neither request
// is waited for. Nothing is touched when the value cannot be read first
// (a machine without the 802.1X components). True when 0 was written.
bool ResetSupplicantMode();
