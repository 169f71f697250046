// What the tool's dialogs share: the window icon, the banner, the centred
// icon of a minimised dialog, and the two timers of the dialogs that wait
// for a card.
#pragma once

#include "platform/framework/framework.h"

// Timers of the dialogs that wait for an inserted card.
constexpr UINT_PTR IDT_DEVICE_SETTLE = 1000;  // 5 s after the last device-change notification
constexpr UINT_PTR IDT_DEVICE_POLL = 1001;    // slow poll while waiting
constexpr UINT kSettlePeriodMs = 5000;
constexpr UINT kPollPeriodMs = 4000;

// The caption the dialogs and their questions carry.
extern const char* const kSetupCaption;  // "Tavarin Device Setup"

class SetupDialog : public CDialog {
public:
    ~SetupDialog() override;

    // The window icon (icon 128), loaded with the dialog object.
    HICON m_hIcon = nullptr;

protected:
    SetupDialog(UINT templateId, CDialog* parent);

    // Sets the large and small window icons.
    void ShowWindowIcons();
    // Loads bitmap 247 and puts it into the banner control. The dialog owns
    // the bitmap and frees it after the window is gone.
    void ShowBanner();
    // Paints the window icon centred in the client area (for a minimised
    // dialog).
    void PaintCentredIcon();

    BOOL DestroyWindow() override;

private:
    HBITMAP m_hBanner = nullptr;
};
