#include "sim/machine/devices/devices.h"

namespace sim {

void DeviceModel::AddStandardDevices() {}

}  // namespace sim
