#include "ui/card_wait_dialog.h"

void CardWaitDialog::StartPoll() { m_nPollTimer = StartTimer(IDT_DEVICE_POLL, kPollPeriodMs); }

void CardWaitDialog::StopPoll() {
    StopTimer(IDT_DEVICE_POLL);
    m_nPollTimer = 0;
}

void CardWaitDialog::StartSettling() {
    m_nSettleTimer = StartTimer(IDT_DEVICE_SETTLE, kSettlePeriodMs);
    StopPoll();
}

void CardWaitDialog::SetFinished(BOOL done) {
    EnableItem(IDOK, done == TRUE);
    EnableItem(IDCANCEL, done != TRUE);
    m_bFinished = done;
}

BOOL CardWaitDialog::DestroyWindow() {
    if (m_nSettleTimer) StopTimer(IDT_DEVICE_SETTLE);
    if (m_nPollTimer) StopTimer(IDT_DEVICE_POLL);
    return SetupDialog::DestroyWindow();
}

void CardWaitDialog::OnPaint() {
    if (IsMinimized()) {
        PaintCentredIcon();
    } else {
        CDialog::OnPaint();
    }
}

HCURSOR CardWaitDialog::OnQueryDragIcon() { return static_cast<HCURSOR>(m_hIcon); }
