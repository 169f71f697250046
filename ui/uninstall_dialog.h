// The uninstall job's dialog: shows the installed adapter and removes it on
// request.
#pragma once

#include "device/device_list.h"
#include "platform/framework/framework.h"

class UninstallDialog : public CDialog {
public:
    explicit UninstallDialog(CDialog* parent = nullptr);

    DeviceList m_deviceList;
};
