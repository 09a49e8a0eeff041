// The Linux half of SerialPorts.h: /dev, sysfs and /proc/locks under a root.
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "console/core/SerialPorts.h"

namespace kestrune {
namespace {

namespace fs = std::filesystem;

std::string FirstLine(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
  return line;
}

bool HasPrefix(const std::string& name, const char* prefix) { return name.rfind(prefix, 0) == 0; }

// A ttyS that the kernel reserved but found no UART for has type 0.
bool RealUart(const fs::path& root, const std::string& name) {
  const std::string type = FirstLine(root / "sys/class/tty" / name / "type");
  return !type.empty() && type != "0";
}

// The USB device above the tty's interface: the first folder up the sysfs
// path that has an idVendor.
void ReadUsbFacts(const fs::path& root, SerialPortInfo& port) {
  const std::string name = fs::path(port.Node).filename().string();
  std::error_code error;
  fs::path at = fs::canonical(root / "sys/class/tty" / name / "device", error);
  if (error) return;
  const fs::path sys = fs::canonical(root / "sys", error);
  for (; !error && at.has_relative_path() && at != sys; at = at.parent_path()) {
    if (!fs::exists(at / "idVendor")) continue;
    port.Vendor = FirstLine(at / "manufacturer");
    if (port.Vendor.empty()) port.Vendor = FirstLine(at / "idVendor");
    port.Product = FirstLine(at / "product");
    if (port.Product.empty()) port.Product = FirstLine(at / "idProduct");
    port.Serial = FirstLine(at / "serial");
    return;
  }
}

// "major:minor:inode" of every held lock, as /proc/locks writes them.
std::set<std::string> HeldLocks(const fs::path& root) {
  std::set<std::string> held;
  std::ifstream in(root / "proc/locks");
  for (std::string line; std::getline(in, line);) {
    std::istringstream fields(line);
    std::string number, kind, mode, access, pid, id;
    if (fields >> number >> kind) {
      if (kind == "->") fields >> kind;  // a waiter
      if (fields >> mode >> access >> pid >> id) held.insert(id);
    }
  }
  return held;
}

std::string LockId(const struct stat& node) {
  char id[64];
  std::snprintf(id, sizeof id, "%02x:%02x:%llu", major(node.st_dev), minor(node.st_dev),
                static_cast<unsigned long long>(node.st_ino));
  return id;
}

SerialPortInfo Describe(const fs::path& root, const fs::path& node, const std::string& path,
                        const std::set<std::string>& locks) {
  SerialPortInfo port;
  port.Path = path;
  port.Node = "/" + node.lexically_relative(root).string();
  port.CanOpen = access(node.c_str(), R_OK | W_OK) == 0;
  struct stat info {};
  port.Locked = stat(node.c_str(), &info) == 0 && locks.count(LockId(info)) != 0;
  ReadUsbFacts(root, port);
  return port;
}

}  // namespace

std::vector<SerialPortInfo> ListSerialPorts(const std::string& rootFolder) {
  std::error_code error;
  const fs::path root = fs::canonical(rootFolder, error);
  if (error) return {};
  const std::set<std::string> locks = HeldLocks(root);
  std::vector<SerialPortInfo> ports;
  std::set<fs::path> named;  // nodes that have a by-id link

  std::vector<fs::path> links;
  for (const auto& entry : fs::directory_iterator(root / "dev/serial/by-id", error))
    links.push_back(entry.path());
  std::sort(links.begin(), links.end());
  for (const fs::path& link : links) {
    const fs::path node = fs::weakly_canonical(link, error);
    if (error || !fs::exists(node)) continue;
    named.insert(node);
    ports.push_back(Describe(root, node, "/dev/serial/by-id/" + link.filename().string(), locks));
  }

  std::vector<fs::path> nodes;
  for (const auto& entry : fs::directory_iterator(root / "dev", error)) {
    const std::string name = entry.path().filename().string();
    if (HasPrefix(name, "ttyUSB") || HasPrefix(name, "ttyACM") ||
        (HasPrefix(name, "ttyS") && RealUart(root, name)))
      nodes.push_back(entry.path());
  }
  std::sort(nodes.begin(), nodes.end());
  for (const fs::path& node : nodes) {
    if (named.count(node)) continue;
    ports.push_back(Describe(root, node, "/" + node.lexically_relative(root).string(), locks));
  }
  return ports;
}

}  // namespace kestrune
