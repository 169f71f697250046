#include "ui/install_dialog.h"

#include "ui/res/resource.h"

InstallDialog::InstallDialog(CDialog* parent) : SetupDialog(IDD_INSTALL, parent) {}

std::string InstallDialog::GetHardwareId() const {
    const FoundDevice* device = m_deviceList.FindFirst(0);
    return device ? device->hardwareId : std::string();
}
