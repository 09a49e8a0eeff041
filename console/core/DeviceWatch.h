// Waiting, without polling, for a device path to come back: an unplugged
// USB adapter's /dev/ttyUSB0, its /dev/serial/by-id/... link, or the
// simulator's link. The folder that holds the path is watched (inotify on
// Linux); while that folder is gone too (by-id disappears with the last USB
// serial adapter) its nearest existing ancestor is watched instead.
//
// The owner waits on Descriptor() in its event loop (a QSocketNotifier) and
// calls TakeEvents() each time it is readable. Nothing runs in between.
//
// The Windows half watches nothing: Descriptor() is -1 there.
#pragma once

#include <string>
#include <vector>

namespace kestrune {

class DeviceWatch {
 public:
  explicit DeviceWatch(std::string path);
  ~DeviceWatch();
  DeviceWatch(const DeviceWatch&) = delete;
  DeviceWatch& operator=(const DeviceWatch&) = delete;

  const std::string& Path() const { return path_; }
  // Readable while events are pending; -1 when nothing can be watched.
  int Descriptor() const { return fd_; }
  // Reads the pending events and follows the path down as its folders
  // appear. True when one of them concerns the path itself and the path is
  // there now (created, moved in, its permissions changed).
  bool TakeEvents();
  // Whether those events took the path away (deleted, moved off, its folder
  // gone), even when it is back by now: a device that left and returned.
  bool WentAway() const { return wentAway_; }

 private:
  void WatchNearestFolder();

  std::string path_;
  int fd_ = -1;
  int watch_ = -1;
  std::string watchedFolder_;
  bool wentAway_ = false;
};

}  // namespace kestrune
