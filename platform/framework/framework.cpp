#include "platform/framework/framework.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// The string-table entry the framework reads its title from, when the
// application defines it.
constexpr UINT kAppTitleStringId = 0xE000;

CWinApp* g_app = nullptr;

// The file name of the running program without folder and extension.
std::string ModuleBaseName() {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return "";
    std::string name(path, length);
    const size_t slash = name.find_last_of("\\/");
    if (slash != std::string::npos) name.erase(0, slash + 1);
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos) name.erase(dot);
    return name;
}

}  // namespace

// ---- the application ---------------------------------------------------------

CWinApp::CWinApp(const char* appName) {
    if (appName) {
        m_appTitle = appName;
        m_bFixedTitle = true;
    }
    m_pPreviousApp = g_app;
    g_app = this;
}

CWinApp::~CWinApp() {
    if (g_app == this) g_app = m_pPreviousApp;
}

void CWinApp::Start(HINSTANCE instance, const char* commandLine) {
    m_hInstance = instance;
    m_lpCmdLine = commandLine ? commandLine : "";
    m_pMainWnd = nullptr;
    m_nExitCode = 0;
    if (!m_bFixedTitle) {
        m_appTitle = LoadResString(kAppTitleStringId);
        if (m_appTitle.empty()) m_appTitle = ModuleBaseName();
    }
}

BOOL CWinApp::InitInstance() { return TRUE; }

int CWinApp::ExitInstance() { return m_nExitCode; }

BOOL CWinApp::OnCmdMsg(UINT id) {
    if (id == ID_HELP) {
        OnHelp();
        return TRUE;
    }
    return FALSE;
}

CWinApp* AfxGetApp() { return g_app; }

int AfxWinMain(HINSTANCE instance, const char* commandLine) {
    CWinApp* app = AfxGetApp();
    if (!app) return -1;
    app->Start(instance, commandLine);
    if (app->InitInstance()) {
        MSG msg;
        while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (msg.message == WM_QUIT) app->m_nExitCode = static_cast<int>(msg.wParam);
    }
    return app->ExitInstance();
}

int AfxMessageBox(const char* text, UINT type) {
    CWinApp* app = AfxGetApp();
    HWND owner = nullptr;
    if (app && app->m_pMainWnd) owner = app->m_pMainWnd->GetSafeHwnd();
    // Like the framework it stands in for, a box without an icon gets the
    // one that fits its buttons.
    if ((type & MB_ICONMASK) == 0) {
        switch (type & MB_TYPEMASK) {
            case MB_OK:
            case MB_OKCANCEL:
                type |= MB_ICONEXCLAMATION;
                break;
            case MB_YESNO:
            case MB_YESNOCANCEL:
                type |= MB_ICONQUESTION;
                break;
            default:
                break;
        }
    }
    return MessageBoxA(owner, text, app ? app->AppTitle() : "", type);
}

std::string LoadResString(UINT id) {
    HINSTANCE instance = AfxGetApp() ? AfxGetApp()->m_hInstance : nullptr;
    std::vector<char> buffer(256);
    while (true) {
        const int length = LoadStringA(instance, id, buffer.data(), static_cast<int>(buffer.size()));
        if (length <= 0) return "";
        // A full buffer may mean a cut-off text: try again with more room.
        if (static_cast<size_t>(length) < buffer.size() - 1) return std::string(buffer.data(), static_cast<size_t>(length));
        if (buffer.size() >= 65536) return std::string(buffer.data(), static_cast<size_t>(length));
        buffer.resize(buffer.size() * 2);
    }
}

std::string FormatResString(UINT id, const std::string& value) {
    const std::string format = LoadResString(id);
    std::string out;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == 's') {
            out += value;
            ++i;
        } else if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == '%') {
            out += '%';
            ++i;
        } else {
            out += format[i];
        }
    }
    return out;
}

std::string FormatText(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int needed = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string out;
    if (needed > 0) {
        std::vector<char> buffer(static_cast<size_t>(needed) + 1);
        std::vsnprintf(buffer.data(), buffer.size(), format, args);
        out.assign(buffer.data(), static_cast<size_t>(needed));
    }
    va_end(args);
    return out;
}

// ---- modal dialogs -------------------------------------------------------------

CDialog::CDialog(UINT templateId, CDialog* parent) : m_templateId(templateId), m_pParent(parent) {}

CDialog::~CDialog() {
    if (m_hWnd) {
        // Never leave a window behind that points at a destroyed object.
        SetWindowLongPtrA(m_hWnd, DWLP_USER, 0);
        ::DestroyWindow(m_hWnd);
        m_hWnd = nullptr;
    }
}

INT_PTR CDialog::DoModal() {
    HWND parent = m_pParent ? m_pParent->GetSafeHwnd() : nullptr;
    const bool disabledParent = parent && IsWindowEnabled(parent);
    if (disabledParent) EnableWindow(parent, FALSE);

    m_nModalResult = -1;
    m_bInModalLoop = true;
    HINSTANCE instance = AfxGetApp() ? AfxGetApp()->m_hInstance : nullptr;
    HWND window = CreateDialogParamA(instance, MAKEINTRESOURCEA(m_templateId), parent, &CDialog::DialogProc,
                                     reinterpret_cast<LPARAM>(this));
    if (!window) {
        m_bInModalLoop = false;
        if (disabledParent) EnableWindow(parent, TRUE);
        return -1;
    }
    if (m_bInModalLoop && !IsWindowVisible(window)) ShowWindow(window, SW_SHOWNORMAL);

    MSG msg;
    while (m_bInModalLoop) {
        const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0) {
            // A quit request ends the dialog and is left for the caller's loop.
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (got < 0) break;
        if (!IsDialogMessageA(m_hWnd, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    m_bInModalLoop = false;

    if (disabledParent) EnableWindow(parent, TRUE);
    DestroyWindow();
    return m_nModalResult;
}

void CDialog::EndDialog(int result) {
    m_nModalResult = result;
    if (!m_bInModalLoop) return;
    m_bInModalLoop = false;
    // Wake the modal loop, which may be waiting for a message.
    if (m_hWnd) PostMessageA(m_hWnd, WM_NULL, 0, 0);
}

BOOL CDialog::DestroyWindow() {
    if (!m_hWnd) return FALSE;
    HWND window = m_hWnd;
    const BOOL destroyed = ::DestroyWindow(window);
    m_hWnd = nullptr;
    return destroyed;
}

BOOL CDialog::OnInitDialog() {
    DoDataExchange();
    return TRUE;
}

void CDialog::OnOK() { EndDialog(IDOK); }

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

void CDialog::OnTimer(UINT_PTR) { Default(); }

BOOL CDialog::OnDeviceChange(UINT, DWORD_PTR) { return static_cast<BOOL>(Default()); }

BOOL CDialog::OnQueryEndSession() { return TRUE; }

void CDialog::OnPaint() { Default(); }

HCURSOR CDialog::OnQueryDragIcon() { return nullptr; }

BOOL CDialog::OnCommand(UINT, UINT) { return FALSE; }

INT_PTR CALLBACK CDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    CDialog* self = nullptr;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<CDialog*>(lParam);
        SetWindowLongPtrA(window, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
        self->m_hWnd = window;
    } else {
        self = reinterpret_cast<CDialog*>(GetWindowLongPtrA(window, DWLP_USER));
    }
    if (!self) return FALSE;
    return self->Dispatch(message, wParam, lParam);
}

INT_PTR CDialog::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    const UINT savedMessage = m_curMessage;
    const WPARAM savedWParam = m_curWParam;
    const LPARAM savedLParam = m_curLParam;
    m_curMessage = message;
    m_curWParam = wParam;
    m_curLParam = lParam;

    INT_PTR result = FALSE;
    switch (message) {
        case WM_INITDIALOG:
            result = OnInitDialog();
            break;
        case WM_COMMAND: {
            const UINT id = LOWORD(wParam);
            const UINT code = HIWORD(wParam);
            if (code == BN_CLICKED && id == IDOK) {
                OnOK();
                result = TRUE;
            } else if (code == BN_CLICKED && id == IDCANCEL) {
                OnCancel();
                result = TRUE;
            } else if (OnCommand(id, code)) {
                result = TRUE;
            } else if (code == 0 && AfxGetApp() && AfxGetApp()->OnCmdMsg(id)) {
                result = TRUE;
            }
            break;
        }
        case WM_TIMER:
            OnTimer(static_cast<UINT_PTR>(wParam));
            result = TRUE;
            break;
        case WM_DEVICECHANGE:
            SetWindowLongPtrA(m_hWnd, DWLP_MSGRESULT, OnDeviceChange(static_cast<UINT>(wParam), static_cast<DWORD_PTR>(lParam)));
            result = TRUE;
            break;
        case WM_QUERYENDSESSION:
            SetWindowLongPtrA(m_hWnd, DWLP_MSGRESULT, OnQueryEndSession());
            result = TRUE;
            break;
        case WM_PAINT:
            OnPaint();
            result = TRUE;
            break;
        case WM_QUERYDRAGICON:
            result = reinterpret_cast<INT_PTR>(OnQueryDragIcon());
            break;
        case WM_NCDESTROY:
            SetWindowLongPtrA(m_hWnd, DWLP_USER, 0);
            m_hWnd = nullptr;
            break;
        default:
            break;
    }

    m_curMessage = savedMessage;
    m_curWParam = savedWParam;
    m_curLParam = savedLParam;
    return result;
}

LRESULT CDialog::Default() { return DefWindowProcA(m_hWnd, m_curMessage, m_curWParam, m_curLParam); }

void CDialog::SetCaption(const char* text) { SetWindowTextA(m_hWnd, text); }

void CDialog::SetItemText(int id, const char* text) { SetDlgItemTextA(m_hWnd, id, text); }

std::string CDialog::GetItemText(int id) const {
    HWND control = ::GetDlgItem(m_hWnd, id);
    if (!control) return "";
    const int length = GetWindowTextLengthA(control);
    std::vector<char> buffer(static_cast<size_t>(length > 0 ? length : 0) + 1);
    const int copied = GetWindowTextA(control, buffer.data(), static_cast<int>(buffer.size()));
    return std::string(buffer.data(), static_cast<size_t>(copied > 0 ? copied : 0));
}

HWND CDialog::GetItem(int id) const { return ::GetDlgItem(m_hWnd, id); }

void CDialog::EnableItem(int id, BOOL enable) {
    if (HWND control = ::GetDlgItem(m_hWnd, id)) EnableWindow(control, enable);
}

void CDialog::ShowItem(int id, int command) {
    if (HWND control = ::GetDlgItem(m_hWnd, id)) ShowWindow(control, command);
}

UINT_PTR CDialog::StartTimer(UINT_PTR id, UINT milliseconds) { return ::SetTimer(m_hWnd, id, milliseconds, nullptr); }

BOOL CDialog::StopTimer(UINT_PTR id) { return ::KillTimer(m_hWnd, id); }

int CDialog::ShowMessageBox(const char* text, const char* caption, UINT type) {
    return MessageBoxA(m_hWnd, text, caption, type);
}

BOOL CDialog::IsMinimized() const { return ::IsIconic(m_hWnd); }

LRESULT CDialog::SendToSelf(UINT message, WPARAM wParam, LPARAM lParam) {
    return SendMessageA(m_hWnd, message, wParam, lParam);
}
