// Windows and dialogs: lookups, creation from templates, destruction,
// state (style, text, visibility, enabling, focus) and other programs'
// windows.
#include <algorithm>

#include "sim/base/text.h"
#include "sim/formats/resources.h"
#include "sim/include/windows.h"
#include "sim/machine/machine.h"
#include "sim/machine/window_manager.h"
#include "sim/machine/windows/texts.h"
#include "sim/scenario/user_script.h"

namespace sim {

namespace {

// The class names Windows gives the desktop and dialogs.
constexpr const char* kDesktopClass = "#32769";
constexpr const char* kDialogClass = "#32770";
// The arrow, the cursor a new thread starts with.
constexpr int kArrowCursor = 32512;
// Another program's window, as big as the emulator cares.
constexpr RECT kForeignClient = {0, 0, 400, 300};

int MulDivRound(int value, int numerator, int denominator) {
    const long long product = static_cast<long long>(value) * numerator;
    const long long half = denominator / 2;
    return static_cast<int>(product >= 0 ? (product + half) / denominator : -((-product + half) / denominator));
}

}  // namespace

WindowManager::WindowManager(Machine& machine)
    : machine_(machine), user_(std::make_unique<UserScript>(machine, *this)) {
    auto desktop = std::make_unique<Window>();
    desktop->className = kDesktopClass;
    desktop->desktop = true;
    desktop->style = WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
    desktop->client = {0, 0, kScreenWidth, kScreenHeight};
    desktop_ = reinterpret_cast<HWND>(machine_.NewHandleValue());
    desktop->handle = desktop_;
    windows_[reinterpret_cast<std::uintptr_t>(desktop_)] = std::move(desktop);
    cursor_ = reinterpret_cast<HCURSOR>(SharedImage(IMAGE_CURSOR, kArrowCursor, kCursorSize, kCursorSize, true));
}

WindowManager::~WindowManager() = default;

// ---- lookup --------------------------------------------------------------------

Window* WindowManager::Find(HWND window) const {
    auto it = windows_.find(reinterpret_cast<std::uintptr_t>(window));
    return it == windows_.end() ? nullptr : it->second.get();
}

Window* WindowManager::FindOwn(HWND window) const {
    Window* w = Find(window);
    return w && w->IsOwn() ? w : nullptr;
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

bool WindowManager::IsShown(HWND window) const {
    const Window* w = Find(window);
    while (w) {
        if (!(w->style & WS_VISIBLE)) return false;
        if (!(w->style & WS_CHILD)) return true;
        w = Find(w->parent);
    }
    return false;
}

bool WindowManager::TakesInput(HWND window) const {
    const Window* w = FindOwn(window);
    if (!w || !IsShown(window) || !EffectivelyEnabled(window)) return false;
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
    return static_cast<size_t>(
        std::count_if(windows_.begin(), windows_.end(), [](const auto& entry) { return entry.second->IsOwn(); }));
}

HWND WindowManager::FindTopLevel(std::optional<std::string_view> className,
                                 std::optional<std::string_view> title) const {
    // The most recently created window first, as the z-order puts it.
    for (auto it = topLevel_.rbegin(); it != topLevel_.rend(); ++it) {
        const Window* w = Find(*it);
        if (!w) continue;
        if (className && !EqualNoCase(w->className, *className)) continue;
        if (title && !EqualNoCase(w->text, *title)) continue;
        return *it;
    }
    return nullptr;
}

HWND WindowManager::Control(HWND dialog, int id) const {
    const Window* w = Find(dialog);
    if (!w) return nullptr;
    for (HWND child : w->children) {
        const Window* c = Find(child);
        if (c && c->id == id) return child;
    }
    return nullptr;
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

bool WindowManager::Enable(HWND window, bool enable) {
    const Window* w = Find(window);
    if (!w || w->desktop) return false;
    const bool wasDisabled = (w->style & WS_DISABLED) != 0;
    SetStyle(window, enable ? (w->style & ~static_cast<DWORD>(WS_DISABLED)) : (w->style | WS_DISABLED));
    return wasDisabled;
}

bool WindowManager::Show(HWND window, ShowState state) {
    const Window* w = Find(window);
    if (!w || w->desktop) return false;
    const bool wasVisible = (w->style & WS_VISIBLE) != 0;
    DWORD style = w->style;
    switch (state) {
        case ShowState::Hide: style &= ~static_cast<DWORD>(WS_VISIBLE); break;
        case ShowState::Normal: style = (style | WS_VISIBLE) & ~static_cast<DWORD>(WS_MINIMIZE | WS_MAXIMIZE); break;
        case ShowState::Minimised: style = (style | WS_VISIBLE | WS_MINIMIZE) & ~static_cast<DWORD>(WS_MAXIMIZE); break;
        case ShowState::Maximised: style = (style | WS_VISIBLE | WS_MAXIMIZE) & ~static_cast<DWORD>(WS_MINIMIZE); break;
        case ShowState::Shown: style |= WS_VISIBLE; break;
    }
    SetStyle(window, style);
    return wasVisible;
}

std::optional<HWND> WindowManager::MoveFocus(HWND window) {
    const HWND previous = focus_;
    if (!window) {
        focus_ = nullptr;
        return previous;
    }
    const Window* w = FindOwn(window);
    if (!w) return std::nullopt;
    // Neither a disabled nor a minimised window (nor anything inside one)
    // can take the focus.
    for (const Window* x = w; x; x = (x->style & WS_CHILD) ? Find(x->parent) : nullptr) {
        if (x->style & (WS_MINIMIZE | WS_DISABLED)) return std::nullopt;
    }
    focus_ = window;
    return previous;
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

HWND WindowManager::BuildDialog(const DialogTemplate& t, HWND owner, DLGPROC procedure, LPARAM param) {
    auto dialog = std::make_unique<Window>();
    dialog->className = kDialogClass;
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
    dialog->parent = owner && !(t.style & WS_CHILD) ? TopLevelOf(owner) : owner;
    dialog->isDialog = true;
    dialog->dialogProc = procedure;
    dialog->dialogTemplate = &t;
    const RECT size = PixelRect(t, 0, 0, t.rect.cx, t.rect.cy);
    dialog->client = {0, 0, size.right, size.bottom};
    const HWND handle = NewWindow(std::move(dialog));
    if (t.style & WS_CHILD) {
        if (Window* p = Find(owner)) p->children.push_back(handle);
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
            const bool icon = (c.style & SS_TYPEMASK) == SS_ICON;
            control->imageType = icon ? IMAGE_ICON : IMAGE_BITMAP;
            const bool exists = icon ? script.icons.count(*c.imageId) != 0 : script.bitmaps.count(*c.imageId) != 0;
            const int side = icon ? kIconSize : 0;
            if (exists) control->image = SharedImage(control->imageType, *c.imageId, side, side);
        }
        const std::string plain = WithoutMnemonics(c.text);
        constexpr size_t kLongestTextLabel = 30;
        if (!plain.empty() && plain.size() <= kLongestTextLabel && plain.find('\n') == std::string::npos) {
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
        procedure ? Send(handle, {WM_INITDIALOG, reinterpret_cast<WPARAM>(firstTabStop()), param}) : 0;
    if (!Find(handle)) return nullptr;
    if (setFocus && (!(t.style & DS_CONTROL) || (t.style & WS_VISIBLE))) {
        const HWND focus = firstTabStop();
        MoveFocus(focus ? focus : handle);
    }
    if ((t.style & WS_VISIBLE) && !(Find(handle)->style & WS_VISIBLE)) Show(handle, ShowState::Normal);
    return Find(handle) ? handle : nullptr;
}

void WindowManager::Destroy(HWND window) {
    Window* w = FindOwn(window);
    if (!w || w->destroying) return;
    // Windows destroys the windows a window owns before the window itself.
    for (HWND owned : std::vector<HWND>(topLevel_)) {
        const Window* o = FindOwn(owned);
        if (o && o->parent == window && !o->destroying) Destroy(owned);
    }
    w = Find(window);
    if (!w) return;
    // The window disappears before it hears of its destruction.
    if (w->style & WS_VISIBLE) SetStyle(window, w->style & ~static_cast<DWORD>(WS_VISIBLE));
    DestroyTree(window);
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
        CallWindow(h, {WM_DESTROY, 0, 0});
        const Window* w = Find(h);
        if (!w) return;
        for (HWND child : std::vector<HWND>(w->children)) sendDestroy(child);
    };
    sendDestroy(window);
    std::function<void(HWND)> finish = [&](HWND h) {
        const Window* w = Find(h);
        if (!w) return;
        for (HWND child : std::vector<HWND>(w->children)) finish(child);
        CallWindow(h, {WM_NCDESTROY, 0, 0});
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

void WindowManager::FinishDialog(HWND dialog, INT_PTR result) {
    Window* w = Find(dialog);
    if (!w || !w->isDialog) return;
    w->ended = true;
    w->endResult = result;
    if (w->parent && !(w->style & WS_CHILD)) Enable(w->parent, true);
    if (IsDescendant(dialog, focus_)) MoveFocus(dialog);
    if (Find(dialog) && (Find(dialog)->style & WS_VISIBLE)) {
        SetStyle(dialog, Find(dialog)->style & ~static_cast<DWORD>(WS_VISIBLE));
    }
    // Wakes a modal loop that waits for a message.
    Post(dialog, {WM_NULL, 0, 0});
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
    w->client = kForeignClient;
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
