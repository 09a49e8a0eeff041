// Whole files where POSIX has more to keep: permission bits, symbolic links,
// read-only files and folders, and a file another user may not read.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "console/core/TextFile.h"
#include "tests/console/core/WholeFilesTest.h"
#include "tests/support/Files.h"
#include "tests/support/Process.h"

namespace kestrune {
namespace {

namespace fs = std::filesystem;
using test::ModeOf;
using test::ReadFile;
using test::RunAsOrdinaryUser;
using test::WriteFile;

TEST_F(WholeFiles, ANewFileIsMadeWithMode644AndAnOldOneKeepsItsMode) {
  WriteWholeFile(path_, "first");
  EXPECT_EQ(ReadWholeFile(path_), "first");
  EXPECT_EQ(ModeOf(path_), 0644u);

  fs::permissions(path_, fs::perms(0600));
  WriteWholeFile(path_, "second");
  EXPECT_EQ(ReadFile(path_), "second");
  EXPECT_EQ(ModeOf(path_), 0600u);
  EXPECT_EQ(FilesInFolder(), 1);
}

TEST_F(WholeFiles, ASymbolicLinkStaysALinkAndItsTargetIsRewritten) {
  fs::create_directory(folder_.Path() / "real");
  const std::string target = folder_.File("real/settings.ini");
  WriteFile(target, "old");
  fs::permissions(target, fs::perms(0640));
  fs::create_symlink("real/settings.ini", path_);  // relative to the link's folder

  WriteWholeFile(path_, "new");
  EXPECT_TRUE(fs::is_symlink(path_));
  EXPECT_EQ(ReadFile(target), "new");
  EXPECT_EQ(ModeOf(target), 0640u);

  // A link to a file not yet there creates that file.
  const std::string dangling = folder_.File("dangling.ini");
  fs::create_symlink(folder_.File("real/later.ini"), dangling);
  WriteWholeFile(dangling, "made");
  EXPECT_TRUE(fs::is_symlink(dangling));
  EXPECT_EQ(ReadFile(folder_.File("real/later.ini")), "made");
}

TEST_F(WholeFiles, AReadOnlyFileOrFolderIsRefusedEvenForRoot) {
  WriteFile(path_, "kept");
  fs::permissions(path_, fs::perms(0444));
  EXPECT_EQ(WriteError(path_, "lost"), "Unable to write to " + path_);
  EXPECT_EQ(ReadFile(path_), "kept");
  EXPECT_EQ(ModeOf(path_), 0444u);

  fs::permissions(path_, fs::perms(0644));
  fs::permissions(folder_.Path(), fs::perms(0555));
  EXPECT_EQ(WriteError(path_, "lost"), "Unable to write to " + path_);
  fs::permissions(folder_.Path(), fs::perms(0700));
  EXPECT_EQ(ReadFile(path_), "kept");
  EXPECT_EQ(FilesInFolder(), 1);
}

TEST_F(WholeFiles, AFileOthersMayNotReadGivesTheSystemsReason) {
  WriteFile(path_, "secret");
  fs::permissions(path_, fs::perms(0200));
  fs::permissions(folder_.Path(), fs::perms(0755));
  const int result = RunAsOrdinaryUser([&] {
    try {
      ReadWholeFile(path_);
    } catch (const EFileError& e) {
      const bool named = std::string(e.what()) == "Unable to read " + path_ + ": Permission denied";
      return e.Error() == EACCES && named ? 0 : 1;
    }
    return 2;
  });
  EXPECT_EQ(result, 0);
}

}  // namespace
}  // namespace kestrune
