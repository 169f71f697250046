// Gdi32: the one GDI call the tool makes, freeing its banner bitmap. A
// handle that is no bitmap is refused without a last error, as Windows
// refuses it; the refusal is recorded all the same.
#include "sim/dlls/entry.h"
#include "sim/include/windows.h"
#include "sim/machine/machine.h"
#include "sim/machine/window_manager.h"

using sim::Current;

BOOL DeleteObject(HGDIOBJ object) {
    sim::WindowManager& windows = Current().windows();
    const sim::Image* image = windows.FindImage(object);
    if (!image || image->type != IMAGE_BITMAP) {
        sim::dll::FailQuietly("DeleteObject", "", ERROR_INVALID_HANDLE);
        return FALSE;
    }
    windows.FreeImage(object);
    return TRUE;
}
