// The dialog as text: what a person sees of a window, the names the
// transcript gives windows, the "dialog" channel's lines as dialogs appear
// and controls change, and the report of a stuck run.
#include <cstdio>

#include "sim/base/text.h"
#include "sim/include/windows.h"
#include "sim/machine/machine.h"
#include "sim/machine/window_manager.h"
#include "sim/machine/windows/texts.h"

namespace sim {

namespace {

std::string FormatTime(Clock::Millis ms) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%llu:%02llu:%02llu.%03llu", static_cast<unsigned long long>(ms / 3600000),
                  static_cast<unsigned long long>(ms / 60000 % 60), static_cast<unsigned long long>(ms / 1000 % 60),
                  static_cast<unsigned long long>(ms % 1000));
    return buffer;
}

}  // namespace

std::string WindowManager::ControlKind(const Window& w) const {
    if (EqualNoCase(w.className, "Button")) {
        const DWORD type = w.style & BS_TYPEMASK;
        if (type == BS_GROUPBOX) return "group";
        if (type == BS_CHECKBOX || type == BS_AUTOCHECKBOX) return "checkbox";
        return "button";
    }
    if (EqualNoCase(w.className, "Static")) {
        const DWORD type = w.style & SS_TYPEMASK;
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

std::string WindowManager::NameOf(HWND window) const {
    const Window* w = Find(window);
    if (!w) return "window 0x" + Hex(reinterpret_cast<std::uintptr_t>(window), 1);
    if ((w->style & WS_CHILD) && !w->label.empty()) return w->label;
    return Quote(w->text);
}

std::string WindowManager::Describe(HWND window) const {
    const Window* w = Find(window);
    if (!w) return "(no window)";
    auto states = [](const Window& x, bool control) {
        std::string s;
        if (control && EqualNoCase(x.className, "Button") && (x.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) {
            s += " [default]";
        }
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
    Window* top = Find(TopLevelOf(control));
    if (!top || !top->appeared) return;
    machine_.Record("dialog", Label(control) + ": " + what);
    // What a person sees has changed: the dialog is painted again when
    // its thread next looks for messages.
    if (top->isDialog) top->needsPaint = true;
}

}  // namespace sim
