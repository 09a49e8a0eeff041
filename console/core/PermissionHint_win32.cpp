// The Windows half of PermissionHint.h: device access there is not a matter
// of groups, so there is no hint to give.
#include "console/core/PermissionHint.h"

namespace kestrune {

// Access denied there also means "held by another program".
bool PermissionRefused(int) { return false; }

std::optional<GroupAccess> FindGroupAccess(const std::string&) { return std::nullopt; }

std::optional<std::string> PermissionHint(const std::string&, int) { return std::nullopt; }

}  // namespace kestrune
