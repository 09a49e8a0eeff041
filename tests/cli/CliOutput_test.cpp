// Log lines on standard output, errors and the progress line on standard
// error, and the log file beside them.
#include "cli/CliOutput.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cli/ProgressMeter.h"
#include "console/core/LogFile.h"
#include "tests/support/Files.h"

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

using Texts = std::vector<std::string>;

Texts LogTexts(const std::string& text) { return test::LogTexts(text, test::LineEnd::Lf); }

TEST_F(CliOutputTest, LogLinesAndDumpsGoToStandardOutputErrorsToStandardError) {
  TCliOutput output(out_, err_, false);
  output.LogLine("Port COM1 is open");
  const uint8_t bytes[]{0x01, 0x02, 0x41, 0x42, 0xFF};
  output.LogDump(bytes, 5, "TX", "");
  output.Error("the radio did not answer");
  EXPECT_EQ(LogTexts(Out()), (Texts{"Port COM1 is open", "TX(5) 01 02 41 42 FF   |  ??AB?"}));
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
  EXPECT_EQ(LogTexts(Out()), Texts{"success"});
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
  const test::ScratchDir scratch;
  const std::filesystem::path dir = scratch.Path();
  TCliOutput output(out_, err_, false);
  output.SetLogFile((dir / "run.log").string());
  output.LogLine("one");
  output.LogLine("two");
  const std::string file = test::ReadFile(dir / "run.log");
  EXPECT_EQ(file.size(), 2 * (8 + 2 + 3 + 2));
  EXPECT_EQ(file.substr(8, 7), "  one\r\n");
  EXPECT_EQ(file.substr(23), "  two\r\n");

  EXPECT_THROW(output.SetLogFile((dir / "missing" / "x.log").string()), EFileError);
}

}  // namespace
}  // namespace kestrune::cli
