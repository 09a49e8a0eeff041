// The run's log file: the first line makes the folder, every line ends in
// CR LF and is appended, and a place that cannot hold the file is reported.
#include "console/core/LogFile.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/Files.h"

namespace kestrune {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::ScratchDir;

std::string AppendError(const std::string& path, const std::string& line) {
  try {
    AppendLogFileLine(path, line);
  } catch (const EFileError& e) {
    return e.what();
  }
  return "(appended)";
}

TEST(LogFile, TheFirstLineMakesTheFoldersAndEveryLineIsAppendedWithCrLf) {
  ScratchDir scratch;
  const std::string path = (scratch.Path() / "state" / "logs" / "run.log").string();
  AppendLogFileLine(path, "Port COM1 is open");
  AppendLogFileLine(path, "Port closed");
  EXPECT_EQ(ReadFile(path), "Port COM1 is open\r\nPort closed\r\n");

  // A folder removed while the program runs is made again by the next line.
  fs::remove_all(scratch.Path() / "state");
  AppendLogFileLine(path, "again");
  EXPECT_EQ(ReadFile(path), "again\r\n");
}

TEST(LogFile, APlainFileWhereTheFolderGoesIsReportedAndKept) {
  ScratchDir scratch;
  scratch.Write("logs", "not a folder");
  const std::string path = (scratch.Path() / "logs" / "run.log").string();
  const std::string error = AppendError(path, "lost");
  EXPECT_TRUE(error.rfind("Cannot open file \"" + path + "\". ", 0) == 0 ||
              error.rfind("Cannot create file \"" + path + "\". ", 0) == 0)
      << error;
  EXPECT_EQ(scratch.Read("logs"), "not a folder");
}

TEST(LogFile, TheCheckBeforeARunCreatesAnEmptyFileOrSaysWhyNot) {
  ScratchDir scratch;
  const std::string path = scratch.File("run.log");
  CheckLogFileOpens(path);
  EXPECT_TRUE(fs::is_regular_file(path));
  EXPECT_EQ(ReadFile(path), "");

  fs::create_directory(scratch.Path() / "taken.log");
  const std::string taken = scratch.File("taken.log");
  try {
    CheckLogFileOpens(taken);
    FAIL() << "a folder was opened as the log file";
  } catch (const EFileError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("Cannot open file \"" + taken + "\". ", 0), 0u)
        << e.what();
  }
}

}  // namespace
}  // namespace kestrune
