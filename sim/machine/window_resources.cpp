// Resources of the tool's module (strings, icons, bitmaps) and of Windows
// (icons and cursors), the cursor, system metrics, and painting.
#include <algorithm>
#include <cstring>

#include "sim/include/windows.h"
#include "sim/machine/machine.h"
#include "sim/machine/modules.h"
#include "sim/formats/resources.h"
#include "sim/base/text.h"
#include "sim/machine/window_manager.h"

namespace sim {

namespace {

constexpr UINT kLoadFromFile = 0x0010;  // LR_LOADFROMFILE

bool IsSystemIcon(int id) { return id >= 32512 && id <= 32518; }

bool IsSystemCursor(int id) { return (id >= 32512 && id <= 32516) || (id >= 32640 && id <= 32651); }

}  // namespace

bool WindowManager::IsAppInstance(HINSTANCE instance) const { return instance == machine_.modules().Self(); }

int WindowManager::ResourceNumber(LPCSTR name) const {
    if (IS_INTRESOURCE(name)) return LOWORD(name);
    unsigned long long value = 0;
    if (name && name[0] == '#' && ParseNumber(name + 1, value) && value <= 0xFFFF) return static_cast<int>(value);
    return -1;  // a named resource: the tool's module has none
}

HANDLE WindowManager::NewImage(UINT type, int resourceId, bool system, bool shared, int cx, int cy) {
    const HANDLE handle = reinterpret_cast<HANDLE>(machine_.NewHandleValue());
    Image image;
    image.type = type;
    image.resourceId = resourceId;
    image.system = system;
    image.shared = shared;
    image.cx = cx;
    image.cy = cy;
    images_[reinterpret_cast<std::uintptr_t>(handle)] = image;
    return handle;
}

HANDLE WindowManager::SharedImage(UINT type, int resourceId, int cx, int cy, bool system) {
    const auto key = std::make_tuple(type, system, resourceId, cx, cy);
    auto it = sharedImages_.find(key);
    if (it != sharedImages_.end()) return it->second;
    const HANDLE handle = NewImage(type, resourceId, system, true, cx, cy);
    sharedImages_[key] = handle;
    return handle;
}

const WindowManager::Image* WindowManager::FindImage(HANDLE handle) const {
    auto it = images_.find(reinterpret_cast<std::uintptr_t>(handle));
    return it == images_.end() ? nullptr : &it->second;
}

std::optional<int> WindowManager::ImageResourceId(HANDLE image) const {
    const Image* found = FindImage(image);
    return found ? found->resourceId : std::nullopt;
}

size_t WindowManager::LoadedImageCount() const {
    return static_cast<size_t>(
        std::count_if(images_.begin(), images_.end(), [](const auto& entry) { return !entry.second.shared; }));
}

// ---- strings -----------------------------------------------------------------------

int WindowManager::LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int size) {
    if (instance && !IsAppInstance(instance)) {
        machine_.lastError = ERROR_RESOURCE_DATA_NOT_FOUND;
        if (buffer && size > 0) buffer[0] = '\0';
        return 0;
    }
    if (!buffer) {
        machine_.lastError = ERROR_INVALID_PARAMETER;
        return 0;
    }
    // The ANSI function cannot hand out the resource itself.
    if (size == 0) return -1;
    if (size < 0) return 0;
    const ResourceScript& script = ApplicationResourceScript();
    const UINT key = LOWORD(id);
    const std::string* text = script.FindString(key);
    // Windows finds strings by their block of sixteen: only a missing block
    // is an error; a missing string in a block is an empty one.
    if (!script.HasStringBlock(key)) machine_.lastError = ERROR_RESOURCE_NAME_NOT_FOUND;
    const size_t length = text ? std::min(text->size(), static_cast<size_t>(size - 1)) : 0;
    if (length) std::memcpy(buffer, text->data(), length);
    buffer[length] = '\0';
    return static_cast<int>(length);
}

// ---- icons, cursors, bitmaps -------------------------------------------------------------

HICON WindowManager::LoadIconA(HINSTANCE instance, LPCSTR name) {
    const int id = ResourceNumber(name);
    const int size = GetSystemMetrics(SM_CXICON);
    if (!instance) {
        if (IsSystemIcon(id)) return reinterpret_cast<HICON>(SharedImage(IMAGE_ICON, id, size, size, true));
        machine_.lastError = ERROR_RESOURCE_NAME_NOT_FOUND;
        return nullptr;
    }
    if (!IsAppInstance(instance)) {
        machine_.lastError = ERROR_RESOURCE_DATA_NOT_FOUND;
        return nullptr;
    }
    if (!ApplicationResourceScript().icons.count(id)) {
        machine_.lastError = ERROR_RESOURCE_NAME_NOT_FOUND;
        return nullptr;
    }
    return reinterpret_cast<HICON>(SharedImage(IMAGE_ICON, id, size, size));
}

HCURSOR WindowManager::LoadCursorA(HINSTANCE instance, LPCSTR name) {
    const int id = ResourceNumber(name);
    if (!instance) {
        if (IsSystemCursor(id)) return reinterpret_cast<HCURSOR>(SharedImage(IMAGE_CURSOR, id, 32, 32, true));
        machine_.lastError = ERROR_RESOURCE_NAME_NOT_FOUND;
        return nullptr;
    }
    if (!IsAppInstance(instance)) {
        machine_.lastError = ERROR_RESOURCE_DATA_NOT_FOUND;
        return nullptr;
    }
    // The tool's module has no cursor resources at all.
    machine_.lastError = ERROR_RESOURCE_TYPE_NOT_FOUND;
    return nullptr;
}

HANDLE WindowManager::LoadImageA(HINSTANCE instance, LPCSTR name, UINT type, int cx, int cy, UINT flags) {
    if (type != IMAGE_BITMAP && type != IMAGE_ICON && type != IMAGE_CURSOR) {
        machine_.lastError = ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    if (flags & kLoadFromFile) {
        machine_.lastError = ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    const int id = ResourceNumber(name);
    if (type != IMAGE_BITMAP) {
        // Zero means the resource's own size (32 x 32) or, with
        // LR_DEFAULTSIZE, the system's icon size, which is the same here.
        if (cx == 0) cx = GetSystemMetrics(SM_CXICON);
        if (cy == 0) cy = GetSystemMetrics(SM_CYICON);
    }
    const bool shared = (flags & LR_SHARED) != 0;
    if (!instance) {
        const bool known = type == IMAGE_ICON ? IsSystemIcon(id) : type == IMAGE_CURSOR ? IsSystemCursor(id) : false;
        if (!known) {
            machine_.lastError = ERROR_RESOURCE_NAME_NOT_FOUND;
            return nullptr;
        }
        return shared ? SharedImage(type, id, cx, cy, true) : NewImage(type, id, true, false, cx, cy);
    }
    if (!IsAppInstance(instance)) {
        machine_.lastError = ERROR_RESOURCE_DATA_NOT_FOUND;
        return nullptr;
    }
    const ResourceScript& script = ApplicationResourceScript();
    if (type == IMAGE_CURSOR) {
        machine_.lastError = ERROR_RESOURCE_TYPE_NOT_FOUND;
        return nullptr;
    }
    const bool exists = type == IMAGE_ICON ? script.icons.count(id) != 0 : script.bitmaps.count(id) != 0;
    if (!exists) {
        machine_.lastError = ERROR_RESOURCE_NAME_NOT_FOUND;
        return nullptr;
    }
    return shared ? SharedImage(type, id, cx, cy) : NewImage(type, id, false, false, cx, cy);
}

BOOL WindowManager::DestroyIcon(HICON icon) {
    auto it = images_.find(reinterpret_cast<std::uintptr_t>(icon));
    if (it == images_.end() || it->second.type == IMAGE_BITMAP) {
        machine_.lastError = ERROR_INVALID_CURSOR_HANDLE;
        return FALSE;
    }
    // A shared icon lives as long as its module; destroying it does nothing.
    if (!it->second.shared) images_.erase(it);
    return TRUE;
}

BOOL WindowManager::DeleteObject(HGDIOBJ object) {
    auto it = images_.find(reinterpret_cast<std::uintptr_t>(object));
    if (it == images_.end() || it->second.type != IMAGE_BITMAP) return FALSE;
    if (!it->second.shared) images_.erase(it);
    return TRUE;
}

HCURSOR WindowManager::SetCursor(HCURSOR cursor) {
    if (cursor) {
        const Image* image = FindImage(cursor);
        if (!image || image->type == IMAGE_BITMAP) {
            machine_.lastError = ERROR_INVALID_CURSOR_HANDLE;
            return nullptr;
        }
    }
    const HCURSOR previous = cursor_;
    cursor_ = cursor;
    return previous;
}

int WindowManager::GetSystemMetrics(int index) const {
    switch (index) {
        case SM_CXSCREEN: return 1024;
        case SM_CYSCREEN: return 768;
        case SM_CXICON:
        case SM_CYICON: return 32;
        case SM_CXSMICON:
        case SM_CYSMICON: return 16;
        default: return 0;
    }
}

// ---- painting --------------------------------------------------------------------------

HDC WindowManager::BeginPaint(HWND window, LPPAINTSTRUCT paint) {
    Window* w = FindOwn(window);
    if (!w) {
        FailInvalid(window);
        return nullptr;
    }
    if (!paint) {
        machine_.lastError = ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    const HDC dc = reinterpret_cast<HDC>(machine_.NewHandleValue());
    paints_[reinterpret_cast<std::uintptr_t>(dc)] = window;
    std::memset(paint, 0, sizeof *paint);
    paint->hdc = dc;
    paint->fErase = FALSE;
    paint->rcPaint = w->client;
    // Painting validates the window: WM_PAINT stops coming.
    w->needsPaint = false;
    w->paintsWithoutValidation = 0;
    return dc;
}

BOOL WindowManager::EndPaint(HWND, const PAINTSTRUCT* paint) {
    if (paint) paints_.erase(reinterpret_cast<std::uintptr_t>(paint->hdc));
    return TRUE;
}

BOOL WindowManager::DrawIcon(HDC dc, int x, int y, HICON icon) {
    auto it = paints_.find(reinterpret_cast<std::uintptr_t>(dc));
    if (it == paints_.end()) {
        machine_.lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    const Image* image = FindImage(icon);
    if (!image || image->type == IMAGE_BITMAP) {
        machine_.lastError = ERROR_INVALID_CURSOR_HANDLE;
        return FALSE;
    }
    drawings_.push_back({machine_.clock.Now(), it->second, x, y, icon, image->resourceId});
    return TRUE;
}

BOOL WindowManager::InvalidateRect(HWND window, const RECT*, BOOL) {
    if (!window) {
        for (HWND top : topLevel_) {
            if (Window* w = FindOwn(top)) w->needsPaint = w->needsPaint || w->isDialog;
        }
        return TRUE;
    }
    Window* w = Find(window);
    if (!w) {
        FailInvalid(window);
        return FALSE;
    }
    // Controls paint themselves; the tool's code paints its dialogs.
    if (w->isDialog) w->needsPaint = true;
    return TRUE;
}

BOOL WindowManager::UpdateWindow(HWND window) {
    Window* w = Find(window);
    if (!w) {
        FailInvalid(window);
        return FALSE;
    }
    if (w->isDialog && w->needsPaint && IsWindowVisible(window)) SendMessageA(window, WM_PAINT, 0, 0);
    return TRUE;
}

}  // namespace sim
