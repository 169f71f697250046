#include "ui/uninstall_dialog.h"

#include <string>

#include "cleanup/companion.h"
#include "device/device_removal.h"
#include "device/device_search.h"
#include "driver/inf_cleanup.h"
#include "ui/res/resource.h"

namespace {

const char kUninstallCaption[] = "Tavarin Device Uninstall";
// RemoveDevices' answer for a device that is gone.
constexpr int kRemoved = 1;

}  // namespace

UninstallDialog::UninstallDialog(CDialog* parent) : SetupDialog(IDD_UNINSTALL, parent) {}

BOOL UninstallDialog::OnInitDialog() {
    CDialog::OnInitDialog();
    SetCaption(kUninstallCaption);
    ShowBanner();
    const FoundDevice* device = FindSupportedDevice(m_deviceList) > 0 ? m_deviceList.FindFirst(0) : nullptr;
    if (device) {
        SetItemText(IDC_DEVICE_NAME, device->name.c_str());
        EnableItem(IDC_REMOVE, TRUE);
        ShowItem(IDC_DEVICE_NAME, SW_SHOW);
    } else {
        SetItemText(IDC_INSTRUCTIONS, LoadResString(IDS_NO_DEVICE_TO_REMOVE).c_str());
    }
    return TRUE;
}

BOOL UninstallDialog::OnCommand(UINT id, UINT notifyCode) {
    if (id == IDC_REMOVE && notifyCode == BN_CLICKED) {
        OnRemove();
        return TRUE;
    }
    return CDialog::OnCommand(id, notifyCode);
}

void UninstallDialog::OnRemove() {
    EnableItem(IDC_REMOVE, FALSE);
    EnableItem(IDOK, FALSE);
    // The device OnInitDialog showed; the list is not searched again.
    const FoundDevice* device = m_deviceList.FindFirst(0);
    if (!device) {
        EnableItem(IDOK, TRUE);
        return;
    }
    const std::string hardwareId = device->hardwareId;
    SetItemText(IDC_STATUS, LoadResString(IDS_REMOVING_DEVICE).c_str());
    // The INF name lives in the driver key, which goes with the device.
    std::string infName;
    ReadInstalledInfName(infName, *device);

    const HCURSOR previous = ::SetCursor(::LoadCursorA(nullptr, IDC_WAIT));
    const int removed = RemoveDevices(*device);
    ::SetCursor(previous);

    if (removed == kRemoved) {
        RemoveInstalledInf(infName, hardwareId);
        SetItemText(IDC_DEVICE_NAME, (GetItemText(IDC_DEVICE_NAME) + LoadResString(IDS_REMOVED_SUFFIX)).c_str());
        SetItemText(IDC_INSTRUCTIONS, LoadResString(IDS_REMOVE_SUCCEEDED).c_str());
        SetItemText(IDC_STATUS, "");
    } else {
        SetItemText(IDC_STATUS, LoadResString(IDS_REMOVE_FAILED).c_str());
    }
    EnableItem(IDOK, TRUE);
}

void UninstallDialog::OnOK() {
    UninstallCompanion();
    CDialog::OnOK();
}
