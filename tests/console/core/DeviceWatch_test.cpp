// Waiting for a device path to appear, and the hint for a refused one.
#include "console/core/DeviceWatch.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "console/core/PermissionHint.h"
#include "tests/support/Files.h"
#include "tests/support/Wait.h"

namespace kestrune {
namespace {

namespace fs = std::filesystem;

// Waits on the descriptor as the window does; true once TakeEvents says so.
bool WaitUntilPresent(DeviceWatch& watch) {
  const auto deadline = std::chrono::steady_clock::now() + test::kPatience;
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd ready{watch.Descriptor(), POLLIN, 0};
    if (poll(&ready, 1, static_cast<int>(test::kPatience.count())) <= 0) return false;
    if (watch.TakeEvents()) return true;
  }
  return false;
}

// Nothing pending: the descriptor stays quiet (no wait involved).
bool Quiet(const DeviceWatch& watch) {
  pollfd ready{watch.Descriptor(), POLLIN, 0};
  return poll(&ready, 1, 0) == 0;
}

TEST(DeviceWatch, ALinkIsFoundWhenItAndTheFoldersAboveItAppear) {
  const test::ScratchDir scratch;
  std::ofstream(scratch.Path() / "tty") << "";
  const fs::path link = scratch.Path() / "serial" / "by-id" / "usb-Radio-if00";
  DeviceWatch watch(link.string());
  ASSERT_GE(watch.Descriptor(), 0);
  EXPECT_TRUE(Quiet(watch));

  // Another name in a watched folder is no reason to look.
  std::ofstream(scratch.Path() / "other") << "";
  EXPECT_FALSE(watch.TakeEvents());

  fs::create_directories(link.parent_path());
  fs::create_symlink(scratch.Path() / "tty", link);
  EXPECT_TRUE(WaitUntilPresent(watch));

  // Gone and back again, by a rename as the simulator makes its link.
  fs::remove(link);
  EXPECT_FALSE(watch.TakeEvents());
  fs::create_symlink(scratch.Path() / "tty", link.string() + ".new");
  fs::rename(link.string() + ".new", link);
  EXPECT_TRUE(WaitUntilPresent(watch));
}

// A change of the node's permissions is a reason to look again; so is its
// return, and a node that left and came back between two looks is seen to
// have gone, so the window treats it as a new return.
TEST(DeviceWatch, TellsAChangedNodeFromOneThatLeftAndCameBack) {
  const test::ScratchDir scratch;
  const fs::path node = scratch.Path() / "ttyUSB0";
  std::ofstream(node) << "";
  DeviceWatch watch(node.string());
  ASSERT_GE(watch.Descriptor(), 0);

  fs::permissions(node, fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_TRUE(watch.TakeEvents());
  EXPECT_FALSE(watch.WentAway());

  fs::remove(node);
  std::ofstream(node) << "";
  EXPECT_TRUE(watch.TakeEvents());
  EXPECT_TRUE(watch.WentAway());

  fs::remove(node);
  EXPECT_FALSE(watch.TakeEvents());
  EXPECT_TRUE(watch.WentAway());
  EXPECT_TRUE(Quiet(watch));
}

TEST(PermissionHint, TheHintNamesTheGroupAndWhatToDo) {
  GroupAccess access{"/dev/ttyUSB0", "dialout", false, false};
  EXPECT_EQ(
      PermissionHintText(access),
      "/dev/ttyUSB0 belongs to group dialout: run  sudo usermod -aG dialout $USER  and log in "
      "again");
  access.UserInGroup = true;
  EXPECT_EQ(PermissionHintText(access),
            "You are in group dialout, which may open /dev/ttyUSB0, but this session started "
            "before you joined it: log out and log in again");

  EXPECT_TRUE(PermissionRefused(EACCES));
  EXPECT_TRUE(PermissionRefused(EPERM));
  EXPECT_FALSE(PermissionRefused(ENOENT));
  EXPECT_FALSE(PermissionHint("/nonexistent/ttyUSB9", EACCES).has_value());
  EXPECT_FALSE(PermissionHint("/dev/null", EBUSY).has_value());
}

// The group comes from the node's owner; this process has its own group.
TEST(PermissionHint, TheFactsComeFromTheNodeAndTheAccount) {
  const test::ScratchDir scratch;
  const std::string node = scratch.File("ttyUSB0");
  std::ofstream(node) << "";
  struct stat info {};
  ASSERT_EQ(stat(node.c_str(), &info), 0);
  const group* owner = getgrgid(info.st_gid);
  ASSERT_NE(owner, nullptr);
  const std::optional<GroupAccess> access = FindGroupAccess(node);
  ASSERT_TRUE(access.has_value());
  EXPECT_EQ(access->Group, owner->gr_name);
  EXPECT_EQ(access->Device, node);
  EXPECT_TRUE(access->SessionInGroup);
  const std::optional<std::string> hint = PermissionHint(node, EACCES);
  ASSERT_TRUE(hint.has_value());
  EXPECT_NE(hint->find(owner->gr_name), std::string::npos) << *hint;
}

}  // namespace
}  // namespace kestrune
