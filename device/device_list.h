// The present supported adapters a search found.
#pragma once

#include <memory>
#include <string>

// One present adapter.
struct FoundDevice {
    std::string name;              // friendly name or device description
    std::string hardwareId;        // first hardware ID (NT) / "MatchingDeviceId" (9x)
    std::string driverKey;         // driver key as Windows reports it; empty without a driver
    std::string netCfgInstanceId;  // network interface GUID (NT); empty when unknown
    std::string enumKey;           // hardware key below HKLM\Enum (9x); empty on NT
    int needsDriver = 0;           // 0: runs a driver of the selected profile; 1: does not

    // The next record: the one added before this one.
    std::unique_ptr<FoundDevice> next;
};

// An owning, singly linked list of records, newest first, with the number of
// records and the number of those that need no driver.
class DeviceList {
public:
    DeviceList() = default;
    ~DeviceList() { Clear(); }
    DeviceList(const DeviceList&) = delete;
    DeviceList& operator=(const DeviceList&) = delete;

    // Releases every record and sets both counters to 0.
    void Clear();

    // A new record at the head with the other texts empty; count + 1. The
    // record stays owned by the list; null when it could not be made.
    FoundDevice* AddRecord(const std::string& name, const std::string& hardwareId, int needsDriver);

    // The first record from the head whose needsDriver equals `value`, or
    // null. Borrowed: valid until the list is cleared or searched again.
    FoundDevice* FindFirst(int value) const;

    const FoundDevice* Head() const { return head_.get(); }

    int count = 0;
    int readyCount = 0;

private:
    std::unique_ptr<FoundDevice> head_;
};
