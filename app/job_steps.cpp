#include "app/job_steps.h"

#include "cleanup/shortcuts.h"
#include "cleanup/solvane.h"
#include "cleanup/utility.h"
#include "driver/driver_upgrade.h"
#include "driver/install_sources.h"
#include "driver/protocol_service.h"
#include "platform/framework/framework.h"

namespace {

INT_PTR ShowModal(CDialog& dialog) { return dialog.DoModal(); }

const JobSteps kDefaultSteps = {
    UpgradeSecurityFiles, UpgradeDrivers,      RemoveSolvaneApplication, ControlSecurityService,
    RemoveUtilityShortcuts, SetInstallSource,  SetUserSourceList,        SetupProtocolDriver,
    StopUtility,          DeleteUtilityDataFiles, ClearDynamicSettings,  ShowModal,
};

}  // namespace

const JobSteps& DefaultJobSteps() { return kDefaultSteps; }
