#include "ui/uninstall_dialog.h"

#include "ui/res/resource.h"

UninstallDialog::UninstallDialog(CDialog* parent) : CDialog(IDD_UNINSTALL, parent) {}
