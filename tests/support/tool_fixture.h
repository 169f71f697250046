// A fixture that runs the tool on an emulated machine, as a fresh process
// would run it.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "app/process_state.h"
#include "platform/framework/framework.h"
#include "platform/winapi.h"
#include "sim/machine/machine.h"

class ToolTest : public ::testing::Test {
protected:
    // Starts over on a new machine of the given version (with its usual
    // Windows folder, or the one given).
    sim::Machine& UseMachine(sim::WindowsVersion version, const std::string& windowsDir = "") {
        scope_.reset();
        machine_ = windowsDir.empty() ? std::make_unique<sim::Machine>(version)
                                      : std::make_unique<sim::Machine>(version, windowsDir);
        scope_ = std::make_unique<sim::MachineScope>(*machine_);
        ResetProcessState();
        return *machine_;
    }

    void SetUp() override { UseMachine(sim::WindowsVersion::WinXP); }

    // Runs tavsetup.exe with the given argument text; returns its exit code.
    int RunTool(const std::string& commandLine) {
        commandLine_ = commandLine;
        return AfxWinMain(GetModuleHandleA(nullptr), commandLine_.c_str());
    }

    sim::Machine& machine() { return *machine_; }

private:
    std::unique_ptr<sim::Machine> machine_;
    std::unique_ptr<sim::MachineScope> scope_;
    std::string commandLine_;
};
