// The uninstall job's dialog. It names the first present adapter that runs
// the profile's driver, removes it on one click with the driver package's
// files, reports the outcome in place, and on Close uninstalls the
// companion software when it was installed. Escape closes it without
// touching the companion. One removal per dialog.
#pragma once

#include "device/device_list.h"
#include "ui/setup_dialog.h"

class UninstallDialog : public SetupDialog {
public:
    explicit UninstallDialog(CDialog* parent = nullptr);

    BOOL OnInitDialog() override;
    // Close (or Enter): the companion uninstall, then the dialog ends.
    void OnOK() override;
    BOOL OnCommand(UINT id, UINT notifyCode) override;

    // The Remove button.
    void OnRemove();

    DeviceList m_deviceList;
};
