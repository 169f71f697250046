// The application object: reads the switches, runs the selected steps in
// their fixed order, shows at most one job dialog, and restarts Windows on
// exit when the install job asked for it.
#pragma once

#include <string>

#include "app/job_steps.h"
#include "platform/framework/framework.h"

class SetupApp : public CWinApp {
public:
    SetupApp();

    // Runs the whole job; always FALSE, so no message loop follows.
    BOOL InitInstance() override;
    // Restarts Windows when m_bRebootOnExit is 1, then the framework's exit.
    int ExitInstance() override;

    // True when the command line holds "-" + word as a whole word.
    bool HasSwitch(std::string word) const;

    // The steps the run sequence calls: the real ones unless others were
    // put in place (by tests of the sequence).
    void UseSteps(const JobSteps& steps) { m_pSteps = &steps; }

    // 1: restart Windows in ExitInstance.
    int m_bRebootOnExit = 0;

private:
    void RunInstallJob();
    void RunUninstallJob();

    const JobSteps* m_pSteps;
};

// The one application object of the process.
extern SetupApp theApp;
