// Log lines on standard output, errors and the progress line on standard
// error, and the log file beside them.
#include "cli/CliOutput.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/ProgressMeter.h"
#include "console/core/LogFile.h"

namespace kestrune::cli {
namespace {

// Two in-memory streams standing in for standard output and error.
class CliOutputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    out_ = open_memstream(&outText_, &outSize_);
    err_ = open_memstream(&errText_, &errSize_);
  }
  void TearDown() override {
    std::fclose(out_);
    std::fclose(err_);
    std::free(outText_);
    std::free(errText_);
  }
  std::string Out() {
    std::fflush(out_);
    return {outText_, outSize_};
  }
  std::string Err() {
    std::fflush(err_);
    return {errText_, errSize_};
  }

  std::FILE* out_ = nullptr;
  std::FILE* err_ = nullptr;
  char* outText_ = nullptr;
  char* errText_ = nullptr;
  size_t outSize_ = 0;
  size_t errSize_ = 0;
};

// "hh:nn:ss  " stripped from every line.
std::string WithoutTimes(const std::string& text) {
  std::istringstream lines(text);
  std::string result;
  for (std::string line; std::getline(lines, line);) {
    EXPECT_GE(line.size(), 10u);
    EXPECT_EQ(line[2], ':');
    EXPECT_EQ(line[5], ':');
    EXPECT_EQ(line.substr(8, 2), "  ");
    result += line.substr(10) + "\n";
  }
  return result;
}

TEST_F(CliOutputTest, LogLinesAndDumpsGoToStandardOutputErrorsToStandardError) {
  TCliOutput output(out_, err_, false);
  output.LogLine("Port COM1 is open");
  const uint8_t bytes[]{0x01, 0x02, 0x41, 0x42, 0xFF};
  output.LogDump(bytes, 5, "TX", "");
  output.Error("the radio did not answer");
  EXPECT_EQ(WithoutTimes(Out()), "Port COM1 is open\nTX(5) 01 02 41 42 FF   |  ??AB?\n");
  EXPECT_EQ(Err(), "kestrune-cli: the radio did not answer\n");
}

TEST_F(CliOutputTest, NoProgressLineWhereStandardErrorIsNoTerminal) {
  TCliOutput output(out_, err_, false);
  EXPECT_FALSE(output.ShowsProgress());
  {
    TProgressMeter meter(output, 100);
    meter.Update(50);
    meter.Update(100);
  }
  output.LogLine("success");
  EXPECT_EQ(Err(), "");
  EXPECT_EQ(WithoutTimes(Out()), "success\n");
}

TEST_F(CliOutputTest, OnATerminalTheProgressLineMakesRoomForEveryOtherLine) {
  TCliOutput output(out_, err_, true);
  output.Progress("[##..]");
  output.Error("oops");
  output.EndProgress();
  output.Error("after");
  // Drawn, erased for the error, drawn again, erased at the end; the
  // error after the end leaves the line alone.
  EXPECT_EQ(Err(), "\r\033[K[##..]\r\033[Kkestrune-cli: oops\n[##..]\r\033[Kkestrune-cli: after\n");

  TProgressMeter meter(output, 2868);
  meter.Update(2868);  // the last byte is always drawn
  EXPECT_NE(Err().find("2.8 KiB of 2.8 KiB"), std::string::npos) << Err();
}

TEST_F(CliOutputTest, TheLogFileGetsEveryLineWithCrLfAndAnUnwritableOneIsRefused) {
  char pattern[] = "/tmp/kestrune-cli-output-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::filesystem::path dir = pattern;
  TCliOutput output(out_, err_, false);
  output.SetLogFile((dir / "run.log").string());
  output.LogLine("one");
  output.LogLine("two");
  std::ifstream in(dir / "run.log", std::ios::binary);
  std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(file.size(), 2 * (8 + 2 + 3 + 2));
  EXPECT_EQ(file.substr(8, 7), "  one\r\n");
  EXPECT_EQ(file.substr(23), "  two\r\n");

  EXPECT_THROW(output.SetLogFile((dir / "missing" / "x.log").string()), EFileError);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace kestrune::cli
