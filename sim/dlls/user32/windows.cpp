// User32's window and dialog functions and MessageBoxA, over the machine's
// window manager (sim/machine/window_manager.h).
//
// Each function turns its handle into the window or fails the call, checks
// its arguments as Windows does, lets the window manager act and fills the
// caller's buffers (sim/dlls/entry.h). A failure sets the last error and
// adds a "failure" line.
#include "sim/dlls/entry.h"
#include "sim/dlls/user32/calls.h"
#include "sim/formats/resources.h"
#include "sim/machine/machine.h"
#include "sim/machine/modules.h"

using sim::Window;
using sim::user32::FailFor;
using sim::user32::OwnWindowOrFail;
using sim::user32::Windows;
using sim::user32::WindowOrFail;

// ---- creation and destruction ------------------------------------------------------

HWND CreateDialogParamA(HINSTANCE instance, LPCSTR templateName, HWND parent, DLGPROC proc, LPARAM param) {
    constexpr const char* kCall = "CreateDialogParamA";
    if (instance && !sim::user32::IsToolOrSystem(instance)) {
        sim::dll::Fail(kCall, sim::user32::ResourceObject(templateName), ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    const sim::DialogTemplate* dialogTemplate =
        sim::ApplicationResourceScript().FindDialog(sim::user32::ResourceNumber(templateName));
    if (!dialogTemplate) {
        sim::dll::Fail(kCall, sim::user32::ResourceObject(templateName), ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    if (parent && !WindowOrFail(kCall, parent)) return nullptr;
    return Windows().BuildDialog(*dialogTemplate, parent, proc, param);
}

BOOL DestroyWindow(HWND window) {
    constexpr const char* kCall = "DestroyWindow";
    const Window* w = WindowOrFail(kCall, window);
    if (!w) return FALSE;
    if (!w->IsOwn()) {
        FailFor(kCall, window, ERROR_ACCESS_DENIED);
        return FALSE;
    }
    Windows().Destroy(window);
    return TRUE;
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
    const Window* w = WindowOrFail("EndDialog", dialog);
    if (!w || !w->isDialog) return FALSE;
    Windows().FinishDialog(dialog, result);
    return TRUE;
}

BOOL IsWindow(HWND window) { return Windows().Find(window) ? TRUE : FALSE; }

// ---- controls and text --------------------------------------------------------------

HWND GetDlgItem(HWND dialog, int id) {
    constexpr const char* kCall = "GetDlgItem";
    if (!WindowOrFail(kCall, dialog)) return nullptr;
    const HWND control = Windows().Control(dialog, id);
    if (!control) FailFor(kCall, dialog, ERROR_CONTROL_ID_NOT_FOUND);
    return control;
}

int GetDlgCtrlID(HWND control) {
    const Window* w = WindowOrFail("GetDlgCtrlID", control);
    return w && (w->style & WS_CHILD) ? w->id : 0;
}

BOOL SetWindowTextA(HWND window, LPCSTR text) {
    constexpr const char* kCall = "SetWindowTextA";
    const Window* w = WindowOrFail(kCall, window);
    if (!w) return FALSE;
    if (w->desktop) {
        FailFor(kCall, window, ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return Windows().Send(window, {WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)}) ? TRUE : FALSE;
}

int GetWindowTextA(HWND window, LPSTR buffer, int size) {
    if (!buffer || size <= 0) return 0;
    buffer[0] = '\0';
    const Window* w = WindowOrFail("GetWindowTextA", window);
    if (!w) return 0;
    const auto bufferSize = static_cast<DWORD>(size);
    // The text of another program's window is read without asking it.
    if (!w->IsOwn()) return static_cast<int>(sim::dll::CopyTextTruncated(w->text, buffer, bufferSize, nullptr));
    return static_cast<int>(Windows().Send(window, {WM_GETTEXT, bufferSize, reinterpret_cast<LPARAM>(buffer)}));
}

int GetWindowTextLengthA(HWND window) {
    const Window* w = WindowOrFail("GetWindowTextLengthA", window);
    if (!w) return 0;
    if (!w->IsOwn()) return static_cast<int>(w->text.size());
    return static_cast<int>(Windows().Send(window, {WM_GETTEXTLENGTH, 0, 0}));
}

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

// ---- state ------------------------------------------------------------------------------

BOOL EnableWindow(HWND window, BOOL enable) {
    constexpr const char* kCall = "EnableWindow";
    const Window* w = WindowOrFail(kCall, window);
    if (!w) return FALSE;
    if (w->desktop) {
        FailFor(kCall, window, ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return Windows().Enable(window, enable != FALSE) ? TRUE : FALSE;
}

BOOL IsWindowEnabled(HWND window) {
    const Window* w = WindowOrFail("IsWindowEnabled", window);
    return w && !(w->style & WS_DISABLED) ? TRUE : FALSE;
}

BOOL ShowWindow(HWND window, int command) {
    constexpr const char* kCall = "ShowWindow";
    const Window* w = WindowOrFail(kCall, window);
    if (!w) return FALSE;
    if (w->desktop) {
        FailFor(kCall, window, ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    sim::ShowState state = sim::ShowState::Shown;
    switch (command) {
        case SW_HIDE: state = sim::ShowState::Hide; break;
        case SW_SHOWNORMAL:
        case SW_RESTORE:
        case SW_SHOWDEFAULT: state = sim::ShowState::Normal; break;
        case SW_SHOWMINIMIZED:
        case SW_MINIMIZE:
        case SW_SHOWMINNOACTIVE:
        case SW_FORCEMINIMIZE: state = sim::ShowState::Minimised; break;
        case SW_SHOWMAXIMIZED: state = sim::ShowState::Maximised; break;
        case SW_SHOWNOACTIVATE:
        case SW_SHOW:
        case SW_SHOWNA: state = sim::ShowState::Shown; break;
        default: FailFor(kCall, window, ERROR_INVALID_PARAMETER); return FALSE;
    }
    return Windows().Show(window, state) ? TRUE : FALSE;
}

BOOL IsWindowVisible(HWND window) { return Windows().IsShown(window) ? TRUE : FALSE; }

BOOL IsIconic(HWND window) {
    const Window* w = Windows().Find(window);
    return w && (w->style & WS_MINIMIZE) ? TRUE : FALSE;
}

HWND GetParent(HWND window) {
    const Window* w = WindowOrFail("GetParent", window);
    // A child's parent; a pop-up's owner.
    return w && (w->style & (WS_CHILD | WS_POPUP)) ? w->parent : nullptr;
}

HWND GetDesktopWindow() { return Windows().DesktopWindow(); }

HWND GetFocus() { return Windows().Focus(); }

HWND SetFocus(HWND window) {
    if (window && !OwnWindowOrFail("SetFocus", window)) return nullptr;
    return Windows().MoveFocus(window).value_or(nullptr);
}

// ---- window data ------------------------------------------------------------------------

namespace {

// The dialog's own slots, at the offsets the dialog manager gives them.
enum class DialogSlot { None, MsgResult, Procedure, User };

DialogSlot DialogSlotAt(const Window& w, int index) {
    if (!w.isDialog) return DialogSlot::None;
    if (index == static_cast<int>(DWLP_MSGRESULT)) return DialogSlot::MsgResult;
    if (index == static_cast<int>(DWLP_DLGPROC)) return DialogSlot::Procedure;
    if (index == static_cast<int>(DWLP_USER)) return DialogSlot::User;
    return DialogSlot::None;
}

// Sets a slot of the window that nothing else depends on; the old value.
LONG_PTR Swap(LONG_PTR& slot, LONG_PTR value) {
    const LONG_PTR old = slot;
    slot = value;
    return old;
}

}  // namespace

LONG_PTR GetWindowLongPtrA(HWND window, int index) {
    constexpr const char* kCall = "GetWindowLongPtrA";
    const Window* w = WindowOrFail(kCall, window);
    if (!w) return 0;
    switch (index) {
        case GWL_STYLE: return static_cast<LONG_PTR>(w->style);
        case GWL_EXSTYLE: return static_cast<LONG_PTR>(w->exStyle);
        case GWLP_ID: return (w->style & WS_CHILD) ? w->id : 0;
        case GWLP_USERDATA: return w->userData;
        case GWLP_HINSTANCE: return w->IsOwn() ? reinterpret_cast<LONG_PTR>(sim::Current().modules().Self()) : 0;
        case GWLP_HWNDPARENT: return reinterpret_cast<LONG_PTR>(w->parent);
        default: break;
    }
    switch (DialogSlotAt(*w, index)) {
        case DialogSlot::MsgResult: return w->msgResult;
        case DialogSlot::Procedure: return reinterpret_cast<LONG_PTR>(w->dialogProc);
        case DialogSlot::User: return w->user;
        case DialogSlot::None: break;
    }
    FailFor(kCall, window, ERROR_INVALID_INDEX);
    return 0;
}

LONG_PTR SetWindowLongPtrA(HWND window, int index, LONG_PTR value) {
    constexpr const char* kCall = "SetWindowLongPtrA";
    Window* w = WindowOrFail(kCall, window);
    if (!w) return 0;
    if (!w->IsOwn()) {
        FailFor(kCall, window, ERROR_ACCESS_DENIED);
        return 0;
    }
    switch (index) {
        case GWL_STYLE: {
            const auto old = static_cast<LONG_PTR>(w->style);
            Windows().SetStyle(window, static_cast<DWORD>(value));
            return old;
        }
        case GWL_EXSTYLE: {
            const auto old = static_cast<LONG_PTR>(w->exStyle);
            w->exStyle = static_cast<DWORD>(value);
            return old;
        }
        case GWLP_ID: {
            const LONG_PTR old = w->id;
            w->id = static_cast<int>(value);
            return old;
        }
        case GWLP_USERDATA: return Swap(w->userData, value);
        default: break;
    }
    switch (DialogSlotAt(*w, index)) {
        case DialogSlot::MsgResult: return Swap(w->msgResult, value);
        case DialogSlot::Procedure: {
            const auto old = reinterpret_cast<LONG_PTR>(w->dialogProc);
            w->dialogProc = reinterpret_cast<DLGPROC>(value);
            return old;
        }
        case DialogSlot::User: return Swap(w->user, value);
        case DialogSlot::None: break;
    }
    FailFor(kCall, window, ERROR_INVALID_INDEX);
    return 0;
}

BOOL GetClientRect(HWND window, LPRECT rect) {
    constexpr const char* kCall = "GetClientRect";
    const Window* w = WindowOrFail(kCall, window);
    if (!w) return FALSE;
    if (!rect) {
        FailFor(kCall, window, ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *rect = w->client;
    return TRUE;
}

HWND FindWindowA(LPCSTR className, LPCSTR windowName) {
    std::optional<std::string> wantedClass;
    // A class given as an atom is named "#<atom>".
    if (className) wantedClass = sim::user32::ResourceObject(className);
    std::optional<std::string_view> title;
    if (windowName) title = windowName;
    const HWND found = Windows().FindTopLevel(wantedClass, title);
    if (!found) {
        std::string object = wantedClass.value_or("");
        if (windowName) object += (object.empty() ? "\"" : " \"") + std::string(windowName) + "\"";
        sim::dll::Fail("FindWindowA", object, ERROR_CANNOT_FIND_WND_CLASS);
    }
    return found;
}

// ---- message boxes ------------------------------------------------------------------

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    constexpr const char* kCall = "MessageBoxA";
    if (owner && !WindowOrFail(kCall, owner)) return 0;
    if ((type & MB_TYPEMASK) > MB_CANCELTRYCONTINUE) {
        sim::dll::Fail(kCall, text ? text : "", ERROR_INVALID_MSGBOX_STYLE);
        return 0;
    }
    // The caption Windows uses when none is given.
    return Windows().ShowMessageBox(owner, text ? text : "", caption ? caption : "Error", type);
}
