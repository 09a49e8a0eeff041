// Where the settings and logs go: portable beside a program folder the user
// may write, XDG places otherwise, KESTRUNE_SETTINGS above both, defaults
// from a read-only settings.ini, and the log folder made by the first line.
#include "console/core/FilePlaces.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "console/core/LogFile.h"
#include "tests/support/Files.h"

namespace kestrune {
namespace {

namespace fs = std::filesystem;
using test::ScratchDir;

struct FilePlacesTest : ::testing::Test {
  ScratchDir scratch;
  std::string program = scratch.File("bin");
  std::string home = scratch.File("home");
  TEnvironment environment{{"HOME", home}};

  FilePlacesTest() { fs::create_directories(program); }
  // Read-only by its bits, also for root.
  void LockProgramFolder() const { chmod(program.c_str(), 0555); }
};

TEST_F(FilePlacesTest, WritableProgramFolderKeepsEverythingBesideTheProgram) {
  const TFilePlaces places = LocateFiles(program, environment);
  EXPECT_TRUE(places.Portable);
  EXPECT_EQ(places.SettingsFile, program + "/settings.ini");
  EXPECT_EQ(places.LogDir, program + "/logs/");
  EXPECT_EQ(places.BackupDir, program + "/backups/");
  EXPECT_EQ(places.ReadFile(), places.SettingsFile);
}

TEST_F(FilePlacesTest, ReadOnlyProgramFolderUsesXdgPlacesAndTheirDefaults) {
  LockProgramFolder();
  TFilePlaces places = LocateFiles(program, environment);
  EXPECT_FALSE(places.Portable);
  EXPECT_EQ(places.SettingsFile, home + "/.config/kestrune/settings.ini");
  EXPECT_EQ(places.LogDir, home + "/.local/state/kestrune/logs/");

  TEnvironment xdg = environment;
  xdg["XDG_CONFIG_HOME"] = scratch.File("config");
  xdg["XDG_STATE_HOME"] = scratch.File("state");
  places = LocateFiles(program, xdg);
  EXPECT_EQ(places.SettingsFile, scratch.File("config") + "/kestrune/settings.ini");
  EXPECT_EQ(places.LogDir, scratch.File("state") + "/kestrune/logs/");
  EXPECT_EQ(places.BackupDir, scratch.File("state") + "/kestrune/backups/");

  // A relative XDG value is not a place.
  xdg["XDG_CONFIG_HOME"] = "config";
  EXPECT_EQ(LocateFiles(program, xdg).SettingsFile, home + "/.config/kestrune/settings.ini");
}

TEST_F(FilePlacesTest, WritableSettingsFileInReadOnlyFolderStaysPortable) {
  test::WriteFile(program + "/settings.ini", "[port]\nBaud=4800\n");
  LockProgramFolder();
  EXPECT_TRUE(LocateFiles(program, environment).Portable);

  // Read-only too: the system-wide defaults, read until the user's own file exists.
  chmod((program + "/settings.ini").c_str(), 0444);
  const TFilePlaces places = LocateFiles(program, environment);
  EXPECT_FALSE(places.Portable);
  EXPECT_EQ(places.ReadFile(), program + "/settings.ini");

  PrepareSettingsFile(places);
  EXPECT_EQ(test::ReadFile(places.SettingsFile), "[port]\nBaud=4800\n");
  EXPECT_EQ(test::ModeOf(places.SettingsFile) & 0200, 0200u);  // the user's to write
  EXPECT_EQ(places.ReadFile(), places.SettingsFile);

  // An existing file of the user's is never overwritten by the defaults.
  test::WriteFile(places.SettingsFile, "[port]\nBaud=19200\n");
  PrepareSettingsFile(places);
  EXPECT_EQ(test::ReadFile(places.SettingsFile), "[port]\nBaud=19200\n");
}

TEST_F(FilePlacesTest, KestruneSettingsNamesTheFileInEitherMode) {
  environment["KESTRUNE_SETTINGS"] = scratch.File("mine.ini");
  EXPECT_EQ(LocateFiles(program, environment).SettingsFile, scratch.File("mine.ini"));
  test::WriteFile(program + "/settings.ini", "[port]\n");
  chmod((program + "/settings.ini").c_str(), 0444);
  LockProgramFolder();
  const TFilePlaces places = LocateFiles(program, environment);
  EXPECT_EQ(places.ReadFile(), scratch.File("mine.ini"));  // no defaults under a chosen file
  EXPECT_EQ(places.LogDir, home + "/.local/state/kestrune/logs/");
}

TEST_F(FilePlacesTest, InstalledTreeIsNeverWrittenEvenWhenItsBitsAllow) {
  fs::create_directories(scratch.Path() / "share/doc/kestrune");
  EXPECT_FALSE(LocateFiles(program, environment).Portable);
}

TEST_F(FilePlacesTest, LogFolderIsMadeByTheFirstLine) {
  const TFilePlaces places = LocateFiles(program, environment);
  EXPECT_FALSE(fs::exists(places.LogDir));
  AppendLogFileLine(places.LogDir + "run.log", "Port closed");
  EXPECT_EQ(test::ReadFile(places.LogDir + "run.log"), "Port closed\r\n");
}

}  // namespace
}  // namespace kestrune
