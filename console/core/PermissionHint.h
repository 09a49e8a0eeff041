// The line added after a refused open (EACCES, EPERM) of a serial device:
// which group may open it and how the operator joins that group.
#pragma once

#include <optional>
#include <string>

namespace kestrune {

// What the system says about the device and the user.
struct GroupAccess {
  std::string Device;
  std::string Group;            // the group that owns the device node
  bool UserInGroup = false;     // the account is a member (the group database)
  bool SessionInGroup = false;  // this process has the group (it may predate the membership)
};

// True for the system codes of a refused permission (EACCES, EPERM).
bool PermissionRefused(int code);

std::string PermissionHintText(const GroupAccess& access);

// The facts for a device path; nothing when its group cannot be found
// (POSIX: stat, getgrgid, getgrouplist, getgroups; Windows: never).
std::optional<GroupAccess> FindGroupAccess(const std::string& device);

// The hint for a failed open with that system code; nothing when the code
// is not PermissionRefused, or the facts cannot be found.
std::optional<std::string> PermissionHint(const std::string& device, int code);

}  // namespace kestrune
