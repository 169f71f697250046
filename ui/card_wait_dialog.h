// What the install and upgrade dialogs share while they wait for a card:
// the device list, the two timers (a slow poll while waiting, a settle
// period after the last device-change notification), the Close / Cancel
// state, and the icon of a minimised dialog. The timers are stopped when
// the window goes.
#pragma once

#include "device/device_list.h"
#include "ui/setup_dialog.h"

class CardWaitDialog : public SetupDialog {
public:
    BOOL DestroyWindow() override;
    void OnPaint() override;
    HCURSOR OnQueryDragIcon() override;

    // 1: Close enabled, Cancel disabled; otherwise the reverse.
    void SetFinished(BOOL done);

    int m_nWindowsKind = 0;
    DeviceList m_deviceList;
    UINT_PTR m_nSettleTimer = 0;
    UINT_PTR m_nPollTimer = 0;
    BOOL m_bWaiting = FALSE;
    BOOL m_bFinished = FALSE;

protected:
    CardWaitDialog(UINT templateId, CDialog* parent) : SetupDialog(templateId, parent) {}

    void StartPoll();
    void StopPoll();
    // Every notification restarts the settle period and stops the poll.
    void StartSettling();
};
