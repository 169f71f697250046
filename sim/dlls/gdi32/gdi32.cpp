// Gdi32: the one GDI call the tool makes, freeing its banner bitmap.
#include "sim/include/windows.h"
#include "sim/machine/machine.h"
#include "sim/machine/window_manager.h"

using sim::Current;

BOOL DeleteObject(HGDIOBJ object) { return Current().windows().DeleteObject(object); }
