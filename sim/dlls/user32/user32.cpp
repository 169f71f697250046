// User32, Gdi32: windows, dialogs, the message loop, message boxes and
// resources, as the emulated machine's window manager implements them.
#include "sim/include/windows.h"
#include "sim/machine/machine.h"
#include "sim/machine/window_manager.h"

using sim::Current;

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    return Current().windows().MessageBoxA(owner, text, caption, type);
}

int LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int size) {
    return Current().windows().LoadStringA(instance, id, buffer, size);
}

HICON LoadIconA(HINSTANCE instance, LPCSTR name) { return Current().windows().LoadIconA(instance, name); }

HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name) { return Current().windows().LoadCursorA(instance, name); }

HANDLE LoadImageA(HINSTANCE instance, LPCSTR name, UINT type, int cx, int cy, UINT flags) {
    return Current().windows().LoadImageA(instance, name, type, cx, cy, flags);
}

BOOL DestroyIcon(HICON icon) { return Current().windows().DestroyIcon(icon); }

HCURSOR SetCursor(HCURSOR cursor) { return Current().windows().SetCursor(cursor); }

int GetSystemMetrics(int index) { return Current().windows().GetSystemMetrics(index); }

HWND CreateDialogParamA(HINSTANCE instance, LPCSTR templateName, HWND parent, DLGPROC proc, LPARAM param) {
    return Current().windows().CreateDialogParamA(instance, templateName, parent, proc, param);
}

BOOL DestroyWindow(HWND window) { return Current().windows().DestroyWindow(window); }

BOOL EndDialog(HWND dialog, INT_PTR result) { return Current().windows().EndDialog(dialog, result); }

BOOL IsWindow(HWND window) { return Current().windows().IsWindow(window); }

HWND GetDlgItem(HWND dialog, int id) { return Current().windows().GetDlgItem(dialog, id); }

int GetDlgCtrlID(HWND control) { return Current().windows().GetDlgCtrlID(control); }

BOOL SetWindowTextA(HWND window, LPCSTR text) { return Current().windows().SetWindowTextA(window, text); }

int GetWindowTextA(HWND window, LPSTR buffer, int size) {
    return Current().windows().GetWindowTextA(window, buffer, size);
}

int GetWindowTextLengthA(HWND window) { return Current().windows().GetWindowTextLengthA(window); }

BOOL EnableWindow(HWND window, BOOL enable) { return Current().windows().EnableWindow(window, enable); }

BOOL IsWindowEnabled(HWND window) { return Current().windows().IsWindowEnabled(window); }

BOOL ShowWindow(HWND window, int command) { return Current().windows().ShowWindow(window, command); }

BOOL IsWindowVisible(HWND window) { return Current().windows().IsWindowVisible(window); }

BOOL IsIconic(HWND window) { return Current().windows().IsIconic(window); }

HWND GetParent(HWND window) { return Current().windows().GetParent(window); }

HWND GetDesktopWindow() { return Current().windows().DesktopWindow(); }

HWND GetFocus() { return Current().windows().GetFocus(); }

HWND SetFocus(HWND window) { return Current().windows().SetFocus(window); }

LONG_PTR GetWindowLongPtrA(HWND window, int index) { return Current().windows().GetWindowLongPtrA(window, index); }

LONG_PTR SetWindowLongPtrA(HWND window, int index, LONG_PTR value) {
    return Current().windows().SetWindowLongPtrA(window, index, value);
}

BOOL GetClientRect(HWND window, LPRECT rect) { return Current().windows().GetClientRect(window, rect); }

BOOL UpdateWindow(HWND window) { return Current().windows().UpdateWindow(window); }

BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase) {
    return Current().windows().InvalidateRect(window, rect, erase);
}

HWND FindWindowA(LPCSTR className, LPCSTR windowName) { return Current().windows().FindWindowA(className, windowName); }

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return Current().windows().SendMessageA(window, message, wParam, lParam);
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return Current().windows().PostMessageA(window, message, wParam, lParam);
}

void PostQuitMessage(int exitCode) { Current().windows().PostQuitMessage(exitCode); }

LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return Current().windows().DefWindowProcA(window, message, wParam, lParam);
}

UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC proc) {
    return Current().windows().SetTimer(window, id, elapse, proc);
}

BOOL KillTimer(HWND window, UINT_PTR id) { return Current().windows().KillTimer(window, id); }

BOOL GetMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax) {
    return Current().windows().GetMessageA(msg, window, filterMin, filterMax);
}

BOOL PeekMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT remove) {
    return Current().windows().PeekMessageA(msg, window, filterMin, filterMax, remove);
}

BOOL TranslateMessage(const MSG* msg) { return Current().windows().TranslateMessage(msg); }

LRESULT DispatchMessageA(const MSG* msg) { return Current().windows().DispatchMessageA(msg); }

BOOL IsDialogMessageA(HWND dialog, LPMSG msg) { return Current().windows().IsDialogMessageA(dialog, msg); }

DWORD MsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds, DWORD wakeMask) {
    return Current().windows().MsgWaitForMultipleObjects(count, handles, waitAll, milliseconds, wakeMask);
}

HDC BeginPaint(HWND window, LPPAINTSTRUCT paint) { return Current().windows().BeginPaint(window, paint); }

BOOL EndPaint(HWND window, const PAINTSTRUCT* paint) { return Current().windows().EndPaint(window, paint); }

BOOL DrawIcon(HDC dc, int x, int y, HICON icon) { return Current().windows().DrawIcon(dc, x, y, icon); }

// The dialog-item shorthands: the control by its id, then the plain call.
BOOL SetDlgItemTextA(HWND dialog, int id, LPCSTR text) {
    HWND control = GetDlgItem(dialog, id);
    return control ? SetWindowTextA(control, text) : FALSE;
}

UINT GetDlgItemTextA(HWND dialog, int id, LPSTR buffer, int size) {
    HWND control = GetDlgItem(dialog, id);
    if (!control) {
        if (buffer && size > 0) buffer[0] = '\0';
        return 0;
    }
    return static_cast<UINT>(GetWindowTextA(control, buffer, size));
}

LRESULT SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam) {
    HWND control = GetDlgItem(dialog, id);
    return control ? SendMessageA(control, message, wParam, lParam) : 0;
}
