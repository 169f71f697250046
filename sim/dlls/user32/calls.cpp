#include "sim/dlls/user32/calls.h"

#include "sim/base/text.h"
#include "sim/dlls/entry.h"
#include "sim/machine/machine.h"
#include "sim/machine/modules.h"

namespace sim::user32 {

WindowManager& Windows() { return Current().windows(); }

void FailFor(std::string_view call, HWND window, DWORD error) {
    dll::Fail(call, window ? Windows().NameOf(window) : std::string(), error);
}

Window* WindowOrFail(std::string_view call, HWND handle) {
    Window* w = Windows().Find(handle);
    if (!w) FailFor(call, handle, ERROR_INVALID_WINDOW_HANDLE);
    return w;
}

Window* OwnWindowOrFail(std::string_view call, HWND handle) {
    Window* w = Windows().FindOwn(handle);
    if (!w) FailFor(call, handle, ERROR_INVALID_WINDOW_HANDLE);
    return w;
}

QueuedMessage FromMsg(const MSG& msg) { return {msg.hwnd, {msg.message, msg.wParam, msg.lParam}, msg.time}; }

void ToMsg(const QueuedMessage& queued, MSG* msg) {
    msg->hwnd = queued.window;
    msg->message = queued.message.id;
    msg->wParam = queued.message.wParam;
    msg->lParam = queued.message.lParam;
    msg->time = queued.time;
    msg->pt = POINT{0, 0};
}

int ResourceNumber(LPCSTR name) {
    if (IS_INTRESOURCE(name)) return LOWORD(name);
    constexpr unsigned long long kLargestId = 0xFFFF;
    unsigned long long value = 0;
    if (name[0] == '#' && ParseNumber(name + 1, value) && value <= kLargestId) return static_cast<int>(value);
    return -1;
}

std::string ResourceObject(LPCSTR name) {
    if (IS_INTRESOURCE(name)) return "#" + std::to_string(LOWORD(name));
    return name;
}

bool IsToolOrSystem(HINSTANCE instance) { return !instance || instance == Current().modules().Self(); }

}  // namespace sim::user32
