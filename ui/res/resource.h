// Resource numbers of the application's dialogs, strings, icons and bitmap.
#pragma once

// Icons and bitmap
#define IDR_MAINFRAME 128     // the window icon
#define IDI_DIALOG_ICON 130   // the static icon of every dialog
#define IDB_BANNER 247        // the banner of every dialog

// Dialogs
#define IDD_INSTALL 102
#define IDD_UNINSTALL 131
#define IDD_UPGRADE 132

// Controls
#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
#define IDC_INSTRUCTIONS 1000
#define IDC_TIMEOUT_TEXT 1002
#define IDC_REMOVE 1006
#define IDC_STATUS 1007
#define IDC_DEVICE_NAME 1010
#define IDC_BANNER 1011

// Strings
#define IDS_LOCATING_DEVICE 1
#define IDS_DRIVER_INSTALLED 2
#define IDS_RESTART_CAPTION 7
#define IDS_RESTART_QUESTION 8
#define IDS_SETUP_INCOMPLETE 14
// Used as the caption of two message boxes; the string table has no such
// entry, so it loads as the empty text and those boxes have no caption.
#define IDS_MESSAGE_CAPTION 15
#define IDS_REMOVE_FAILED 16
#define IDS_REMOVE_SUCCEEDED 17
#define IDS_REMOVING_DEVICE 18
#define IDS_NO_DEVICE_TO_REMOVE 21
#define IDS_REMOVED_SUFFIX 22
#define IDS_UNSUPPORTED_WINDOWS 23
#define IDS_INF_NOT_FOUND 24
#define IDS_CONFIRM_EXIT_INSTALL 25
#define IDS_BOINGO_RESTART 29
#define IDS_LOCATING_UPGRADE_DEVICE 30
#define IDS_CONFIRM_EXIT_UPGRADE 31
#define IDS_DRIVER_UPGRADED 34
#define IDS_UPGRADE_FAILED 35
#define IDS_DEVICE_NOT_SUPPORTED 36
