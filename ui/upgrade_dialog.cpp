#include "ui/upgrade_dialog.h"

#include <string>

#include "app/windows_kind.h"
#include "device/device_restart.h"
#include "device/device_search.h"
#include "driver/driver_upgrade.h"
#include "ui/res/resource.h"

BOOL UpgradeDialog::s_bUpgradeReported = FALSE;

UpgradeDialog::UpgradeDialog(CDialog* parent) : CardWaitDialog(IDD_UPGRADE, parent) {}

BOOL UpgradeDialog::OnInitDialog() {
    CDialog::OnInitDialog();
    ShowWindowIcons();
    SetCaption(kSetupCaption);
    ShowBanner();

    m_nWindowsKind = DetectWindowsKind();
    m_nPollTimer = 0;
    m_bFinished = FALSE;
    m_bWaiting = TRUE;
    SetFinished(FALSE);
    // No search yet: the run has just found nothing to upgrade.
    SetItemText(IDC_INSTRUCTIONS, LoadResString(IDS_LOCATING_UPGRADE_DEVICE).c_str());
    StartPoll();
    return TRUE;
}

BOOL UpgradeDialog::OnDeviceChange(UINT eventType, DWORD_PTR eventData) {
    // Every notification restarts the five seconds of settling.
    if (m_bWaiting && IsWin2000OrXP(m_nWindowsKind)) StartSettling();
    return CDialog::OnDeviceChange(eventType, eventData);
}

void UpgradeDialog::OnTimer(UINT_PTR timerId) {
    if (timerId == IDT_DEVICE_SETTLE) {
        if (!s_bUpgradeReported) {
            StopTimer(IDT_DEVICE_SETTLE);
            m_nSettleTimer = 0;
            FindSupportedDevice(m_deviceList);
            if (IsWin2000OrXP(m_nWindowsKind) && m_deviceList.readyCount > 0 && m_deviceList.FindFirst(0))
                UpgradeArrivedDevice();
            if (!m_bFinished) StartPoll();
        }
    } else if (timerId == IDT_DEVICE_POLL) {
        // The poll only stops itself; the upgrade runs from the settle
        // timer, which only a notification starts.
        if (IsWin2000OrXP(m_nWindowsKind) && FindSupportedDevice(m_deviceList) > 0) StopPoll();
    }
    CDialog::OnTimer(timerId);
}

void UpgradeDialog::UpgradeArrivedDevice() {
    // The record goes with the next search: keep its name first.
    const FoundDevice* device = m_deviceList.FindFirst(0);
    const std::string name = device->name;
    TurnOffWindowsWirelessConfig(*device);
    const int result = UpdateDeviceDriver();
    const UINT message = result > 0 ? IDS_DRIVER_UPGRADED : result < 0 ? IDS_UPGRADE_FAILED : IDS_DEVICE_NOT_SUPPORTED;
    SetItemText(IDC_INSTRUCTIONS, FormatResString(message, name).c_str());
    SetItemText(IDC_TIMEOUT_TEXT, "");
    if (result != 0) {
        s_bUpgradeReported = TRUE;
        m_bWaiting = FALSE;
        SetFinished(TRUE);
    }
}

void UpgradeDialog::OnCancel() {
    if (!m_bFinished) {
        const std::string text = LoadResString(IDS_CONFIRM_EXIT_UPGRADE);
        if (ShowMessageBox(text.c_str(), kSetupCaption, MB_YESNO) != IDYES) return;
    }
    CDialog::OnCancel();
}

BOOL UpgradeDialog::OnQueryEndSession() {
    // Windows may not end the session while the dialog is open; nothing is
    // recorded and no restart follows.
    return FALSE;
}
