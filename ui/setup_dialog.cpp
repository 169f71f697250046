#include "ui/setup_dialog.h"

#include "ui/res/resource.h"

const char* const kSetupCaption = "Tavarin Device Setup";

namespace {

HINSTANCE AppInstance() { return AfxGetApp() ? AfxGetApp()->m_hInstance : nullptr; }

}  // namespace

SetupDialog::SetupDialog(UINT templateId, CDialog* parent) : CDialog(templateId, parent) {
    m_hIcon = ::LoadIconA(AppInstance(), MAKEINTRESOURCEA(IDR_MAINFRAME));
}

SetupDialog::~SetupDialog() {
    if (m_hBanner) ::DeleteObject(m_hBanner);
}

void SetupDialog::ShowWindowIcons() {
    SendToSelf(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendToSelf(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
}

void SetupDialog::ShowBanner() {
    HANDLE image = ::LoadImageA(AppInstance(), MAKEINTRESOURCEA(IDB_BANNER), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR);
    if (!image) return;
    if (m_hBanner) ::DeleteObject(m_hBanner);
    m_hBanner = static_cast<HBITMAP>(image);
    ::SendDlgItemMessageA(GetSafeHwnd(), IDC_BANNER, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(m_hBanner));
}

void SetupDialog::PaintCentredIcon() {
    PAINTSTRUCT paint;
    HDC dc = ::BeginPaint(GetSafeHwnd(), &paint);
    SendToSelf(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client;
    ::GetClientRect(GetSafeHwnd(), &client);
    const int x = (client.right - client.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - client.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
    ::DrawIcon(dc, x, y, m_hIcon);
    ::EndPaint(GetSafeHwnd(), &paint);
}

BOOL SetupDialog::DestroyWindow() {
    const BOOL destroyed = CDialog::DestroyWindow();
    // The banner control is gone with the window: the bitmap can go too.
    if (m_hBanner) {
        ::DeleteObject(m_hBanner);
        m_hBanner = nullptr;
    }
    return destroyed;
}
