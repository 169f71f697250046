// What User32's entry points share: the window manager of the current
// machine, turning a handle into its window or failing the call, the
// caller's MSG against the model's QueuedMessage, and resource names.
//
// A failed call sets the last error and adds a "failure" line naming the
// call and the window as the transcript names it (sim::dll::Fail).
#pragma once

#include <string>
#include <string_view>

#include "sim/include/windows.h"
#include "sim/machine/window_manager.h"

namespace sim::user32 {

WindowManager& Windows();

// Fails `call` for the window: the last error, and the failure line.
void FailFor(std::string_view call, HWND window, DWORD error);
// The window behind the handle; null, with the call failed with
// ERROR_INVALID_WINDOW_HANDLE, when there is none.
Window* WindowOrFail(std::string_view call, HWND handle);
// The same for a window of the tool (not another program's, not the desktop).
Window* OwnWindowOrFail(std::string_view call, HWND handle);

QueuedMessage FromMsg(const MSG& msg);
void ToMsg(const QueuedMessage& queued, MSG* msg);

// A resource named by MAKEINTRESOURCE or "#123": its number; -1 for a
// resource named by text, which the tool's module has none of.
int ResourceNumber(LPCSTR name);
// "#123", or the name: how a failure line names a resource.
std::string ResourceObject(LPCSTR name);
// The tool's own module, or null (Windows' own resources); false for any
// other module.
bool IsToolOrSystem(HINSTANCE instance);

}  // namespace sim::user32
