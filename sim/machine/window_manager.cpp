// Windows and dialogs: creation from templates, destruction, state, text,
// focus, the dialog as text, and the transcript of what the user sees.
#include "sim/machine/window_manager.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "sim/include/windows.h"
#include "sim/machine/machine.h"
#include "sim/machine/modules.h"
#include "sim/formats/resources.h"
#include "sim/base/text.h"
#include "sim/scenario/user_script.h"

namespace sim {

namespace {

constexpr int kScreenWidth = 1024;
constexpr int kScreenHeight = 768;

// Text as the transcript quotes it: on one line, line breaks shown as \n.
std::string Quote(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\n') {
            out += "\\n";
        } else if (c != '\r') {
            out += c;
        }
    }
    return out + "\"";
}

std::string WithoutMnemonics(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&') {
            // "&&" shows one ampersand; a single one marks the mnemonic.
            if (i + 1 < text.size() && text[i + 1] == '&') {
                out += '&';
                ++i;
            }
            continue;
        }
        out += text[i];
    }
    return out;
}

std::string FormatTime(Clock::Millis ms) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%llu:%02llu:%02llu.%03llu", static_cast<unsigned long long>(ms / 3600000),
                  static_cast<unsigned long long>(ms / 60000 % 60), static_cast<unsigned long long>(ms / 1000 % 60),
                  static_cast<unsigned long long>(ms % 1000));
    return buffer;
}

int MulDivRound(int value, int numerator, int denominator) {
    const long long product = static_cast<long long>(value) * numerator;
    const long long half = denominator / 2;
    return static_cast<int>(product >= 0 ? (product + half) / denominator : -((-product + half) / denominator));
}

}  // namespace

WindowManager::WindowManager(Machine& machine)
    : machine_(machine), user_(std::make_unique<UserScript>(machine, *this)) {
    auto desktop = std::make_unique<Window>();
    desktop->className = "#32769";
    desktop->desktop = true;
    desktop->style = WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
    desktop->client = {0, 0, kScreenWidth, kScreenHeight};
    desktop_ = reinterpret_cast<HWND>(machine_.NewHandleValue());
    desktop->handle = desktop_;
    windows_[reinterpret_cast<std::uintptr_t>(desktop_)] = std::move(desktop);
    cursor_ = reinterpret_cast<HCURSOR>(SharedImage(IMAGE_CURSOR, 32512, 32, 32, true));
}

WindowManager::~WindowManager() = default;

// ---- lookup --------------------------------------------------------------------

WindowManager::Window* WindowManager::Find(HWND window) const {
    auto it = windows_.find(reinterpret_cast<std::uintptr_t>(window));
    return it == windows_.end() ? nullptr : it->second.get();
}

WindowManager::Window* WindowManager::FindOwn(HWND window) const {
    Window* w = Find(window);
    return w && !w->foreign && !w->desktop ? w : nullptr;
}

WindowManager::Window* WindowManager::FailInvalid(HWND) const {
    machine_.lastError = ERROR_INVALID_WINDOW_HANDLE;
    return nullptr;
}

HWND WindowManager::NewWindow(std::unique_ptr<Window> window) {
    const HWND handle = reinterpret_cast<HWND>(machine_.NewHandleValue());
    window->handle = handle;
    if (!(window->style & WS_CHILD)) topLevel_.push_back(handle);
    windows_[reinterpret_cast<std::uintptr_t>(handle)] = std::move(window);
    return handle;
}

bool WindowManager::IsDescendant(HWND ancestor, HWND window) const {
    while (window) {
        const Window* w = Find(window);
        if (!w || !(w->style & WS_CHILD)) return false;
        window = w->parent;
        if (window == ancestor) return true;
    }
    return false;
}

HWND WindowManager::TopLevelOf(HWND window) const {
    const Window* w = Find(window);
    while (w && (w->style & WS_CHILD) && w->parent) {
        window = w->parent;
        w = Find(window);
    }
    return w ? window : nullptr;
}

bool WindowManager::EffectivelyEnabled(HWND window) const {
    const Window* w = Find(window);
    while (w) {
        if (w->style & WS_DISABLED) return false;
        if (!(w->style & WS_CHILD)) return true;
        w = Find(w->parent);
    }
    return false;
}

bool WindowManager::TakesInput(HWND window) const {
    const Window* w = FindOwn(window);
    if (!w || !IsWindowVisible(window) || !EffectivelyEnabled(window)) return false;
    const Window* top = Find(TopLevelOf(window));
    return top && !(top->style & WS_MINIMIZE);
}

std::vector<HWND> WindowManager::TopLevelWindows() const {
    std::vector<HWND> out;
    for (HWND h : topLevel_) {
        if (FindOwn(h)) out.push_back(h);
    }
    return out;
}

HWND WindowManager::OpenDialog() const {
    for (auto it = topLevel_.rbegin(); it != topLevel_.rend(); ++it) {
        const Window* w = FindOwn(*it);
        if (w && w->isDialog && (w->style & WS_VISIBLE)) return *it;
    }
    return nullptr;
}

std::optional<INT_PTR> WindowManager::DialogResult(HWND dialog) const {
    const Window* w = Find(dialog);
    if (!w || !w->ended) return std::nullopt;
    return w->endResult;
}

size_t WindowManager::OpenWindowCount() const {
    size_t count = 0;
    for (const auto& entry : windows_) {
        if (!entry.second->foreign && !entry.second->desktop) ++count;
    }
    return count;
}

// ---- the dialog as text ------------------------------------------------------------

std::string WindowManager::ControlKind(const Window& w) const {
    if (EqualNoCase(w.className, "Button")) {
        const DWORD type = w.style & 0xF;
        if (type == BS_GROUPBOX) return "group";
        if (type == BS_CHECKBOX || type == BS_AUTOCHECKBOX) return "checkbox";
        return "button";
    }
    if (EqualNoCase(w.className, "Static")) {
        const DWORD type = w.style & 0x1F;
        return type == SS_ICON || type == SS_BITMAP ? "image" : "text";
    }
    if (EqualNoCase(w.className, "Edit")) return "edit";
    return Lower(w.className);
}

std::string WindowManager::Label(HWND window) const {
    const Window* w = Find(window);
    return w ? w->label : "";
}

std::string WindowManager::Caption(HWND window) const {
    const Window* w = Find(window);
    return w ? w->text : "";
}

std::string WindowManager::Describe(HWND window) const {
    const Window* w = Find(window);
    if (!w) return "(no window)";
    auto states = [](const Window& x, bool control) {
        std::string s;
        if (control && EqualNoCase(x.className, "Button") && (x.style & 0xF) == BS_DEFPUSHBUTTON) s += " [default]";
        if (control && EqualNoCase(x.className, "Edit") && (x.style & ES_READONLY)) s += " [read-only]";
        if (x.style & WS_DISABLED) s += " [disabled]";
        if (!(x.style & WS_VISIBLE)) s += " [hidden]";
        if (!control && (x.style & WS_MINIMIZE)) s += " [minimised]";
        return s;
    };
    auto line = [&](const Window& c) {
        std::string out = "  " + ControlKind(c);
        if (ControlKind(c) == "image") {
            const char* type = c.imageType == IMAGE_BITMAP ? "bitmap" : "icon";
            const std::optional<int> id = ImageResourceId(c.image);
            if (!c.image) {
                out += " [none]";
            } else if (id) {
                out += std::string(" [") + type + " " + std::to_string(*id) + "]";
            } else {
                out += std::string(" [") + type + "]";
            }
            return out + states(c, true) + "\n";
        }
        if (c.text.find('\n') == std::string::npos) return out + " " + Quote(c.text) + states(c, true) + "\n";
        out += states(c, true) + "\n";
        size_t start = 0;
        while (start <= c.text.size()) {
            size_t end = c.text.find('\n', start);
            if (end == std::string::npos) end = c.text.size();
            std::string part = c.text.substr(start, end - start);
            if (!part.empty() && part.back() == '\r') part.pop_back();
            out += "    " + Quote(part) + "\n";
            start = end + 1;
        }
        return out;
    };
    if (w->style & WS_CHILD) return line(*w);
    std::string out = Quote(w->text) + states(*w, false) + "\n";
    for (HWND child : w->children) {
        if (const Window* c = Find(child)) out += line(*c);
    }
    if (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

std::string WindowManager::StallReport(const std::string& reason) const {
    std::string out = "the tool is stuck at " + FormatTime(machine_.clock.Now()) + " of virtual time: " + reason;
    bool any = false;
    for (HWND h : topLevel_) {
        const Window* w = FindOwn(h);
        if (!w || !w->isDialog || !(w->style & WS_VISIBLE)) continue;
        out += "\nopen dialog:\n" + Describe(h);
        any = true;
    }
    for (const OpenBox* box : openBoxes_) {
        const MessageBoxRecord& r = boxes_[box->record];
        out += "\nopen message box " + Quote(r.caption) + ": " + Quote(r.text);
        any = true;
    }
    if (!any) out += "\nno dialog or message box is shown";
    return out;
}

void WindowManager::Appear(HWND dialog) {
    Window* w = Find(dialog);
    if (!w || w->appeared) return;
    w->appeared = true;
    machine_.Record("dialog", Describe(dialog));
}

void WindowManager::NoteControl(HWND control, const std::string& what) {
    const Window* top = Find(TopLevelOf(control));
    if (!top || !top->appeared) return;
    machine_.Record("dialog", Label(control) + ": " + what);
}

// ---- state changes -------------------------------------------------------------

void WindowManager::SetStyle(HWND window, DWORD style) {
    Window* w = Find(window);
    if (!w) return;
    const DWORD old = w->style;
    w->style = style;
    const DWORD changed = old ^ style;
    if (!changed) return;

    if (style & WS_CHILD) {
        // A disabled or hidden control cannot keep the focus.
        if ((style & WS_DISABLED) && (focus_ == window || IsDescendant(window, focus_))) focus_ = nullptr;
        if (!(style & WS_VISIBLE) && (focus_ == window || IsDescendant(window, focus_))) focus_ = w->parent;
        if (changed & WS_DISABLED) NoteControl(window, (style & WS_DISABLED) ? "disabled" : "enabled");
        if (changed & WS_VISIBLE) NoteControl(window, (style & WS_VISIBLE) ? "shown" : "hidden");
        return;
    }

    // A top-level window: while it is hidden, minimised or disabled the
    // focus leaves it; it comes back to the same control afterwards, as the
    // dialog manager restores it on activation.
    const bool inactive = !(style & WS_VISIBLE) || (style & (WS_MINIMIZE | WS_DISABLED));
    if (inactive && focus_ && (focus_ == window || IsDescendant(window, focus_))) {
        w->savedFocus = focus_;
        focus_ = nullptr;
    } else if (!inactive && !focus_ && w->savedFocus && IsDescendant(window, w->savedFocus) &&
               EffectivelyEnabled(w->savedFocus)) {
        focus_ = w->savedFocus;
    }
    if (!w->isDialog) return;
    if (changed & WS_VISIBLE) {
        if (style & WS_VISIBLE) {
            w->needsPaint = true;
            Appear(window);
        } else if (w->appeared) {
            w->appeared = false;
            machine_.Record("dialog", Quote(w->text) + " closed");
        }
    }
    if ((changed & WS_MINIMIZE) && (style & WS_VISIBLE)) {
        w->needsPaint = true;
        if (w->appeared)
            machine_.Record("dialog", Quote(w->text) + ((style & WS_MINIMIZE) ? " minimised" : " restored"));
    }
}

void WindowManager::SetText(HWND window, const std::string& text) {
    Window* w = Find(window);
    if (!w || w->text == text) return;
    w->text = text;
    if (w->style & WS_CHILD) {
        NoteControl(window, Quote(text));
    } else if (w->appeared) {
        machine_.Record("dialog", "caption: " + Quote(text));
    }
}

RECT WindowManager::PixelRect(const DialogTemplate& dialog, int x, int y, int cx, int cy) const {
    // Dialog units from the template's font: 8-point MS Sans Serif has the
    // usual base units of 6 x 13 pixels; the system font 8 x 16.
    int baseX = 8;
    int baseY = 16;
    if (dialog.font) {
        baseX = MulDivRound(6, dialog.font->pointSize, 8);
        baseY = MulDivRound(13, dialog.font->pointSize, 8);
    }
    const int left = MulDivRound(x, baseX, 4);
    const int top = MulDivRound(y, baseY, 8);
    return RECT{left, top, left + MulDivRound(cx, baseX, 4), top + MulDivRound(cy, baseY, 8)};
}

// ---- creation and destruction ------------------------------------------------------

HWND WindowManager::CreateDialogParamA(HINSTANCE instance, LPCSTR templateName, HWND parent, DLGPROC proc,
                                       LPARAM param) {
    if (instance && !IsAppInstance(instance)) {
        machine_.lastError = ERROR_RESOURCE_DATA_NOT_FOUND;
        return nullptr;
    }
    int id = -1;
    if (IS_INTRESOURCE(templateName)) {
        id = LOWORD(templateName);
    } else if (templateName && templateName[0] == '#') {
        unsigned long long value = 0;
        if (ParseNumber(templateName + 1, value) && value <= 0xFFFF) id = static_cast<int>(value);
    }
    const DialogTemplate* dialogTemplate = id >= 0 ? ApplicationResourceScript().FindDialog(id) : nullptr;
    if (!dialogTemplate) {
        machine_.lastError = ERROR_RESOURCE_NAME_NOT_FOUND;
        return nullptr;
    }
    if (parent && !Find(parent)) {
        FailInvalid(parent);
        return nullptr;
    }
    const DialogTemplate& t = *dialogTemplate;

    auto dialog = std::make_unique<Window>();
    dialog->className = "#32770";
    dialog->text = t.caption;
    // Windows creates the dialog hidden and shows it after WM_INITDIALOG;
    // every dialog gets the three-dimensional look.
    dialog->style = (t.style | DS_3DLOOK) & ~static_cast<DWORD>(WS_VISIBLE);
    dialog->exStyle = t.exStyle;
    if (!(t.style & WS_CHILD)) dialog->exStyle |= WS_EX_CONTROLPARENT;
    if (t.style & DS_MODALFRAME) dialog->exStyle |= WS_EX_DLGMODALFRAME;
    if ((t.style & (WS_DLGFRAME | WS_THICKFRAME)) || (dialog->exStyle & WS_EX_DLGMODALFRAME)) {
        dialog->exStyle |= WS_EX_WINDOWEDGE;
    }
    dialog->parent = parent && !(t.style & WS_CHILD) ? TopLevelOf(parent) : parent;
    dialog->isDialog = true;
    dialog->dialogProc = proc;
    dialog->dialogTemplate = dialogTemplate;
    const RECT size = PixelRect(t, 0, 0, t.rect.cx, t.rect.cy);
    dialog->client = {0, 0, size.right, size.bottom};
    const HWND handle = NewWindow(std::move(dialog));
    if (t.style & WS_CHILD) {
        if (Window* p = Find(parent)) p->children.push_back(handle);
    }

    const ResourceScript& script = ApplicationResourceScript();
    for (size_t i = 0; i < t.controls.size(); ++i) {
        const DialogControl& c = t.controls[i];
        auto control = std::make_unique<Window>();
        control->className = c.className;
        control->text = c.text;
        control->style = c.style;
        control->exStyle = c.exStyle;
        control->id = c.id;
        control->parent = handle;
        control->controlIndex = static_cast<int>(i);
        const RECT r = PixelRect(t, c.rect.x, c.rect.y, c.rect.cx, c.rect.cy);
        control->client = {0, 0, r.right - r.left, r.bottom - r.top};
        if (EqualNoCase(c.className, "Static") && c.imageId) {
            const bool icon = (c.style & 0x1F) == SS_ICON;
            control->imageType = icon ? IMAGE_ICON : IMAGE_BITMAP;
            const bool exists = icon ? script.icons.count(*c.imageId) != 0 : script.bitmaps.count(*c.imageId) != 0;
            if (exists) control->image = SharedImage(control->imageType, *c.imageId, icon ? 32 : 0, icon ? 32 : 0);
        }
        const std::string plain = WithoutMnemonics(c.text);
        if (!plain.empty() && plain.size() <= 30 && plain.find('\n') == std::string::npos) {
            control->label = plain;
        } else if (c.id != -1 && !script.NameOf(c.id, "IDC_").empty()) {
            control->label = script.NameOf(c.id, "IDC_");
        } else {
            control->label = ControlKind(*control) + " " + std::to_string(c.id);
        }
        const HWND child = NewWindow(std::move(control));
        Find(handle)->children.push_back(child);
    }

    // WM_INITDIALOG names the control that gets the focus by default: the
    // first visible, enabled one with WS_TABSTOP.
    auto firstTabStop = [this, handle]() -> HWND {
        const Window* d = Find(handle);
        if (!d) return nullptr;
        for (HWND child : d->children) {
            const Window* c = Find(child);
            if (c && (c->style & WS_TABSTOP) && (c->style & WS_VISIBLE) && !(c->style & WS_DISABLED)) return child;
        }
        return nullptr;
    };
    const LRESULT setFocus =
        proc ? SendMessageA(handle, WM_INITDIALOG, reinterpret_cast<WPARAM>(firstTabStop()), param) : 0;
    if (!Find(handle)) return nullptr;
    if (setFocus && (!(t.style & DS_CONTROL) || (t.style & WS_VISIBLE))) {
        const HWND focus = firstTabStop();
        SetFocus(focus ? focus : handle);
    }
    if ((t.style & WS_VISIBLE) && !(Find(handle)->style & WS_VISIBLE)) ShowWindow(handle, SW_SHOWNORMAL);
    return Find(handle) ? handle : nullptr;
}

BOOL WindowManager::DestroyWindow(HWND window) {
    Window* w = Find(window);
    if (!w) {
        FailInvalid(window);
        return FALSE;
    }
    if (w->foreign || w->desktop) {
        machine_.lastError = ERROR_ACCESS_DENIED;
        return FALSE;
    }
    if (w->destroying) return TRUE;
    // Windows destroys the windows a window owns before the window itself.
    for (HWND owned : std::vector<HWND>(topLevel_)) {
        const Window* o = FindOwn(owned);
        if (o && o->parent == window && !o->destroying) DestroyWindow(owned);
    }
    w = Find(window);
    if (!w) return TRUE;
    // The window disappears before it hears of its destruction.
    if (w->style & WS_VISIBLE) SetStyle(window, w->style & ~static_cast<DWORD>(WS_VISIBLE));
    DestroyTree(window);
    return TRUE;
}

void WindowManager::DestroyTree(HWND window) {
    std::function<void(HWND)> mark = [&](HWND h) {
        Window* w = Find(h);
        if (!w) return;
        w->destroying = true;
        if (focus_ == h) focus_ = nullptr;
        for (HWND child : w->children) mark(child);
    };
    mark(window);
    // WM_DESTROY goes to the window before its children; WM_NCDESTROY to the
    // children first.
    std::function<void(HWND)> sendDestroy = [&](HWND h) {
        if (!Find(h)) return;
        CallWindow(h, WM_DESTROY, 0, 0);
        const Window* w = Find(h);
        if (!w) return;
        for (HWND child : std::vector<HWND>(w->children)) sendDestroy(child);
    };
    sendDestroy(window);
    std::function<void(HWND)> finish = [&](HWND h) {
        const Window* w = Find(h);
        if (!w) return;
        for (HWND child : std::vector<HWND>(w->children)) finish(child);
        CallWindow(h, WM_NCDESTROY, 0, 0);
        w = Find(h);
        if (!w) return;
        KillTimersOf(h);
        posted_.erase(std::remove_if(posted_.begin(), posted_.end(), [h](const Posted& p) { return p.window == h; }),
                      posted_.end());
        input_.erase(std::remove_if(input_.begin(), input_.end(), [h](const Input& i) { return i.target == h; }),
                     input_.end());
        if (focus_ == h) focus_ = nullptr;
        if (Window* parent = Find(w->parent)) {
            auto& siblings = parent->children;
            siblings.erase(std::remove(siblings.begin(), siblings.end(), h), siblings.end());
        }
        topLevel_.erase(std::remove(topLevel_.begin(), topLevel_.end(), h), topLevel_.end());
        windows_.erase(reinterpret_cast<std::uintptr_t>(h));
    };
    finish(window);
}

BOOL WindowManager::EndDialog(HWND dialog, INT_PTR result) {
    Window* w = Find(dialog);
    if (!w) {
        FailInvalid(dialog);
        return FALSE;
    }
    if (!w->isDialog) return FALSE;
    w->ended = true;
    w->endResult = result;
    if (w->parent && !(w->style & WS_CHILD)) EnableWindow(w->parent, TRUE);
    if (IsDescendant(dialog, focus_)) SetFocus(dialog);
    if (Find(dialog) && (Find(dialog)->style & WS_VISIBLE)) {
        SetStyle(dialog, Find(dialog)->style & ~static_cast<DWORD>(WS_VISIBLE));
    }
    // Wakes a modal loop that waits for a message.
    PostMessageA(dialog, WM_NULL, 0, 0);
    return TRUE;
}

BOOL WindowManager::IsWindow(HWND window) const { return Find(window) != nullptr; }

// ---- controls, text and state -----------------------------------------------------

HWND WindowManager::GetDlgItem(HWND dialog, int id) {
    const Window* w = Find(dialog);
    if (!w) {
        FailInvalid(dialog);
        return nullptr;
    }
    for (HWND child : w->children) {
        const Window* c = Find(child);
        if (c && c->id == id) return child;
    }
    machine_.lastError = ERROR_CONTROL_ID_NOT_FOUND;
    return nullptr;
}

int WindowManager::GetDlgCtrlID(HWND control) {
    const Window* w = Find(control);
    if (!w) {
        FailInvalid(control);
        return 0;
    }
    return (w->style & WS_CHILD) ? w->id : 0;
}

BOOL WindowManager::SetWindowTextA(HWND window, LPCSTR text) {
    Window* w = Find(window);
    if (!w) {
        FailInvalid(window);
        return FALSE;
    }
    if (w->desktop) {
        machine_.lastError = ERROR_ACCESS_DENIED;
        return FALSE;
    }
    return SendMessageA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) ? TRUE : FALSE;
}

int WindowManager::GetWindowTextA(HWND window, LPSTR buffer, int size) {
    if (!buffer || size <= 0) return 0;
    buffer[0] = '\0';
    const Window* w = Find(window);
    if (!w) {
        FailInvalid(window);
        return 0;
    }
    if (w->foreign || w->desktop) {
        // The text of another program's window is read without asking it.
        const size_t n = std::min(w->text.size(), static_cast<size_t>(size - 1));
        std::memcpy(buffer, w->text.data(), n);
        buffer[n] = '\0';
        return static_cast<int>(n);
    }
    return static_cast<int>(
        SendMessageA(window, WM_GETTEXT, static_cast<WPARAM>(size), reinterpret_cast<LPARAM>(buffer)));
}

int WindowManager::GetWindowTextLengthA(HWND window) {
    const Window* w = Find(window);
    if (!w) {
        FailInvalid(window);
        return 0;
    }
    if (w->foreign || w->desktop) return static_cast<int>(w->text.size());
    return static_cast<int>(SendMessageA(window, WM_GETTEXTLENGTH, 0, 0));
}

BOOL WindowManager::EnableWindow(HWND window, BOOL enable) {
    Window* w = Find(window);
    if (!w || w->desktop) {
        FailInvalid(window);
        return FALSE;
    }
    const bool wasDisabled = (w->style & WS_DISABLED) != 0;
    SetStyle(window, enable ? (w->style & ~static_cast<DWORD>(WS_DISABLED)) : (w->style | WS_DISABLED));
    return wasDisabled ? TRUE : FALSE;
}

BOOL WindowManager::IsWindowEnabled(HWND window) {
    const Window* w = Find(window);
    if (!w) {
        FailInvalid(window);
        return FALSE;
    }
    return (w->style & WS_DISABLED) ? FALSE : TRUE;
}

BOOL WindowManager::ShowWindow(HWND window, int command) {
    Window* w = Find(window);
    if (!w || w->desktop) {
        FailInvalid(window);
        return FALSE;
    }
    const bool wasVisible = (w->style & WS_VISIBLE) != 0;
    DWORD style = w->style;
    switch (command) {
        case SW_HIDE: style &= ~static_cast<DWORD>(WS_VISIBLE); break;
        case SW_SHOWNORMAL:
        case SW_RESTORE:
        case 10:  // SW_SHOWDEFAULT
            style = (style | WS_VISIBLE) & ~static_cast<DWORD>(WS_MINIMIZE | WS_MAXIMIZE);
            break;
        case SW_SHOWMINIMIZED:
        case SW_MINIMIZE:
        case 7:   // SW_SHOWMINNOACTIVE
        case 11:  // SW_FORCEMINIMIZE
            style = (style | WS_VISIBLE | WS_MINIMIZE) & ~static_cast<DWORD>(WS_MAXIMIZE);
            break;
        case SW_SHOWMAXIMIZED: style = (style | WS_VISIBLE | WS_MAXIMIZE) & ~static_cast<DWORD>(WS_MINIMIZE); break;
        case 4:  // SW_SHOWNOACTIVATE
        case SW_SHOW:
        case 8:  // SW_SHOWNA
            style |= WS_VISIBLE;
            break;
        default: machine_.lastError = ERROR_INVALID_PARAMETER; return FALSE;
    }
    SetStyle(window, style);
    return wasVisible ? TRUE : FALSE;
}

BOOL WindowManager::IsWindowVisible(HWND window) const {
    const Window* w = Find(window);
    while (w) {
        if (!(w->style & WS_VISIBLE)) return FALSE;
        if (!(w->style & WS_CHILD)) return TRUE;
        w = Find(w->parent);
    }
    return FALSE;
}

BOOL WindowManager::IsIconic(HWND window) const {
    const Window* w = Find(window);
    return w && (w->style & WS_MINIMIZE) ? TRUE : FALSE;
}

HWND WindowManager::GetParent(HWND window) {
    const Window* w = Find(window);
    if (!w) {
        FailInvalid(window);
        return nullptr;
    }
    // A child's parent; a pop-up's owner.
    if ((w->style & WS_CHILD) || (w->style & WS_POPUP)) return w->parent;
    return nullptr;
}

HWND WindowManager::SetFocus(HWND window) {
    const HWND previous = focus_;
    if (!window) {
        focus_ = nullptr;
        return previous;
    }
    const Window* w = FindOwn(window);
    if (!w) {
        FailInvalid(window);
        return nullptr;
    }
    // Neither a disabled nor a minimised window (nor anything inside one)
    // can take the focus.
    for (const Window* x = w; x; x = (x->style & WS_CHILD) ? Find(x->parent) : nullptr) {
        if (x->style & (WS_MINIMIZE | WS_DISABLED)) return nullptr;
    }
    focus_ = window;
    return previous;
}

LONG_PTR WindowManager::GetWindowLongPtrA(HWND window, int index) {
    const Window* w = Find(window);
    if (!w) {
        FailInvalid(window);
        return 0;
    }
    switch (index) {
        case GWL_STYLE: return static_cast<LONG_PTR>(w->style);
        case GWL_EXSTYLE: return static_cast<LONG_PTR>(w->exStyle);
        case GWLP_ID: return (w->style & WS_CHILD) ? w->id : 0;
        case GWLP_USERDATA: return w->userData;
        case -6:  // GWLP_HINSTANCE
            return w->foreign || w->desktop ? 0 : reinterpret_cast<LONG_PTR>(machine_.modules().Self());
        case -8:  // GWLP_HWNDPARENT
            return reinterpret_cast<LONG_PTR>(w->parent);
        default: break;
    }
    if (w->isDialog) {
        if (index == static_cast<int>(DWLP_MSGRESULT)) return w->msgResult;
        if (index == static_cast<int>(DWLP_DLGPROC)) return reinterpret_cast<LONG_PTR>(w->dialogProc);
        if (index == static_cast<int>(DWLP_USER)) return w->user;
    }
    machine_.lastError = ERROR_INVALID_INDEX;
    return 0;
}

LONG_PTR WindowManager::SetWindowLongPtrA(HWND window, int index, LONG_PTR value) {
    Window* w = Find(window);
    if (!w) {
        FailInvalid(window);
        return 0;
    }
    if (w->foreign || w->desktop) {
        machine_.lastError = ERROR_ACCESS_DENIED;
        return 0;
    }
    LONG_PTR old = 0;
    switch (index) {
        case GWL_STYLE:
            old = static_cast<LONG_PTR>(w->style);
            SetStyle(window, static_cast<DWORD>(value));
            return old;
        case GWL_EXSTYLE:
            old = static_cast<LONG_PTR>(w->exStyle);
            w->exStyle = static_cast<DWORD>(value);
            return old;
        case GWLP_ID:
            old = w->id;
            w->id = static_cast<int>(value);
            return old;
        case GWLP_USERDATA:
            old = w->userData;
            w->userData = value;
            return old;
        default: break;
    }
    if (w->isDialog) {
        if (index == static_cast<int>(DWLP_MSGRESULT)) {
            old = w->msgResult;
            w->msgResult = value;
            return old;
        }
        if (index == static_cast<int>(DWLP_DLGPROC)) {
            old = reinterpret_cast<LONG_PTR>(w->dialogProc);
            w->dialogProc = reinterpret_cast<DLGPROC>(value);
            return old;
        }
        if (index == static_cast<int>(DWLP_USER)) {
            old = w->user;
            w->user = value;
            return old;
        }
    }
    machine_.lastError = ERROR_INVALID_INDEX;
    return 0;
}

BOOL WindowManager::GetClientRect(HWND window, LPRECT rect) {
    const Window* w = Find(window);
    if (!w) {
        FailInvalid(window);
        return FALSE;
    }
    if (!rect) {
        machine_.lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    *rect = w->client;
    return TRUE;
}

HWND WindowManager::FindWindowA(LPCSTR className, LPCSTR windowName) {
    std::string wantedClass;
    if (className) {
        wantedClass = IS_INTRESOURCE(className) ? "#" + std::to_string(LOWORD(className)) : std::string(className);
    }
    // The most recently created window first, as the z-order puts it.
    for (auto it = topLevel_.rbegin(); it != topLevel_.rend(); ++it) {
        const Window* w = Find(*it);
        if (!w) continue;
        if (className && !EqualNoCase(w->className, wantedClass)) continue;
        if (windowName && !EqualNoCase(w->text, windowName)) continue;
        return *it;
    }
    machine_.lastError = ERROR_CANNOT_FIND_WND_CLASS;
    return nullptr;
}

// ---- windows of other programs ---------------------------------------------------

HWND WindowManager::AddForeignWindow(std::string className, std::string title,
                                     std::function<LRESULT(UINT, WPARAM, LPARAM)> reply) {
    auto w = std::make_unique<Window>();
    w->className = std::move(className);
    w->text = std::move(title);
    w->style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_VISIBLE;
    w->foreign = true;
    w->reply = std::move(reply);
    w->client = {0, 0, 400, 300};
    return NewWindow(std::move(w));
}

bool WindowManager::RemoveForeignWindow(HWND window) {
    const Window* w = Find(window);
    if (!w || !w->foreign) return false;
    topLevel_.erase(std::remove(topLevel_.begin(), topLevel_.end(), window), topLevel_.end());
    windows_.erase(reinterpret_cast<std::uintptr_t>(window));
    return true;
}

}  // namespace sim
