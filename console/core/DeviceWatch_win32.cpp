// The Windows half of DeviceWatch.h: nothing is watched; the operator
// presses Apply once the adapter is back.
#include "console/core/DeviceWatch.h"

namespace kestrune {

DeviceWatch::DeviceWatch(std::string path) : path_(std::move(path)) {}

DeviceWatch::~DeviceWatch() = default;

void DeviceWatch::WatchNearestFolder() {}

bool DeviceWatch::TakeEvents() { return false; }

}  // namespace kestrune
