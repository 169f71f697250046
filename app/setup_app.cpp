#include "app/setup_app.h"

#include "app/command_line.h"
#include "app/product_profile.h"
#include "app/windows_kind.h"
#include "driver/install_sources.h"
#include "sys/handles.h"
#include "sys/registry_helpers.h"
#include "sys/service_control.h"
#include "ui/install_dialog.h"
#include "ui/uninstall_dialog.h"
#include "ui/upgrade_dialog.h"

SetupApp theApp;

SetupApp::SetupApp() : CWinApp(nullptr), m_pSteps(&DefaultJobSteps()) {}

bool SetupApp::HasSwitch(std::string word) const { return HasSwitchIn(m_lpCmdLine, word); }

BOOL SetupApp::InitInstance() {
    const JobSteps& steps = *m_pSteps;
    EnableControlContainer();
    Enable3dControls();

    InitWindowsKind();
    const int kind = DetectWindowsKind();
    if (!CheckPlatform()) return FALSE;
    m_bRebootOnExit = 0;
    CreateUtilityKey();

    if (HasSwitch("UpgradeFiles") && IsWin9xKind(kind)) steps.UpgradeSecurityFiles();

    if (HasSwitch("Upgrade")) {
        SelectProductProfile(kPciProfile);
        const int upgraded = steps.UpgradeDrivers();
        if (upgraded < 0) {
            AfxMessageBox("Upgrade Device Failed", MB_OK);
        } else if (upgraded == 0 && !IsWin9xKind(kind)) {
            UpgradeDialog dialog;
            m_pMainWnd = &dialog;
            steps.ShowDialog(dialog);
            m_pMainWnd = nullptr;
        }
    }

    if (HasSwitch("UninstallSolvane")) {
        SelectProductProfile(kPciProfile);
        steps.RemoveSolvaneApplication();
    }

    if (HasSwitch("StopService")) {
        SelectProductProfile(kPciProfile);
        steps.ControlSecurityService(ServiceStop, 0, nullptr);
    }

    if (HasSwitch("SvcSetup")) return FALSE;

    bool install = false;
    bool uninstall = false;
    if (HasSwitch("install")) {
        SelectProductProfile(kPciProfile);
        install = true;
    } else if (HasSwitch("installb")) {
        if (HasSwitch("duskline")) SetDusklineFlag(true);
        SelectProductProfile(kPcCardProfile);
        install = true;
    }
    if (HasSwitch("uninstall")) {
        SelectProductProfile(kPciProfile);
        steps.RemoveUtilityShortcuts();
        uninstall = true;
    } else if (HasSwitch("uninstallb")) {
        if (HasSwitch("duskline")) SetDusklineFlag(true);
        SelectProductProfile(kPcCardProfile);
        uninstall = true;
    }

    if (install) {
        RunInstallJob();
    } else if (uninstall) {
        RunUninstallJob();
    }
    return FALSE;
}

void SetupApp::RunInstallJob() {
    const JobSteps& steps = *m_pSteps;
    InstallDialog dialog;
    m_pMainWnd = &dialog;
    steps.SetInstallSource(PointSourceAtPackage);
    steps.SetUserSourceList();
    steps.SetupProtocolDriver();
    if (steps.ShowDialog(dialog) == IDOK) {
        m_bRebootOnExit = dialog.m_bRebootRequested;
        const std::string hardwareId = dialog.GetHardwareId();
        if (!hardwareId.empty()) RegWriteString(hardwareId.c_str(), "HardwareID");
    }
    steps.SetInstallSource(RestoreSource);
    m_pMainWnd = nullptr;
}

void SetupApp::RunUninstallJob() {
    const JobSteps& steps = *m_pSteps;
    UninstallDialog dialog;
    m_pMainWnd = &dialog;
    steps.StopUtility();
    Sleep(100);
    steps.DeleteUtilityDataFiles();
    steps.ShowDialog(dialog);
    steps.ClearDynamicSettings();
    m_pMainWnd = nullptr;
}

int SetupApp::ExitInstance() {
    if (m_bRebootOnExit == 1) {
        // Windows NT restarts only for a process that enabled its shutdown
        // privilege; on Windows 98 SE / Me the token calls fail and the
        // restart is requested all the same.
        UniqueKernelHandle token;
        OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, token.Receive());
        TOKEN_PRIVILEGES privileges = {};
        LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &privileges.Privileges[0].Luid);
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        AdjustTokenPrivileges(token.Get(), FALSE, &privileges, 0, nullptr, nullptr);
        ExitWindowsEx(EWX_REBOOT, 0);
    }
    return CWinApp::ExitInstance();
}
