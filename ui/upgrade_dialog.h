// The upgrade job's dialog: waits for an adapter and upgrades its driver.
#pragma once

#include "device/device_list.h"
#include "platform/framework/framework.h"

class UpgradeDialog : public CDialog {
public:
    explicit UpgradeDialog(CDialog* parent = nullptr);

    DeviceList m_deviceList;
};
