#include "serial/SerialDevices.h"

#include <cctype>
#include <mutex>

#include "serial/ComPortBackend.h"

namespace kestrune {
namespace {

std::mutex& MapLock() {
  static std::mutex lock;
  return lock;
}

std::map<std::string, std::string>& DeviceMap() {
  static std::map<std::string, std::string> map;
  return map;
}

}  // namespace

// Windows does not care about the case of "COM", and neither do we.
int ComPortNumber(const std::string& name) {
  if (name.size() < 4 || name.size() > 6) return 0;
  for (size_t i = 0; i < 3; ++i) {
    if (std::toupper(static_cast<unsigned char>(name[i])) != "COM"[i]) return 0;
  }
  int number = 0;
  for (size_t i = 3; i < name.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(name[i]))) return 0;
    number = number * 10 + (name[i] - '0');
  }
  return number > 0 ? number : 0;
}

std::string ComDeviceFileName(const std::string& name) {
  return ComPortNumber(name) > 0 ? "\\\\.\\" + name : name;
}

std::string TrimSystemMessage(std::string message) {
  while (!message.empty() &&
         (static_cast<unsigned char>(message.back()) <= 32 || message.back() == '.')) {
    message.pop_back();
  }
  return message;
}

void SetSerialDeviceMap(std::map<std::string, std::string> map) {
  std::lock_guard<std::mutex> guard(MapLock());
  DeviceMap() = std::move(map);
}

std::string ResolveSerialDevice(const std::string& name) {
  if (name.find('/') != std::string::npos) return name;
  {
    std::lock_guard<std::mutex> guard(MapLock());
    auto entry = DeviceMap().find(name);
    if (entry != DeviceMap().end() && !entry->second.empty()) return entry->second;
  }
  const int number = ComPortNumber(name);
  if (number > 0) return "/dev/ttyS" + std::to_string(number - 1);
  return name;
}

}  // namespace kestrune
