// One emulated Windows machine: its version, clock, registry, drive C:,
// devices, services, processes and windows, and a transcript of what the
// tool did to it. The Win32 functions of the emulator act on the machine
// made current with MachineScope; there is exactly one at a time, as a
// process runs on exactly one Windows.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim/include/types.h"
#include "sim/machine/clock.h"
#include "sim/machine/faults.h"
#include "sim/machine/version.h"

namespace sim {

class Registry;
class FileSystem;
class WindowManager;
class DeviceModel;
class ServiceManager;
class ProcessTable;
class Session;
class Modules;

// A line of the transcript: what the tool did or was shown, and when. The
// kind is the channel a reader can choose to see: "dialog", "msgbox",
// "user", "process", "process-exit", "process-post", "service", "device",
// "file", "session", "window" (what a person watching the run sees), and
// "registry" (every write and deletion) and "failure" (every call that
// failed, with its error).
struct TranscriptEntry {
    Clock::Millis time;
    std::string kind;
    std::string text;
};

class Transcript {
public:
    void Add(Clock::Millis time, std::string kind, std::string text);
    const std::vector<TranscriptEntry>& Entries() const { return entries_; }
    std::vector<TranscriptEntry> OfKind(const std::string& kind) const;
    void Clear() { entries_.clear(); }

private:
    std::vector<TranscriptEntry> entries_;
};

// What a new machine carries besides Windows itself.
enum class Furnishing {
    // The devices a real machine of its kind has (sim/machine/devices/
    // standard_devices.h): system devices, controllers, drives, legacy
    // driver nodes and the other untidy parts, with their drivers. They
    // are there before a run and never part of its changes.
    Standard,
    // No device at all: an empty device tree, for cases about the device
    // mechanism itself (counting, ordering, the first devnode, a registry
    // compared key for key).
    Bare,
};

class Machine {
public:
    explicit Machine(WindowsVersion version = WindowsVersion::WinXP, Furnishing furnishing = Furnishing::Standard);
    explicit Machine(WindowsVersion version, const std::string& windowsDir,
                     Furnishing furnishing = Furnishing::Standard);
    ~Machine();
    Machine(const Machine&) = delete;
    Machine& operator=(const Machine&) = delete;

    WindowsVersion Version() const { return version_; }
    Furnishing furnishing() const { return furnishing_; }
    bool IsNt() const;
    const VersionRow& VersionDetails() const;
    // GetVersionExA fails on this machine (as it can on a damaged system).
    bool failVersionQuery = false;
    // A service-pack text other than the version's usual one.
    std::optional<std::string> csdVersion;

    // "C:\WINDOWS", "C:\WINNT", or a drive root such as "C:\".
    const std::string& WindowsDir() const { return windowsDir_; }
    // "<windows>\SYSTEM" on the 9x family, "<windows>\system32" on NT.
    const std::string& SystemDir() const { return systemDir_; }

    Clock clock;
    Transcript transcript;
    DWORD lastError = 0;
    // Calls that are to fail on demand (tests and the "fail" directive).
    Faults faults;

    Registry& registry() { return *registry_; }
    FileSystem& files() { return *files_; }
    WindowManager& windows() { return *windows_; }
    DeviceModel& devices() { return *devices_; }
    ServiceManager& services() { return *services_; }
    ProcessTable& processes() { return *processes_; }
    Session& session() { return *session_; }
    Modules& modules() { return *modules_; }

    // Handle values are unique across every kind of handle of the machine,
    // so that a handle of one kind is never mistaken for another.
    std::uintptr_t NewHandleValue();

    // Adds a transcript line stamped with the current virtual time.
    void Record(std::string kind, std::string text);

private:
    void Build();

    WindowsVersion version_;
    Furnishing furnishing_;
    std::string windowsDir_;
    std::string systemDir_;
    std::uintptr_t nextHandle_ = 0x1000;
    std::unique_ptr<Registry> registry_;
    std::unique_ptr<FileSystem> files_;
    std::unique_ptr<WindowManager> windows_;
    std::unique_ptr<DeviceModel> devices_;
    std::unique_ptr<ServiceManager> services_;
    std::unique_ptr<ProcessTable> processes_;
    std::unique_ptr<Session> session_;
    std::unique_ptr<Modules> modules_;
};

// The machine the Win32 functions act on. Aborts with a message when no
// machine is current: product code must never run outside one.
Machine& Current();
bool HasCurrent();

class MachineScope {
public:
    explicit MachineScope(Machine& machine);
    ~MachineScope();
    MachineScope(const MachineScope&) = delete;
    MachineScope& operator=(const MachineScope&) = delete;

private:
    Machine* previous_;
};

}  // namespace sim
