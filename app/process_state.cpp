#include "app/process_state.h"

#include "app/product_profile.h"
#include "app/setup_app.h"
#include "app/windows_kind.h"
#include "device/device_uninstaller.h"
#include "driver/install_sources.h"
#include "ui/install_dialog.h"
#include "ui/upgrade_dialog.h"

void ResetProcessState() {
    CurrentWindowsKind = KindUnknown;
    SetDusklineFlag(false);
    SelectProductProfile(kNoProfile);
    theApp.m_bRebootOnExit = 0;
    theApp.UseSteps(DefaultJobSteps());
    ResetSavedInstallSource();
    InstallDialog::s_bDeviceReported = FALSE;
    UpgradeDialog::s_bUpgradeReported = FALSE;
    ResetUninstallerLaunchLog();
}
