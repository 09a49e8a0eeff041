// The POSIX half of PermissionHint.h.
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "console/core/PermissionHint.h"

namespace kestrune {
namespace {

bool AccountHasGroup(gid_t group) {
  const passwd* user = getpwuid(getuid());
  if (!user) return false;
  int count = 32;
  std::vector<gid_t> groups(static_cast<size_t>(count));
  while (getgrouplist(user->pw_name, user->pw_gid, groups.data(), &count) < 0)
    groups.resize(static_cast<size_t>(count));  // count now says how many there are
  groups.resize(static_cast<size_t>(count));
  return std::find(groups.begin(), groups.end(), group) != groups.end();
}

bool SessionHasGroup(gid_t group) {
  if (getegid() == group) return true;
  const int count = getgroups(0, nullptr);
  if (count <= 0) return false;
  std::vector<gid_t> groups(static_cast<size_t>(count));
  const int got = getgroups(count, groups.data());
  groups.resize(static_cast<size_t>(std::max(got, 0)));
  return std::find(groups.begin(), groups.end(), group) != groups.end();
}

}  // namespace

std::optional<GroupAccess> FindGroupAccess(const std::string& device) {
  struct stat node {};
  if (stat(device.c_str(), &node) != 0) return std::nullopt;
  const group* owner = getgrgid(node.st_gid);
  if (!owner) return std::nullopt;
  GroupAccess access;
  access.Device = device;
  access.Group = owner->gr_name;
  access.UserInGroup = AccountHasGroup(node.st_gid);
  access.SessionInGroup = SessionHasGroup(node.st_gid);
  return access;
}

bool PermissionRefused(int code) { return code == EACCES || code == EPERM; }

std::optional<std::string> PermissionHint(const std::string& device, int code) {
  if (!PermissionRefused(code)) return std::nullopt;
  const std::optional<GroupAccess> access = FindGroupAccess(device);
  if (!access) return std::nullopt;
  return PermissionHintText(*access);
}

}  // namespace kestrune
