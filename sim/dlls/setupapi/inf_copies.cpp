// SetupAPI's INF copies and source lists over the emulated driver store:
// SetupCopyOEMInfA, SetupSetSourceListA, SetupAddToSourceListA.
//
// The entry points check their arguments, ask for a failure on demand, let
// the model act and hand the destination name out with SetupAPI's rule:
// the size needed (NUL included) is always reported; a buffer too small
// fails with ERROR_INSUFFICIENT_BUFFER and stays untouched, though the
// INF has been copied by then. Every failure goes to the transcript's
// "failure" channel.
#include <string>
#include <vector>

#include "sim/dlls/entry.h"
#include "sim/include/windows.h"
#include "sim/machine/devices/devices.h"
#include "sim/machine/devices/driver_store.h"
#include "sim/machine/devices/source_list.h"
#include "sim/machine/filesystem.h"
#include "sim/machine/machine.h"

using sim::Current;
namespace dll = sim::dll;

namespace {

constexpr const char* kCopyOemInf = "SetupCopyOEMInfA";
constexpr const char* kSetSourceList = "SetupSetSourceListA";
constexpr const char* kAddToSourceList = "SetupAddToSourceListA";

constexpr DWORD kKnownCopyStyles =
    SP_COPY_DELETESOURCE | SP_COPY_REPLACEONLY | SP_COPY_NOOVERWRITE | SP_COPY_OEMINF_CATALOG_ONLY;

// Hands a destination path out; false when the buffer is too small.
bool ReportDestination(const std::string& path, PSTR destination, DWORD size, PDWORD required, PSTR* component) {
    const std::string withNul = path + '\0';
    const dll::CopyOut copied = dll::CopyDataOut(withNul, destination, size, required);
    if (copied == dll::CopyOut::TooSmall) return false;
    if (copied == dll::CopyOut::Copied && component) *component = destination + (path.find_last_of('\\') + 1);
    return true;
}

}  // namespace

BOOL SetupCopyOEMInfA(PCSTR source, PCSTR mediaLocation, DWORD mediaType, DWORD copyStyle, PSTR destination,
                      DWORD destinationSize, PDWORD required, PSTR* destinationComponent) {
    const std::string object = source ? source : "";
    if (!source || mediaType >= SPOST_MAX || (!destination && destinationSize > 0)) {
        dll::Fail(kCopyOemInf, object, ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (copyStyle & ~kKnownCopyStyles) {
        dll::Fail(kCopyOemInf, object, ERROR_INVALID_FLAGS);
        return FALSE;
    }
    // Failures on demand name the source as the caller wrote it.
    if (const DWORD error = dll::Injected(kCopyOemInf, object)) {
        Current().lastError = error;
        return FALSE;
    }
    const std::optional<std::string> location =
        mediaLocation ? std::optional<std::string>(mediaLocation) : std::nullopt;
    const sim::DriverStore::OemInfCopy copy =
        Current().devices().drivers().CopyOemInf(object, location, mediaType, copyStyle);
    if (copy.destination.empty()) {
        if (copy.error) {
            dll::Fail(kCopyOemInf, object, copy.error);
            return FALSE;
        }
        // Asked only where an INF that is not there would be: an empty name.
        dll::CopyDataOut(std::string(1, '\0'), destination, destinationSize, required);
        return TRUE;
    }
    if (!ReportDestination(copy.destination, destination, destinationSize, required, destinationComponent)) {
        dll::Fail(kCopyOemInf, object, ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    if (copy.error) {
        dll::Fail(kCopyOemInf, object, copy.error);
        return FALSE;
    }
    if ((copyStyle & SP_COPY_DELETESOURCE) && !copy.sourcePath.empty()) Current().files().Remove(copy.sourcePath);
    return TRUE;
}

BOOL SetupSetSourceListA(DWORD flags, PCSTR* list, UINT count) {
    if (!list && count > 0) {
        dll::Fail(kSetSourceList, "", ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::vector<std::string> items;
    for (UINT i = 0; i < count; ++i) {
        if (!list[i]) {
            dll::Fail(kSetSourceList, "", ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        items.emplace_back(list[i]);
    }
    if (const DWORD error = Current().devices().sources().Set(flags, items)) {
        dll::Fail(kSetSourceList, "", error);
        return FALSE;
    }
    return TRUE;
}

BOOL SetupAddToSourceListA(DWORD flags, PCSTR source) {
    const std::string object = source ? source : "";
    if (!source) {
        dll::Fail(kAddToSourceList, object, ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (const DWORD error = Current().devices().sources().Add(flags, source)) {
        dll::Fail(kAddToSourceList, object, error);
        return FALSE;
    }
    return TRUE;
}
