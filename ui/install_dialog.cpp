#include "ui/install_dialog.h"

#include <cstring>

#include "app/windows_kind.h"
#include "cleanup/companion.h"
#include "cleanup/utility.h"
#include "device/device_restart.h"
#include "device/device_search.h"
#include "driver/driver_install.h"
#include "driver/install_sources.h"
#include "sys/registry_helpers.h"
#include "ui/res/resource.h"

BOOL InstallDialog::s_bDeviceReported = FALSE;

namespace {

// The companion (Boingo) goes with the installation only when its value
// holds exactly the text "1".
bool CompanionChosen() {
    char value[10];
    return RegReadString(value, "BoingoInstallRun", sizeof value) == 1 && std::strcmp(value, "1") == 0;
}

}  // namespace

InstallDialog::InstallDialog(CDialog* parent) : CardWaitDialog(IDD_INSTALL, parent) {}

std::string InstallDialog::GetHardwareId() const {
    const FoundDevice* device = m_deviceList.FindFirst(0);
    return device ? device->hardwareId : std::string();
}

BOOL InstallDialog::OnInitDialog() {
    CDialog::OnInitDialog();
    ShowWindowIcons();
    SetCaption(kSetupCaption);
    ShowBanner();

    m_nWindowsKind = DetectWindowsKind();
    m_nPollTimer = 0;
    m_bRebootRequested = FALSE;
    m_bFinished = FALSE;
    m_bWaiting = FALSE;

    if (FindSupportedDevice(m_deviceList) == 0) {
        if (!IsWin2000OrXP(m_nWindowsKind)) CopyCatalogFiles();
        // The reboot flag of the package installation is not consulted: the
        // next search shows whether the driver is in place.
        BOOL rebootRequired = FALSE;
        InstallDriverPackage(m_deviceList, &rebootRequired);
        if (FindSupportedDevice(m_deviceList) == 0) {
            m_bWaiting = TRUE;
            m_nBaselineCount = m_deviceList.count;
            SetItemText(IDC_INSTRUCTIONS, LoadResString(IDS_LOCATING_DEVICE).c_str());
            StartPoll();
            SetFinished(FALSE);
            return TRUE;
        }
    }

    const FoundDevice* device = m_deviceList.FindFirst(0);
    SetItemText(IDC_INSTRUCTIONS, FormatResString(IDS_DRIVER_INSTALLED, device ? device->name : "").c_str());
    if (device) TurnOffWindowsWirelessConfig(*device);
    SetFinished(TRUE);
    return TRUE;
}

BOOL InstallDialog::OnDeviceChange(UINT eventType, DWORD_PTR eventData) {
    if (m_bWaiting) {
        if (IsWin9xKind(m_nWindowsKind)) {
            // Windows 98 SE / Me announce every new device node; only one
            // that the configuration manager search recognises counts.
            if (eventType == DBT_DEVICEARRIVAL) {
                DeviceList arrived;
                if (FindDevicesByConfigManager(arrived) > 0) StartSettling();
            }
        } else if (IsWin2000OrXP(m_nWindowsKind)) {
            // Every notification restarts the five seconds of settling.
            StartSettling();
        }
    }
    return CDialog::OnDeviceChange(eventType, eventData);
}

void InstallDialog::OnTimer(UINT_PTR timerId) {
    if (timerId == IDT_DEVICE_SETTLE) {
        if (!s_bDeviceReported) {
            StopTimer(IDT_DEVICE_SETTLE);
            m_nSettleTimer = 0;
            if (FindSupportedDevice(m_deviceList) > 0) ReportDevice(m_deviceList.FindFirst(0));
            if (!m_bFinished) StartPoll();
        }
    } else if (timerId == IDT_DEVICE_POLL) {
        // The poll only stops itself once it sees a device; the report
        // comes from the settle timer, which a notification starts.
        if (IsWin2000OrXP(m_nWindowsKind)) {
            if (FindSupportedDevice(m_deviceList) > 0) StopPoll();
        } else {
            FindSupportedDevice(m_deviceList);
            if (m_deviceList.count > m_nBaselineCount) StopPoll();
        }
    }
    CDialog::OnTimer(timerId);
}

void InstallDialog::ReportDevice(const FoundDevice* device) {
    s_bDeviceReported = TRUE;
    m_bWaiting = FALSE;
    SetItemText(IDC_INSTRUCTIONS, FormatResString(IDS_DRIVER_INSTALLED, device ? device->name : "").c_str());
    SetItemText(IDC_TIMEOUT_TEXT, "");
    SetFinished(TRUE);
    if (IsWin2000OrXP(m_nWindowsKind) && device) TurnOffWindowsWirelessConfig(*device);
}

BOOL InstallDialog::OnQueryEndSession() {
    // A restart asked for by a driver installation or another program is
    // refused while the dialog is open, and offered at Close.
    m_bRebootRequested = TRUE;
    return FALSE;
}

BOOL InstallDialog::AskRestart() {
    const std::string text = LoadResString(IDS_RESTART_QUESTION);
    const std::string caption = LoadResString(IDS_RESTART_CAPTION);
    if (ShowMessageBox(text.c_str(), caption.c_str(), MB_YESNO | MB_ICONQUESTION | MB_TOPMOST) == IDYES) return TRUE;
    SetItemText(IDC_INSTRUCTIONS, LoadResString(IDS_SETUP_INCOMPLETE).c_str());
    SetItemText(IDC_TIMEOUT_TEXT, "");
    return FALSE;
}

void InstallDialog::OnOK() {
    RegWriteString("1", "InstallDriver");
    const bool companion = CompanionChosen();
    if (m_bRebootRequested == TRUE) {
        if (companion) {
            // The user restarts after the companion installer instead.
            const std::string text = LoadResString(IDS_BOINGO_RESTART);
            const std::string caption = LoadResString(IDS_RESTART_CAPTION);
            ShowMessageBox(text.c_str(), caption.c_str(), MB_OK);
            m_bRebootRequested = FALSE;
        }
        if (m_bRebootRequested == TRUE) m_bRebootRequested = AskRestart();
    } else {
        StartUtility();
    }
    if (companion) RunCompanionInstaller();
    CDialog::OnOK();
}

void InstallDialog::OnCancel() {
    m_bRebootRequested = FALSE;
    const bool companion = CompanionChosen();
    if (!m_bFinished) {
        const std::string text = LoadResString(IDS_CONFIRM_EXIT_INSTALL);
        if (ShowMessageBox(text.c_str(), kSetupCaption, MB_YESNO) != IDYES) return;
    }
    if (companion) RunCompanionInstaller();
    CDialog::OnCancel();
}
