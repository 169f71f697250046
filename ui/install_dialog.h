// The install job's dialog. When it opens it looks for a present adapter
// that runs the profile's driver; if there is none it installs the driver
// package for whatever adapter is there and looks again, and otherwise
// waits for the user to insert the card: it learns of the card from
// device-change notifications, lets the system settle for five seconds after
// the last one, and reports the installed driver by the device's name. On
// Close it records the installation, offers a restart when Windows asked for
// one, and starts the utility or the companion installer.
#pragma once

#include <string>

#include "ui/card_wait_dialog.h"

class InstallDialog : public CardWaitDialog {
public:
    explicit InstallDialog(CDialog* parent = nullptr);

    // The hardware ID of the first ready adapter of the list; "" when none.
    std::string GetHardwareId() const;

    void DoDataExchange() override {}
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;

    void OnTimer(UINT_PTR timerId) override;
    BOOL OnDeviceChange(UINT eventType, DWORD_PTR eventData) override;
    BOOL OnQueryEndSession() override;

    // Asks whether to restart now; 1 for Yes.
    BOOL AskRestart();

    // The device count when the wait began (Windows 98 SE / Me): a rise
    // means a new device.
    int m_nBaselineCount = 0;
    // Set when Windows asked to end the session while the dialog was open.
    BOOL m_bRebootRequested = FALSE;

    // Set the first time a settled device was reported; from then on the
    // settle timer does nothing, in this dialog and any later one.
    static BOOL s_bDeviceReported;

private:
    void ReportDevice(const FoundDevice* device);
};
