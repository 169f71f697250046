#include "sim/dlls/kernel32/file_calls.h"

#include "sim/dlls/entry.h"
#include "sim/machine/filesystem.h"
#include "sim/machine/machine.h"

namespace sim::kernel32 {

std::string PathObject(const char* path) { return path ? FileSystem::FullPath(path) : std::string(); }

DWORD FailsOnDemand(std::string_view call, std::initializer_list<const char*> paths) {
    for (const char* path : paths) {
        if (const DWORD error = dll::Injected(call, PathObject(path))) {
            Current().lastError = error;
            return error;
        }
    }
    return 0;
}

}  // namespace sim::kernel32
