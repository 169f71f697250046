// Which Windows the tool runs on, and whether it may run there at all.
#pragma once

// The running Windows version, as a code 0 to 9.
enum WindowsKind : int {
    KindUnknown = 0,    // the query failed, or a version not listed (NT 5.2 and later too)
    KindWin95 = 1,
    KindWin95OSR2 = 2,  // service-pack letter C
    KindWinNT3 = 3,     // NT 3.x or older
    KindWinNT4 = 4,
    KindWin98 = 5,
    KindWin98SE = 6,    // service-pack letter A
    KindWinMe = 7,
    KindWin2000 = 8,
    KindWinXP = 9,
};

// Detected once at start-up by InitWindowsKind; read by every step that
// chooses between the Windows 98 SE / Me way and the NT way.
extern WindowsKind CurrentWindowsKind;

// Classifies the running Windows from the version query.
WindowsKind DetectWindowsKind();
// Stores DetectWindowsKind() in CurrentWindowsKind and returns it.
WindowsKind InitWindowsKind();
// True on a supported Windows (NT 4.0, 98 SE, Me, 2000, XP); otherwise tells
// the user (string 23 under an empty caption) and returns false.
bool CheckPlatform();

// The two families most steps choose between.
inline bool IsWin9xKind(int kind) { return kind == KindWin98SE || kind == KindWinMe; }
inline bool IsWin2000OrXP(int kind) { return kind == KindWin2000 || kind == KindWinXP; }
