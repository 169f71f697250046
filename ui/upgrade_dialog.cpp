#include "ui/upgrade_dialog.h"

#include "ui/res/resource.h"

UpgradeDialog::UpgradeDialog(CDialog* parent) : CDialog(IDD_UPGRADE, parent) {}
