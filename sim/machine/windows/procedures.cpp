// The window procedures of Windows' own classes: the dialog manager
// (DefDlgProc and IsDialogMessage's keys), DefWindowProc, and the button,
// static and edit controls; and sending a message to a window, the tool's
// or another program's.
//
// Messages carry the caller's pointers here as on Windows (WM_SETTEXT's
// text, WM_GETTEXT's buffer); WM_GETTEXT copies out with the window-text
// rule of sim/dlls/entry.h.
#include "sim/base/text.h"
#include "sim/dlls/entry.h"
#include "sim/include/windows.h"
#include "sim/machine/machine.h"
#include "sim/machine/window_manager.h"

namespace sim {

namespace {

// The messages whose result a dialog procedure returns itself rather than
// through DWLP_MSGRESULT.
bool ReturnsDirectly(UINT message) {
    return message == WM_INITDIALOG || message == WM_QUERYDRAGICON || message == WM_VKEYTOITEM ||
           message == WM_CHARTOITEM || message == WM_COMPAREITEM ||
           (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC);
}

std::string QuoteName(const std::string& text) { return "\"" + text + "\""; }

bool IsButton(const Window& w) { return EqualNoCase(w.className, "Button"); }

}  // namespace

// ---- sending ---------------------------------------------------------------------------

LRESULT WindowManager::Send(HWND window, const Message& message) {
    return Find(window) ? CallWindow(window, message) : 0;
}

LRESULT WindowManager::CallWindow(HWND window, const Message& message) {
    Window* w = Find(window);
    if (!w || w->desktop) return 0;
    if (w->foreign) {
        // Copies: the reply may remove the window.
        const auto reply = w->reply;
        const std::string name = QuoteName(w->className) + " " + QuoteName(w->text);
        const LRESULT result = reply ? reply(message.id, message.wParam, message.lParam) : 0;
        machine_.Record("window", "message 0x" + Hex(message.id, 4) + " to " + name + ": " + std::to_string(result));
        return result;
    }
    if (w->isDialog) return DefDlgProc(window, message);
    if (EqualNoCase(w->className, "Button")) return ButtonProc(window, message);
    if (EqualNoCase(w->className, "Static")) return StaticProc(window, message);
    if (EqualNoCase(w->className, "Edit")) return EditProc(window, message);
    return DefaultProcedure(window, message);
}

// ---- the dialog manager -----------------------------------------------------------------

LRESULT WindowManager::DefDlgProc(HWND dialog, const Message& message) {
    Window* w = Find(dialog);
    if (!w) return 0;
    w->msgResult = 0;
    // A paint that reaches the dialog while one of its own handlers runs
    // (a wait that keeps dispatching messages) is what shows the person
    // that the dialog is still alive: the transcript says so. The paints
    // of its message loop are not worth a line.
    if (message.id == WM_PAINT && w->handling > 0 && w->appeared) {
        machine_.Record("dialog", QuoteName(w->text) + " repainted");
    }
    const DLGPROC proc = w->dialogProc;
    ++w->handling;
    const INT_PTR result = proc ? proc(dialog, message.id, message.wParam, message.lParam) : FALSE;
    w = Find(dialog);
    if (w) --w->handling;
    if (!result && w) {
        // The dialog procedure left the message to the dialog manager.
        switch (message.id) {
            case WM_CLOSE: {
                // A click on Cancel, unless the dialog's Cancel is disabled.
                const HWND cancel = Control(dialog, IDCANCEL);
                const Window* c = Find(cancel);
                if (!c || !(c->style & WS_DISABLED)) {
                    Post(dialog, {WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(cancel)});
                }
                return 0;
            }
            case DM_GETDEFID: {
                if (w->ended) return 0;
                if (w->defaultId) return MAKELONG(w->defaultId, DC_HASDEFID);
                for (HWND child : w->children) {
                    const Window* c = Find(child);
                    if (c && IsButton(*c) && (c->style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) {
                        return MAKELONG(c->id, DC_HASDEFID);
                    }
                }
                return 0;
            }
            case DM_SETDEFID: {
                if (w->ended) return TRUE;
                w->defaultId = static_cast<int>(message.wParam);
                for (HWND child : std::vector<HWND>(w->children)) {
                    Window* c = Find(child);
                    if (!c || !IsButton(*c)) continue;
                    const DWORD type = c->style & BS_TYPEMASK;
                    const DWORD others = c->style & ~static_cast<DWORD>(BS_TYPEMASK);
                    if (type == BS_DEFPUSHBUTTON && c->id != w->defaultId) {
                        c->style = others | BS_PUSHBUTTON;
                    } else if (type == BS_PUSHBUTTON && c->id == w->defaultId) {
                        c->style = others | BS_DEFPUSHBUTTON;
                    }
                }
                return TRUE;
            }
            case WM_ERASEBKGND: return 1;
            case WM_INITDIALOG:
            case WM_VKEYTOITEM:
            case WM_CHARTOITEM:
            case WM_COMPAREITEM: break;
            default: return DefaultProcedure(dialog, message);
        }
    }
    if (ReturnsDirectly(message.id)) return result;
    w = Find(dialog);
    return w ? w->msgResult : 0;
}

bool WindowManager::HandleDialogMessage(HWND dialog, const QueuedMessage& queued) {
    const HWND target = queued.window;
    const Message& m = queued.message;
    if (!Find(dialog)) return false;
    if (target != dialog && !IsDescendant(dialog, target)) return false;
    auto command = [&](WPARAM wParam, HWND control) {
        Send(dialog, {WM_COMMAND, wParam, reinterpret_cast<LPARAM>(control)});
    };
    if (m.id == WM_KEYDOWN) {
        // WM_GETDLGCODE carries the message as a MSG.
        MSG msg{target, m.id, m.wParam, m.lParam, queued.time, POINT{0, 0}};
        const LRESULT code = Send(target, {WM_GETDLGCODE, m.wParam, reinterpret_cast<LPARAM>(&msg)});
        if (!(code & DLGC_WANTMESSAGE)) {
            if (m.wParam == VK_ESCAPE) {
                command(IDCANCEL, Control(dialog, IDCANCEL));
                return true;
            }
            if (m.wParam == VK_RETURN) {
                // The focused default push button; else the dialog's default
                // id (IDOK unless DM_SETDEFID changed it), unless that button
                // is disabled; else IDOK.
                const HWND focus = focus_;
                if (IsDescendant(dialog, focus) && (Send(focus, {WM_GETDLGCODE, 0, 0}) & DLGC_DEFPUSHBUTTON)) {
                    const Window* f = Find(focus);
                    command(MAKEWPARAM(f && (f->style & WS_CHILD) ? f->id : 0, BN_CLICKED), focus);
                    return true;
                }
                const LRESULT defId = Send(dialog, {DM_GETDEFID, 0, 0});
                if (HIWORD(defId) == DC_HASDEFID) {
                    const HWND button = Control(dialog, LOWORD(defId));
                    const Window* b = Find(button);
                    if (!b || !(b->style & WS_DISABLED)) command(MAKEWPARAM(LOWORD(defId), BN_CLICKED), button);
                    return true;
                }
                command(IDOK, Control(dialog, IDOK));
                return true;
            }
        }
    }
    Translate(queued);
    Dispatch(queued);
    return true;
}

// ---- DefWindowProc ------------------------------------------------------------------------

LRESULT WindowManager::DefaultProcedure(HWND window, const Message& message) {
    Window* w = Find(window);
    if (!w) return 0;
    switch (message.id) {
        case WM_SETTEXT: SetText(window, message.lParam ? reinterpret_cast<const char*>(message.lParam) : ""); return TRUE;
        case WM_GETTEXT:
            return static_cast<LRESULT>(dll::CopyTextTruncated(w->text, reinterpret_cast<char*>(message.lParam),
                                                               static_cast<DWORD>(message.wParam), nullptr));
        case WM_GETTEXTLENGTH: return static_cast<LRESULT>(w->text.size());
        case WM_CLOSE: Destroy(window); return 0;
        case WM_QUERYENDSESSION:
        case WM_DEVICECHANGE: return TRUE;
        case WM_PAINT: EndPainting(StartPainting(window).dc); return 0;
        case WM_ERASEBKGND:
        case WM_ICONERASEBKGND: return 1;
        case WM_SETICON: {
            HICON& slot = message.wParam == ICON_SMALL ? w->smallIcon : w->bigIcon;
            const HICON previous = slot;
            slot = reinterpret_cast<HICON>(message.lParam);
            return reinterpret_cast<LRESULT>(previous);
        }
        case WM_GETICON: return reinterpret_cast<LRESULT>(message.wParam == ICON_SMALL ? w->smallIcon : w->bigIcon);
        case WM_SYSCOMMAND:
            switch (message.wParam & 0xFFF0) {  // the low four bits are Windows' own
                case SC_MINIMIZE: Show(window, ShowState::Minimised); break;
                case SC_RESTORE: Show(window, ShowState::Normal); break;
                case SC_CLOSE: Send(window, {WM_CLOSE, 0, 0}); break;
                default: break;
            }
            return 0;
        default: return 0;
    }
}

// ---- controls -------------------------------------------------------------------------------

void WindowManager::Notify(HWND control, WORD code) {
    const Window* c = Find(control);
    if (!c || !c->parent) return;
    Send(c->parent, {WM_COMMAND, MAKEWPARAM(c->id, code), reinterpret_cast<LPARAM>(control)});
}

LRESULT WindowManager::ButtonProc(HWND window, const Message& message) {
    Window* w = Find(window);
    const DWORD type = w->style & BS_TYPEMASK;
    switch (message.id) {
        case WM_GETDLGCODE:
            if (type == BS_GROUPBOX) return DLGC_STATIC;
            if (type == BS_DEFPUSHBUTTON) return DLGC_BUTTON | DLGC_DEFPUSHBUTTON;
            if (type == BS_PUSHBUTTON) return DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON;
            return DLGC_BUTTON;
        case WM_LBUTTONDOWN:
            if (type == BS_GROUPBOX) return 0;
            MoveFocus(window);
            if ((w = Find(window))) w->pressed = true;
            return 0;
        case WM_LBUTTONUP:
            if (type == BS_GROUPBOX || !w->pressed) return 0;
            w->pressed = false;
            Notify(window, BN_CLICKED);
            return 0;
        case BM_CLICK:
            // A disabled button ignores the click.
            if (type == BS_GROUPBOX || (w->style & WS_DISABLED)) return 0;
            Send(window, {WM_LBUTTONDOWN, MK_LBUTTON, 0});
            Send(window, {WM_LBUTTONUP, 0, 0});
            return 0;
        case BM_SETSTYLE: {
            // The low word is the button's style; the high word is the window's.
            constexpr DWORD kButtonStyles = 0xFFFF;
            w->style = (w->style & ~kButtonStyles) | (static_cast<DWORD>(message.wParam) & kButtonStyles);
            return 0;
        }
        default: return DefaultProcedure(window, message);
    }
}

LRESULT WindowManager::StaticProc(HWND window, const Message& message) {
    Window* w = Find(window);
    switch (message.id) {
        case WM_GETDLGCODE: return DLGC_STATIC;
        case STM_SETICON:
        case STM_SETIMAGE: {
            const bool icon = message.id == STM_SETICON;
            const UINT type = icon ? static_cast<UINT>(IMAGE_ICON) : static_cast<UINT>(message.wParam);
            const HANDLE image = reinterpret_cast<HANDLE>(icon ? static_cast<LPARAM>(message.wParam) : message.lParam);
            const HANDLE previous = w->imageType == type ? w->image : nullptr;
            const bool changed = w->image != image || w->imageType != type;
            w->image = image;
            w->imageType = type;
            if (changed) {
                const std::optional<int> id = ImageResourceId(image);
                const std::string kind = type == IMAGE_BITMAP ? "bitmap" : "icon";
                NoteControl(window, !image ? "no image"
                                    : id   ? "[" + kind + " " + std::to_string(*id) + "]"
                                           : "[" + kind + "]");
            }
            return reinterpret_cast<LRESULT>(previous);
        }
        case STM_GETIMAGE: return w->imageType == message.wParam ? reinterpret_cast<LRESULT>(w->image) : 0;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP: return 0;
        default: return DefaultProcedure(window, message);
    }
}

LRESULT WindowManager::EditProc(HWND window, const Message& message) {
    Window* w = Find(window);
    switch (message.id) {
        case WM_GETDLGCODE:
            return DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS |
                   ((w->style & ES_MULTILINE) ? DLGC_WANTALLKEYS : 0);
        case EM_SETREADONLY:
            w->style = message.wParam ? (w->style | ES_READONLY) : (w->style & ~static_cast<DWORD>(ES_READONLY));
            return TRUE;
        case WM_LBUTTONDOWN: MoveFocus(window); return 0;
        case WM_LBUTTONUP: return 0;
        default: return DefaultProcedure(window, message);
    }
}

}  // namespace sim
