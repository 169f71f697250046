#include "sim/machine/machine.h"

#include <cstdio>
#include <cstdlib>

#include "sim/machine/devices/devices.h"
#include "sim/machine/filesystem.h"
#include "sim/machine/modules.h"
#include "sim/machine/processes.h"
#include "sim/machine/registry.h"
#include "sim/machine/services.h"
#include "sim/machine/shell_folders.h"
#include "sim/machine/session.h"
#include "sim/machine/window_manager.h"

namespace sim {

void Transcript::Add(Clock::Millis time, std::string kind, std::string text) {
    entries_.push_back({time, std::move(kind), std::move(text)});
}

std::vector<TranscriptEntry> Transcript::OfKind(const std::string& kind) const {
    std::vector<TranscriptEntry> out;
    for (const TranscriptEntry& e : entries_) {
        if (e.kind == kind) out.push_back(e);
    }
    return out;
}

Machine::Machine(WindowsVersion version, Furnishing furnishing)
    : Machine(version, VersionInfo(version).windowsDir, furnishing) {}

Machine::Machine(WindowsVersion version, const std::string& windowsDir, Furnishing furnishing)
    : version_(version), furnishing_(furnishing), windowsDir_(windowsDir) {
    const bool rootFolder = !windowsDir_.empty() && windowsDir_.back() == '\\';
    systemDir_ = windowsDir_ + (rootFolder ? "" : "\\") + (IsNtFamily(version) ? "system32" : "SYSTEM");
    Build();
}

Machine::~Machine() = default;

void Machine::Build() {
    registry_ = std::make_unique<Registry>(*this);
    files_ = std::make_unique<FileSystem>(*this);
    windows_ = std::make_unique<WindowManager>(*this);
    devices_ = std::make_unique<DeviceModel>(*this);
    services_ = std::make_unique<ServiceManager>(*this);
    processes_ = std::make_unique<ProcessTable>(*this);
    session_ = std::make_unique<Session>(*this);
    modules_ = std::make_unique<Modules>(*this);
    AddShellFolders(*this);
    if (furnishing_ == Furnishing::Standard) devices_->AddStandardDevices();
}

bool Machine::IsNt() const { return IsNtFamily(version_); }

const VersionRow& Machine::VersionDetails() const { return VersionInfo(version_); }

std::uintptr_t Machine::NewHandleValue() {
    const std::uintptr_t value = nextHandle_;
    nextHandle_ += 4;
    return value;
}

void Machine::Record(std::string kind, std::string text) {
    transcript.Add(clock.Now(), std::move(kind), std::move(text));
}

namespace {
Machine* g_current = nullptr;
}

Machine& Current() {
    if (!g_current) {
        std::fputs("emulator: a Win32 function was called with no current machine\n", stderr);
        std::abort();
    }
    return *g_current;
}

bool HasCurrent() { return g_current != nullptr; }

MachineScope::MachineScope(Machine& machine) : previous_(g_current) { g_current = &machine; }

MachineScope::~MachineScope() { g_current = previous_; }

}  // namespace sim
