// Resources of the tool's module (strings, icons, bitmaps) and of Windows
// (icons and cursors), the cursor, and painting.
#include <algorithm>

#include "sim/formats/resources.h"
#include "sim/include/windows.h"
#include "sim/machine/machine.h"
#include "sim/machine/window_manager.h"

namespace sim {

namespace {

// Windows' own icons (IDI_APPLICATION .. IDI_WINLOGO) and cursors
// (IDC_ARROW .. IDC_APPSTARTING, IDC_SIZE .. IDC_HELP).
bool IsSystemIcon(int id) { return id >= 32512 && id <= 32518; }

bool IsSystemCursor(int id) { return (id >= 32512 && id <= 32516) || (id >= 32640 && id <= 32651); }

}  // namespace

HANDLE WindowManager::NewImage(const ImageRequest& request) {
    const HANDLE handle = reinterpret_cast<HANDLE>(machine_.NewHandleValue());
    Image image;
    image.type = request.type;
    image.resourceId = request.resourceId;
    image.system = request.system;
    image.shared = request.shared;
    image.cx = request.cx;
    image.cy = request.cy;
    images_[reinterpret_cast<std::uintptr_t>(handle)] = image;
    return handle;
}

HANDLE WindowManager::SharedImage(UINT type, int resourceId, int cx, int cy, bool system) {
    const auto key = std::make_tuple(type, system, resourceId, cx, cy);
    auto it = sharedImages_.find(key);
    if (it != sharedImages_.end()) return it->second;
    const HANDLE handle = NewImage({type, resourceId, system, cx, cy, true});
    sharedImages_[key] = handle;
    return handle;
}

const Image* WindowManager::FindImage(HANDLE handle) const {
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

StringLookup WindowManager::LookUpString(UINT id) const {
    const ResourceScript& script = ApplicationResourceScript();
    const std::string* text = script.FindString(id);
    return {text ? *text : std::string(), script.HasStringBlock(id)};
}

// ---- icons, cursors, bitmaps -------------------------------------------------------------

Result<HANDLE> WindowManager::LoadImageResource(const ImageRequest& request) {
    ImageRequest r = request;
    if (r.type != IMAGE_BITMAP) {
        // Zero means the resource's own size (32 x 32) or, with
        // LR_DEFAULTSIZE, the system's icon size, which is the same here.
        if (r.cx == 0) r.cx = kIconSize;
        if (r.cy == 0) r.cy = kIconSize;
    }
    bool exists = false;
    if (r.system) {
        exists = r.type == IMAGE_ICON ? IsSystemIcon(r.resourceId)
                 : r.type == IMAGE_CURSOR ? IsSystemCursor(r.resourceId)
                                          : false;
    } else {
        // The tool's module has no cursor resources at all.
        if (r.type == IMAGE_CURSOR) return WinError{ERROR_RESOURCE_TYPE_NOT_FOUND};
        const ResourceScript& script = ApplicationResourceScript();
        exists = r.type == IMAGE_ICON ? script.icons.count(r.resourceId) != 0 : script.bitmaps.count(r.resourceId) != 0;
    }
    if (!exists) return WinError{ERROR_RESOURCE_NAME_NOT_FOUND};
    return r.shared ? SharedImage(r.type, r.resourceId, r.cx, r.cy, r.system) : NewImage(r);
}

void WindowManager::FreeImage(HANDLE handle) {
    auto it = images_.find(reinterpret_cast<std::uintptr_t>(handle));
    // A shared image lives as long as its module; freeing it does nothing.
    if (it != images_.end() && !it->second.shared) images_.erase(it);
}

HCURSOR WindowManager::ChangeCursor(HCURSOR cursor) {
    const HCURSOR previous = cursor_;
    cursor_ = cursor;
    return previous;
}

// ---- painting --------------------------------------------------------------------------

PaintStart WindowManager::StartPainting(HWND window) {
    Window* w = FindOwn(window);
    if (!w) return {};
    const HDC dc = reinterpret_cast<HDC>(machine_.NewHandleValue());
    paints_[reinterpret_cast<std::uintptr_t>(dc)] = window;
    // Painting validates the window: WM_PAINT stops coming.
    w->needsPaint = false;
    w->paintsWithoutValidation = 0;
    return {dc, w->client};
}

void WindowManager::EndPainting(HDC dc) { paints_.erase(reinterpret_cast<std::uintptr_t>(dc)); }

HWND WindowManager::PaintedWindow(HDC dc) const {
    auto it = paints_.find(reinterpret_cast<std::uintptr_t>(dc));
    return it == paints_.end() ? nullptr : it->second;
}

void WindowManager::PaintIcon(HDC dc, int x, int y, HICON icon) {
    const Image* image = FindImage(icon);
    drawings_.push_back({machine_.clock.Now(), PaintedWindow(dc), x, y, icon, image ? image->resourceId : std::nullopt});
}

void WindowManager::Invalidate(HWND window) {
    if (!window) {
        for (HWND top : topLevel_) {
            if (Window* w = FindOwn(top)) w->needsPaint = w->needsPaint || w->isDialog;
        }
        return;
    }
    // Controls paint themselves; the tool's code paints its dialogs.
    Window* w = Find(window);
    if (w && w->isDialog) w->needsPaint = true;
}

void WindowManager::Update(HWND window) {
    const Window* w = Find(window);
    if (w && w->isDialog && w->needsPaint && IsShown(window)) Send(window, {WM_PAINT, 0, 0});
}

}  // namespace sim
