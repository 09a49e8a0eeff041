// The POSIX half of FilePlaces.h: the program's folder and the permission test.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <vector>

#include "console/core/FilePlaces.h"

namespace kestrune {

std::string ExecutableDir() {
  std::error_code error;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return "./";
  return exe.parent_path().string() + "/";
}

namespace {

bool InGroup(gid_t gid) {
  if (gid == getegid()) return true;
  const int count = getgroups(0, nullptr);
  if (count <= 0) return false;
  std::vector<gid_t> groups(static_cast<size_t>(count));
  const int got = getgroups(count, groups.data());
  for (int i = 0; i < got; ++i)
    if (groups[static_cast<size_t>(i)] == gid) return true;
  return false;
}

}  // namespace

bool WritableByUser(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return false;
  if (st.st_uid == geteuid()) return (st.st_mode & S_IWUSR) != 0;
  if (InGroup(st.st_gid)) return (st.st_mode & S_IWGRP) != 0;
  return (st.st_mode & S_IWOTH) != 0;
}

}  // namespace kestrune
