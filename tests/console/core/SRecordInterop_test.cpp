// S-record files checked against an independent tool, srec_cat (Debian's
// srecord package): it must accept every file we write, checksums included,
// and we must read the files it writes.
#include "console/core/MemoryImage.h"

#include <gtest/gtest.h>

#include "tests/support/Files.h"
#include "tests/support/Frames.h"

#include <unistd.h>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <sstream>

namespace kestrune {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using test::RandomBytes;

std::optional<fs::path> FindOnPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::istringstream dirs(path ? path : "");
  for (std::string dir; std::getline(dirs, dir, ':');) {
    const fs::path candidate = fs::path(dir.empty() ? "." : dir) / program;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return std::nullopt;
}

class SRecordInterop : public ::testing::Test {
 protected:
  void SetUp() override {
    srecCat_ = FindOnPath("srec_cat");
    if (!srecCat_) GTEST_SKIP() << "srec_cat (Debian package srecord) is not installed";
  }

  // Runs srec_cat with args; returns its exit status, its messages in errors.
  int SrecCat(const std::string& args, std::string& errors) {
    const fs::path messages = dir_ / "stderr.txt";
    const std::string command =
        srecCat_->string() + " " + args + " 2>" + messages.string() + " >/dev/null";
    const int status = std::system(command.c_str());
    errors = test::ReadFile(messages);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // Writes image as S-records, converts the file to binary with srec_cat and
  // checks that every byte comes back at its address.
  void ExpectSrecCatReadsBack(const Bytes& image, uint32_t base) {
    const fs::path s19 = dir_ / "image.s19";
    const fs::path bin = dir_ / "out.bin";
    test::WriteFile(s19, SaveSRecords(image, base));
    std::string errors;
    ASSERT_EQ(SrecCat(s19.string() + " -o " + bin.string() + " -binary", errors), 0) << errors;
    // Our files carry no S0 header, which srec_cat merely remarks on.
    EXPECT_EQ(errors.find("checksum"), std::string::npos) << errors;
    EXPECT_EQ(errors.find("error"), std::string::npos) << errors;

    const std::string out = test::ReadFile(bin);
    ASSERT_EQ(out.size(), base + image.size());
    EXPECT_TRUE(std::all_of(out.begin(), out.begin() + base, [](char c) { return c == 0; }));
    EXPECT_EQ(Bytes(out.begin() + base, out.end()), image);
  }

  std::optional<fs::path> srecCat_;
  test::ScratchDir scratch_;
  const fs::path dir_ = scratch_.Path();
};

TEST_F(SRecordInterop, SrecCatAcceptsS1Files) {
  ExpectSrecCatReadsBack(RandomBytes(1000, 1), 0x0100);
  ExpectSrecCatReadsBack(RandomBytes(0x35, 2), 0xFFCB);  // ends exactly at 0xFFFF
}

TEST_F(SRecordInterop, SrecCatAcceptsS2Files) {
  const std::string s2 = SaveSRecords(RandomBytes(0x100, 3), 0xFF80);
  ASSERT_TRUE(s2.starts_with("S2")) << "an image crossing 0xFFFF is written as S2";
  ExpectSrecCatReadsBack(RandomBytes(0x100, 3), 0xFF80);
  ExpectSrecCatReadsBack(RandomBytes(3000, 4), 0xFFC00);  // a 20-bit flash area
}

TEST_F(SRecordInterop, ReadsFilesSrecCatWrites) {
  for (const uint32_t base : {0x0200u, 0xFFF0u, 0x80000u}) {
    const Bytes image = RandomBytes(777, base);
    const fs::path bin = dir_ / "in.bin";
    const fs::path s19 = dir_ / "tool.s19";
    test::WriteFile(bin, std::string(image.begin(), image.end()));
    std::string errors;
    ASSERT_EQ(SrecCat(bin.string() + " -binary -offset " + std::to_string(base) + " -o " +
                          s19.string() + " -motorola",
                      errors),
              0)
        << errors;
    const std::string text = test::ReadFile(s19);
    ASSERT_TRUE(text.starts_with("S0")) << "srec_cat writes a header record";

    const LoadedImage loaded = LoadSRecords(text);
    EXPECT_FALSE(loaded.error);
    EXPECT_EQ(loaded.base, base);
    EXPECT_EQ(loaded.length, image.size());
    EXPECT_EQ(Bytes(loaded.image.begin() + base, loaded.image.end()), image);
  }
}

}  // namespace
}  // namespace kestrune
