// The install job's dialog: finds or waits for an adapter, installs its
// driver, reports it by name, and offers a restart when one was asked for.
#pragma once

#include <string>

#include "device/device_list.h"
#include "ui/setup_dialog.h"

class InstallDialog : public SetupDialog {
public:
    explicit InstallDialog(CDialog* parent = nullptr);

    // The hardware ID of the first ready adapter of the list; "" when none.
    std::string GetHardwareId() const;

    int m_nWindowsKind = 0;
    DeviceList m_deviceList;
    UINT_PTR m_nSettleTimer = 0;
    UINT_PTR m_nPollTimer = 0;
    BOOL m_bWaiting = FALSE;
    int m_nBaselineCount = 0;
    BOOL m_bFinished = FALSE;
    // Set when Windows asked to end the session while the dialog was open.
    BOOL m_bRebootRequested = FALSE;
};
