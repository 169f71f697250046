// The upgrade job's dialog, shown when the run found nothing to upgrade on
// Windows NT 4.0, 2000 or XP. It asks for the card, waits for a
// device-change notification, lets the system settle for five seconds,
// then upgrades the driver of the adapter that is now present and reports
// the outcome by the device's name. It works only on Windows 2000 and XP;
// on NT 4.0 it waits until the user cancels. It has no time limit and
// refuses to let Windows end the session while it is open.
#pragma once

#include "ui/card_wait_dialog.h"

class UpgradeDialog : public CardWaitDialog {
public:
    explicit UpgradeDialog(CDialog* parent = nullptr);

    void DoDataExchange() override {}
    BOOL OnInitDialog() override;
    void OnCancel() override;

    void OnTimer(UINT_PTR timerId) override;
    BOOL OnDeviceChange(UINT eventType, DWORD_PTR eventData) override;
    BOOL OnQueryEndSession() override;

    // Set the first time the settle timer reported an upgrade that
    // succeeded or failed; from then on the settle timer does nothing. The
    // install dialog keeps a flag of its own.
    static BOOL s_bUpgradeReported;

private:
    void UpgradeArrivedDevice();
};
