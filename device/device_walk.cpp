#include "device/device_walk.h"

#include "sys/handles.h"
#include "sys/text.h"

namespace {

enum class IdRead { Read, NoIds, Failed };

// Reads SPDRP_HARDWAREID, asking first for the size and growing the buffer
// to what SetupAPI reports.
IdRead ReadHardwareIds(HDEVINFO set, SP_DEVINFO_DATA* device, std::vector<char>& buffer, DWORD* length) {
    BYTE* data = nullptr;
    DWORD size = 0;
    DWORD required = 0;
    while (!::SetupDiGetDeviceRegistryPropertyA(set, device, SPDRP_HARDWAREID, nullptr, data, size, &required)) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_INVALID_DATA) return IdRead::NoIds;
        // A buffer that already has the size asked for would be asked for
        // again and again: that is a failure, not a reason to loop.
        if (error != ERROR_INSUFFICIENT_BUFFER || required == 0 || (data && required <= size)) return IdRead::Failed;
        // One NUL more than offered ends the last ID even when the data
        // does not.
        buffer.assign(required + 1, '\0');
        data = reinterpret_cast<BYTE*>(buffer.data());
        size = required;
    }
    *length = data ? required : 0;
    if (*length > size) *length = size;
    return IdRead::Read;
}

void SplitMultiString(const std::vector<char>& data, DWORD length, HardwareIdList& out) {
    out.clear();
    for (DWORD pos = 0; pos < length;) {
        const size_t size = BoundedLength(data.data() + pos, length - pos);
        if (size == 0) break;
        out.emplace_back(data.data() + pos, size);
        pos += static_cast<DWORD>(size) + 1;
    }
}

}  // namespace

bool ForEachPresentDevice(
    const std::function<void(HDEVINFO set, SP_DEVINFO_DATA* device, const HardwareIdList& ids)>& visit) {
    UniqueDeviceInfoSet set(::SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES));
    if (!set) return false;

    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof device;
    std::vector<char> buffer;
    HardwareIdList ids;
    for (DWORD index = 0; ::SetupDiEnumDeviceInfo(set.Get(), index, &device); ++index) {
        DWORD length = 0;
        const IdRead read = ReadHardwareIds(set.Get(), &device, buffer, &length);
        if (read == IdRead::NoIds) continue;
        if (read == IdRead::Failed) break;
        SplitMultiString(buffer, length, ids);
        visit(set.Get(), &device, ids);
    }
    return true;
}
