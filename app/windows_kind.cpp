#include "app/windows_kind.h"

#include "platform/framework/framework.h"
#include "platform/winapi.h"
#include "ui/res/resource.h"

WindowsKind CurrentWindowsKind = KindUnknown;

WindowsKind DetectWindowsKind() {
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof(info);  // 148 bytes
    if (!GetVersionExA(&info)) return KindUnknown;

    if (info.dwPlatformId == VER_PLATFORM_WIN32_NT) {
        if (info.dwMajorVersion <= 3) return KindWinNT3;
        if (info.dwMajorVersion == 4) return info.dwMinorVersion == 0 ? KindWinNT4 : KindUnknown;
        if (info.dwMajorVersion == 5) {
            if (info.dwMinorVersion == 0) return KindWin2000;
            if (info.dwMinorVersion == 1) return KindWinXP;
        }
        return KindUnknown;
    }

    if (info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS && info.dwMajorVersion == 4) {
        // Only the second character of the service-pack text tells the
        // editions apart: " C" is 95 OSR2, " A " is 98 Second Edition.
        switch (info.dwMinorVersion) {
            case 0:
                return info.szCSDVersion[1] == 'C' ? KindWin95OSR2 : KindWin95;
            case 10:
                return info.szCSDVersion[1] == 'A' ? KindWin98SE : KindWin98;
            case 90:
                return KindWinMe;
            default:
                return KindUnknown;
        }
    }
    return KindUnknown;
}

WindowsKind InitWindowsKind() {
    CurrentWindowsKind = DetectWindowsKind();
    return CurrentWindowsKind;
}

bool CheckPlatform() {
    switch (DetectWindowsKind()) {
        case KindWinNT4:
        case KindWin98SE:
        case KindWinMe:
        case KindWin2000:
        case KindWinXP:
            return true;
        default:
            break;
    }
    const std::string text = LoadResString(IDS_UNSUPPORTED_WINDOWS);
    const std::string caption = LoadResString(IDS_MESSAGE_CAPTION);
    MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_OK);
    return false;
}
