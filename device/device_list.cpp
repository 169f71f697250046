#include "device/device_list.h"

#include <new>

void DeviceList::Clear() {
    // Release record by record: a recursive release of a long chain could
    // exhaust the stack.
    std::unique_ptr<FoundDevice> record = std::move(head_);
    while (record) record = std::move(record->next);
    count = 0;
    readyCount = 0;
}

FoundDevice* DeviceList::AddRecord(const std::string& name, const std::string& hardwareId, int needsDriver) {
    std::unique_ptr<FoundDevice> record(new (std::nothrow) FoundDevice);
    if (!record) return nullptr;
    record->name = name;
    record->hardwareId = hardwareId;
    record->needsDriver = needsDriver;
    record->next = std::move(head_);
    head_ = std::move(record);
    ++count;
    return head_.get();
}

FoundDevice* DeviceList::FindFirst(int value) const {
    for (FoundDevice* record = head_.get(); record; record = record->next.get()) {
        if (record->needsDriver == value) return record;
    }
    return nullptr;
}
