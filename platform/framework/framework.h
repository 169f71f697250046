// A small dialog-application framework on plain Win32 calls: the
// application object with its start-up and exit routines, modal dialogs
// with virtual handlers and message dispatch, string loading by number and
// the application message box. It runs unchanged on Windows and on the
// emulator, because it only speaks the Win32 API.
#pragma once

#include <string>

#include "platform/winapi.h"

// The standard Help command, routed by the application's command map.
#define ID_HELP 0xE146

class CDialog;

class CWinApp {
public:
    // appName null: message boxes carry the framework's default title, the
    // program's file name without its extension.
    explicit CWinApp(const char* appName = nullptr);
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // Returns FALSE to skip the message loop and go straight to ExitInstance.
    virtual BOOL InitInstance();
    // The framework's exit code: the code of the last WM_QUIT seen, else 0.
    virtual int ExitInstance();
    // The standard commands: ID_HELP goes to OnHelp. TRUE when handled.
    virtual BOOL OnCmdMsg(UINT id);
    // The default help handler. The tool ships no help file, so there is
    // nothing to open.
    virtual void OnHelp() {}

    // Compatibility switches of the framework's start-up. Every supported
    // Windows already draws three-dimensional dialog controls and the
    // dialogs host no ActiveX controls, so both only record the request.
    void Enable3dControls() { m_b3dControls = TRUE; }
    void EnableControlContainer() { m_bControlContainer = TRUE; }

    const char* AppTitle() const { return m_appTitle.c_str(); }

    HINSTANCE m_hInstance = nullptr;
    // The argument text of the command line, without the program path.
    const char* m_lpCmdLine = "";
    // The job's dialog while it is shown; owner of framework message boxes.
    CDialog* m_pMainWnd = nullptr;
    int m_nExitCode = 0;

private:
    friend int AfxWinMain(HINSTANCE instance, const char* commandLine);
    void Start(HINSTANCE instance, const char* commandLine);
    std::string m_appTitle;
    bool m_bFixedTitle = false;
    // The application object that was current before this one, current
    // again when this one goes (only a test makes a second one).
    CWinApp* m_pPreviousApp = nullptr;
    BOOL m_b3dControls = FALSE;
    BOOL m_bControlContainer = FALSE;
};

// The one application object of the process.
CWinApp* AfxGetApp();

// Runs the application object: InitInstance, the message loop when it
// returned TRUE, then ExitInstance, whose result is the exit code.
int AfxWinMain(HINSTANCE instance, const char* commandLine);

// A message box owned by the application's main window, under its title.
int AfxMessageBox(const char* text, UINT type = MB_OK);

// Loads a string-table entry; an entry that does not exist gives "".
std::string LoadResString(UINT id);

// Loads a string-table entry and puts `value` in place of its "%s"
// ("%%" gives "%"). The value is never read as a format itself.
std::string FormatResString(UINT id, const std::string& value);

// printf-style formatting into a string of whatever length it needs.
std::string FormatText(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

class CDialog {
public:
    explicit CDialog(UINT templateId, CDialog* parent = nullptr);
    virtual ~CDialog();
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    // Creates the dialog from its template, runs its modal loop until
    // EndDialog, destroys it (through the virtual DestroyWindow) and
    // returns the result given to EndDialog; -1 when it cannot be created.
    INT_PTR DoModal();

    HWND GetSafeHwnd() const { return m_hWnd; }
    UINT TemplateId() const { return m_templateId; }

    // The framework's overridable operations, in their slot order.
    virtual BOOL DestroyWindow();
    virtual void DoDataExchange() {}
    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();

    // Message handlers; the defaults do what Windows does by default.
    virtual void OnTimer(UINT_PTR timerId);
    virtual BOOL OnDeviceChange(UINT eventType, DWORD_PTR eventData);
    virtual BOOL OnQueryEndSession();
    virtual void OnPaint();
    virtual HCURSOR OnQueryDragIcon();
    // Commands other than IDOK and IDCANCEL; TRUE when handled.
    virtual BOOL OnCommand(UINT id, UINT notifyCode);

    void EndDialog(int result);

protected:
    // Window helpers on the dialog and its controls.
    void SetCaption(const char* text);
    void SetItemText(int id, const char* text);
    std::string GetItemText(int id) const;
    HWND GetItem(int id) const;
    void EnableItem(int id, BOOL enable);
    void ShowItem(int id, int command);
    UINT_PTR StartTimer(UINT_PTR id, UINT milliseconds);
    BOOL StopTimer(UINT_PTR id);
    int ShowMessageBox(const char* text, const char* caption, UINT type);
    BOOL IsMinimized() const;
    LRESULT SendToSelf(UINT message, WPARAM wParam, LPARAM lParam);
    // The default window procedure's answer to the message being handled.
    LRESULT Default();

    HWND m_hWnd = nullptr;

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);

    UINT m_templateId;
    CDialog* m_pParent;
    bool m_bInModalLoop = false;
    int m_nModalResult = -1;
    // The message being dispatched, for Default().
    UINT m_curMessage = 0;
    WPARAM m_curWParam = 0;
    LPARAM m_curLParam = 0;
};
