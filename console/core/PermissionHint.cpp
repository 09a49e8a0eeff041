#include "console/core/PermissionHint.h"

namespace kestrune {

std::string PermissionHintText(const GroupAccess& access) {
  const std::string& group = access.Group;
  if (access.UserInGroup && !access.SessionInGroup)
    return "You are in group " + group + ", which may open " + access.Device +
           ", but this session started before you joined it: log out and log in again";
  if (access.UserInGroup)
    return access.Device + " belongs to group " + group +
           ", which you are in, yet its permissions do not let the group open it";
  return access.Device + " belongs to group " + group + ": run  sudo usermod -aG " + group +
         " $USER  and log in again";
}

}  // namespace kestrune
