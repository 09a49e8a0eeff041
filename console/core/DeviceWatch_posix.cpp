// The Linux half of DeviceWatch.h: inotify on the nearest existing folder.
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <filesystem>

#include "console/core/DeviceWatch.h"

namespace kestrune {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t kFolderEvents = IN_CREATE | IN_MOVED_TO | IN_ATTRIB | IN_DELETE | IN_MOVED_FROM |
                                   IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

// The first name of `path` below `folder` ("by-id" for /dev/serial/by-id/x
// under /dev/serial), or empty when path is not below folder.
std::string NextName(const fs::path& path, const fs::path& folder) {
  const fs::path rest = path.lexically_relative(folder);
  if (rest.empty() || *rest.begin() == "..") return {};
  return rest.begin()->string();
}

bool Exists(const std::string& path) {
  std::error_code error;
  return fs::exists(path, error);  // a link counts once its target is there
}

}  // namespace

DeviceWatch::DeviceWatch(std::string path) : path_(fs::absolute(path).lexically_normal().string()) {
  fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd_ >= 0) WatchNearestFolder();
}

DeviceWatch::~DeviceWatch() {
  if (fd_ >= 0) close(fd_);
}

void DeviceWatch::WatchNearestFolder() {
  fs::path folder = fs::path(path_).parent_path();
  std::error_code error;
  while (!fs::is_directory(folder, error) && folder.has_relative_path())
    folder = folder.parent_path();
  if (folder.string() == watchedFolder_ && watch_ >= 0) return;
  if (watch_ >= 0) inotify_rm_watch(fd_, watch_);
  watch_ = inotify_add_watch(fd_, folder.c_str(), kFolderEvents);
  watchedFolder_ = watch_ >= 0 ? folder.string() : std::string();
}

bool DeviceWatch::TakeEvents() {
  if (fd_ < 0) return false;
  const std::string wanted = NextName(path_, watchedFolder_);
  bool concerned = false;
  bool folderChanged = false;
  wentAway_ = false;
  alignas(inotify_event) char buffer[16 * (sizeof(inotify_event) + NAME_MAX + 1)];
  for (;;) {
    const ssize_t n = read(fd_, buffer, sizeof buffer);
    if (n <= 0) break;  // EAGAIN: all read
    for (ssize_t at = 0; at < n;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      if (event->wd != watch_) continue;  // a folder watched before
      if (event->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED))
        folderChanged = wentAway_ = true;
      if (event->len > 0 && wanted == event->name) {
        concerned = true;
        if (event->mask & (IN_DELETE | IN_MOVED_FROM)) wentAway_ = true;
      }
    }
  }
  // A folder on the way appeared (or the watched one went): watch the
  // nearest one again, which may already hold the path.
  if (folderChanged || (concerned && fs::path(path_).parent_path() != watchedFolder_)) {
    watch_ = folderChanged ? -1 : watch_;
    WatchNearestFolder();
    concerned = fs::path(path_).parent_path() == watchedFolder_;
  }
  return concerned && Exists(path_);
}

}  // namespace kestrune
