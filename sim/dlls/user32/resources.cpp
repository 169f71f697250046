// User32's resource functions (strings, icons, cursors, images), the
// cursor, system metrics and painting, over the machine's window manager.
// Resources come from the tool's own module or, without a module, from
// Windows; any other module has none. A failure sets the last error and
// adds a "failure" line.
#include "sim/dlls/entry.h"
#include "sim/dlls/user32/calls.h"

using sim::ImageRequest;
using sim::WindowManager;
using sim::user32::FailFor;
using sim::user32::OwnWindowOrFail;
using sim::user32::ResourceNumber;
using sim::user32::ResourceObject;
using sim::user32::Windows;
using sim::user32::WindowOrFail;

namespace {

// LoadIconA, LoadCursorA and LoadImageA: the image, or null with the call
// failed.
HANDLE LoadOrFail(const char* call, HINSTANCE instance, LPCSTR name, ImageRequest request) {
    if (!sim::user32::IsToolOrSystem(instance)) {
        sim::dll::Fail(call, ResourceObject(name), ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    request.resourceId = ResourceNumber(name);
    request.system = !instance;
    const sim::Result<HANDLE> image = Windows().LoadImageResource(request);
    if (image) return *image;
    sim::dll::Fail(call, ResourceObject(name), image.error());
    return nullptr;
}

bool IsIconOrCursor(HANDLE handle) {
    const sim::Image* image = Windows().FindImage(handle);
    return image && image->type != IMAGE_BITMAP;
}

}  // namespace

// ---- strings -----------------------------------------------------------------------

int LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int size) {
    constexpr const char* kCall = "LoadStringA";
    const std::string object = "#" + std::to_string(LOWORD(id));
    if (!sim::user32::IsToolOrSystem(instance)) {
        if (buffer && size > 0) buffer[0] = '\0';
        sim::dll::Fail(kCall, object, ERROR_RESOURCE_DATA_NOT_FOUND);
        return 0;
    }
    if (!buffer) {
        sim::dll::Fail(kCall, object, ERROR_INVALID_PARAMETER);
        return 0;
    }
    // The ANSI function cannot hand out the resource itself.
    constexpr int kNoCopy = -1;
    if (size == 0) return kNoCopy;
    if (size < 0) return 0;
    const sim::StringLookup found = Windows().LookUpString(LOWORD(id));
    if (!found.blockFound) sim::dll::Fail(kCall, object, ERROR_RESOURCE_NAME_NOT_FOUND);
    return static_cast<int>(sim::dll::CopyTextTruncated(found.text, buffer, static_cast<DWORD>(size), nullptr));
}

// ---- icons, cursors, bitmaps -------------------------------------------------------------

HICON LoadIconA(HINSTANCE instance, LPCSTR name) {
    const ImageRequest request{IMAGE_ICON, -1, false, WindowManager::kIconSize, WindowManager::kIconSize, true};
    return reinterpret_cast<HICON>(LoadOrFail("LoadIconA", instance, name, request));
}

HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name) {
    const ImageRequest request{IMAGE_CURSOR, -1, false, WindowManager::kCursorSize, WindowManager::kCursorSize, true};
    return reinterpret_cast<HCURSOR>(LoadOrFail("LoadCursorA", instance, name, request));
}

HANDLE LoadImageA(HINSTANCE instance, LPCSTR name, UINT type, int cx, int cy, UINT flags) {
    constexpr const char* kCall = "LoadImageA";
    if (type != IMAGE_BITMAP && type != IMAGE_ICON && type != IMAGE_CURSOR) {
        sim::dll::Fail(kCall, ResourceObject(name), ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    // The emulated drive holds no image files.
    if (flags & LR_LOADFROMFILE) {
        sim::dll::Fail(kCall, ResourceObject(name), ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    return LoadOrFail(kCall, instance, name, {type, -1, false, cx, cy, (flags & LR_SHARED) != 0});
}

BOOL DestroyIcon(HICON icon) {
    if (!IsIconOrCursor(icon)) {
        sim::dll::Fail("DestroyIcon", "", ERROR_INVALID_CURSOR_HANDLE);
        return FALSE;
    }
    Windows().FreeImage(icon);
    return TRUE;
}

HCURSOR SetCursor(HCURSOR cursor) {
    if (cursor && !IsIconOrCursor(cursor)) {
        sim::dll::Fail("SetCursor", "", ERROR_INVALID_CURSOR_HANDLE);
        return nullptr;
    }
    return Windows().ChangeCursor(cursor);
}

int GetSystemMetrics(int index) {
    switch (index) {
        case SM_CXSCREEN: return WindowManager::kScreenWidth;
        case SM_CYSCREEN: return WindowManager::kScreenHeight;
        case SM_CXICON:
        case SM_CYICON: return WindowManager::kIconSize;
        case SM_CXSMICON:
        case SM_CYSMICON: return WindowManager::kSmallIconSize;
        default: return 0;
    }
}

// ---- painting --------------------------------------------------------------------------

HDC BeginPaint(HWND window, LPPAINTSTRUCT paint) {
    constexpr const char* kCall = "BeginPaint";
    if (!OwnWindowOrFail(kCall, window)) return nullptr;
    if (!paint) {
        FailFor(kCall, window, ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const sim::PaintStart start = Windows().StartPainting(window);
    *paint = PAINTSTRUCT{};
    paint->hdc = start.dc;
    paint->fErase = FALSE;
    paint->rcPaint = start.area;
    return start.dc;
}

BOOL EndPaint(HWND, const PAINTSTRUCT* paint) {
    if (paint) Windows().EndPainting(paint->hdc);
    return TRUE;
}

BOOL DrawIcon(HDC dc, int x, int y, HICON icon) {
    constexpr const char* kCall = "DrawIcon";
    if (!Windows().PaintedWindow(dc)) {
        sim::dll::Fail(kCall, "", ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!IsIconOrCursor(icon)) {
        sim::dll::Fail(kCall, "", ERROR_INVALID_CURSOR_HANDLE);
        return FALSE;
    }
    Windows().PaintIcon(dc, x, y, icon);
    return TRUE;
}

BOOL InvalidateRect(HWND window, const RECT*, BOOL) {
    if (window && !WindowOrFail("InvalidateRect", window)) return FALSE;
    Windows().Invalidate(window);
    return TRUE;
}

BOOL UpdateWindow(HWND window) {
    if (!WindowOrFail("UpdateWindow", window)) return FALSE;
    Windows().Update(window);
    return TRUE;
}
