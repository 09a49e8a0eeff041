// read and write against the simulated radio, with S-record files made and
// checked by an independent tool (srec_cat).
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>
#include <cstdlib>

#include <algorithm>
#include <chrono>
#include <fstream>

#include "CliTestKit.h"
#include "console/core/MemoryImage.h"
#include "tests/support/Frames.h"
#include "tests/support/PtyPair.h"
#include "tests/support/SrecCat.h"

namespace kestrune::test {
namespace {

using Bytes = std::vector<uint8_t>;
using Texts = std::vector<std::string>;

void WriteBytes(const fs::path& path, const Bytes& bytes) {
  WriteFile(path, std::string(bytes.begin(), bytes.end()));
}

Bytes ReadBytes(const fs::path& path) {
  const std::string text = ReadFile(path);
  return {text.begin(), text.end()};
}

// An EEPROM whose "eeprom default" range is core 0B00 + bonus 0035 bytes.
Bytes EepromImage() {
  Bytes eeprom = RandomBytes(0x4000, 7);
  eeprom[0x0002] = 0x0B;
  eeprom[0x0003] = 0x00;
  eeprom[0x02A6] = 0x00;
  eeprom[0x02A7] = 0x35;
  return eeprom;
}

TEST(CliRead, EepromDefaultToSRecordsGivesTheRadiosEeprom) {
  const ScratchDir scratch;
  const fs::path image = scratch.File("eeprom.bin");
  const Bytes eeprom = EepromImage();
  WriteBytes(image, eeprom);
  TCliBench bench({"--eeprom", image.string()});

  const TCliRun run = bench.Run({"read", "eeprom-default", "-o", "x.s19"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");  // no progress line where standard error is a file
  const Texts texts = LogTexts(run.out);
  EXPECT_NE(std::find(texts.begin(), texts.end(), "core len 0B00"), texts.end());
  EXPECT_NE(std::find(texts.begin(), texts.end(), "bonus len 0035"), texts.end());
  EXPECT_EQ(std::count_if(texts.begin(), texts.end(),
                          [](const std::string& t) { return t.starts_with("reading at "); }),
            45);
  ASSERT_TRUE(SrecCat(bench.Dir(), "x.s19 -o x.bin -binary"));
  EXPECT_EQ(ReadBytes(bench.Dir() / "x.bin"), Bytes(eeprom.begin(), eeprom.begin() + 0xB35));
  EXPECT_TRUE(bench.WaitForTrace("MEMORY ACCESS: close"));

  // Any other name is a raw image of the range asked for.
  const TCliRun raw =
      bench.Run({"read", "eeprom", "--base", "100", "--length", "10", "-o", "y.img"});
  EXPECT_EQ(raw.status, 0) << raw.err;
  EXPECT_EQ(ReadBytes(bench.Dir() / "y.img"),
            Bytes(eeprom.begin() + 0x100, eeprom.begin() + 0x110));
}

// Everything programs write to the terminal until the last of them has
// closed it.
std::string ReadToEnd(const PtyPair& terminal) {
  std::string text;
  const auto deadline = std::chrono::steady_clock::now() + kProgramPatience;
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd pfd{terminal.MasterFd(), POLLIN, 0};
    if (poll(&pfd, 1, 1000) != 1) continue;
    char chunk[512];
    const ssize_t n = read(terminal.MasterFd(), chunk, sizeof chunk);
    if (n <= 0) break;  // EIO: the terminal's last user is gone
    text.append(chunk, static_cast<size_t>(n));
  }
  return text;
}

TEST(CliRead, OnATerminalStandardErrorShowsBytesRateAndTimeLeft) {
  TCliBench bench;
  PtyPair terminal;
  Process cli({KESTRUNE_CLI_PROGRAM, "--device", bench.Link().string(), "read", "eeprom",
               "--length", "200", "-o", "t.bin"},
              ProcessIo{bench.Dir(), {}, bench.Out(), terminal.SlavePath(), {}});
  const std::string shown = ReadToEnd(terminal);
  EXPECT_EQ(cli.Wait(), 0);
  EXPECT_TRUE(Contains(shown, "[........................]  0 B of 512 B  -- B/s  --:-- left"))
      << shown;
  EXPECT_TRUE(Contains(shown, "[########################]  512 B of 512 B  ")) << shown;
  EXPECT_TRUE(Contains(shown, " B/s  0:00 left")) << shown;
  EXPECT_TRUE(shown.ends_with("\r\033[K")) << shown;          // the line is gone at the end
  EXPECT_FALSE(Contains(ReadFile(bench.Out()), "of 512 B"));  // standard output has log lines only
}

TEST(CliWrite, AnSrecCatImageIsWrittenAndVerifiedAndAWrongByteIsNamed) {
  TCliBench bench;
  WriteBytes(bench.Dir() / "y.bin", RandomBytes(300, 11));
  ASSERT_TRUE(SrecCat(bench.Dir(), "y.bin -binary -offset 0x0100 -o y.s19"));

  const TCliRun run = bench.Run({"write", "flash1", "y.s19", "--verify"});
  EXPECT_EQ(run.status, 0) << run.err;
  const Texts texts = LogTexts(run.out);
  EXPECT_NE(std::find(texts.begin(), texts.end(), "success"), texts.end());
  EXPECT_NE(
      std::find(texts.begin(), texts.end(), "verified: 12C bytes from 100 are as in the file"),
      texts.end());
  EXPECT_TRUE(bench.WaitForTrace("Write_Data_Request: 32 bytes at flash 1 00100"));

  // A radio that stores the byte at 0x0123 wrong: status 1, the address named.
  bench.RestartSimulator({"--corrupt-write", "0123"});
  const Bytes bytes = ReadBytes(bench.Dir() / "y.bin");
  const TCliRun bad = bench.Run({"write", "flash1", "y.s19", "--verify"});
  EXPECT_EQ(bad.status, 1);
  char expected[128];
  std::snprintf(expected, sizeof expected,
                "kestrune-cli: verify: the radio holds %02X at 123 where the file has %02X (first "
                "difference); 1 byte differs",
                bytes[0x23] ^ 0xFF, bytes[0x23]);
  EXPECT_TRUE(Contains(bad.err, expected)) << bad.err;
}

TEST(CliCompare, EqualImagesExit0AndDifferingOnesListTheirRangesExit1AndWriteNothing) {
  TCliBench bench;
  const Bytes data = RandomBytes(0x100, 13);
  WriteBytes(bench.Dir() / "y.bin", data);
  ASSERT_TRUE(SrecCat(bench.Dir(), "y.bin -binary -offset 0x0100 -o y.s19"));
  ASSERT_EQ(bench.Run({"write", "flash1", "y.s19"}).status, 0);

  const TCliRun same = bench.Run({"compare", "flash1", "y.s19"});
  EXPECT_EQ(same.status, 0) << same.err;
  Texts texts = LogTexts(same.out);
  EXPECT_NE(std::find(texts.begin(), texts.end(), "equal: the radio holds the file's 256 bytes"),
            texts.end());

  Bytes changed = data;
  for (size_t i = 0x10; i < 0x20; ++i) changed[i] ^= 0x01;
  changed[0x80] ^= 0x80;
  WriteBytes(bench.Dir() / "z.bin", changed);
  ASSERT_TRUE(SrecCat(bench.Dir(), "z.bin -binary -offset 0x0100 -o z.s19"));
  const TCliRun differ = bench.Run({"compare", "flash1", "z.s19"});
  EXPECT_EQ(differ.status, 1) << differ.err;
  texts = LogTexts(differ.out);
  const auto listed = std::find(texts.begin(), texts.end(), "0110..011F  16 bytes");
  ASSERT_NE(listed, texts.end()) << differ.out;
  EXPECT_EQ(Texts(listed, listed + 3), (Texts{"0110..011F  16 bytes", "0180..0180  1 byte",
                                              "differ: 17 of 256 bytes in 2 ranges"}));

  // Nothing was written: the radio still holds the first file.
  EXPECT_EQ(bench.Run({"compare", "flash1", "y.s19"}).status, 0);
}

TEST(CliWrite, ChangedOnlyWritesTheDifferingChunksAndNothingForAnEqualFile) {
  TCliBench bench;
  const Bytes data = RandomBytes(0x100, 17);
  WriteBytes(bench.Dir() / "y.bin", data);
  ASSERT_TRUE(SrecCat(bench.Dir(), "y.bin -binary -offset 0x0100 -o y.s19"));
  ASSERT_EQ(bench.Run({"write", "flash1", "y.s19"}).status, 0);

  const TCliRun same = bench.Run({"write", "flash1", "y.s19", "--changed-only"});
  EXPECT_EQ(same.status, 0) << same.err;
  Texts texts = LogTexts(same.out);
  EXPECT_NE(
      std::find(texts.begin(), texts.end(), "the radio already holds the file: nothing written"),
      texts.end());
  EXPECT_EQ(std::count_if(texts.begin(), texts.end(),
                          [](const std::string& t) { return t.starts_with("writing at "); }),
            0);

  Bytes changed = data;  // 3 bytes in 2 places: chunks 120 and 1E0
  changed[0x21] ^= 1;
  changed[0x22] ^= 1;
  changed[0xE5] ^= 1;
  WriteBytes(bench.Dir() / "z.bin", changed);
  ASSERT_TRUE(SrecCat(bench.Dir(), "z.bin -binary -offset 0x0100 -o z.s19"));
  const TCliRun run = bench.Run({"write", "flash1", "z.s19", "--changed-only", "--verify"});
  EXPECT_EQ(run.status, 0) << run.err;
  texts = LogTexts(run.out);
  Texts writes;
  std::copy_if(texts.begin(), texts.end(), std::back_inserter(writes),
               [](const std::string& t) { return t.starts_with("writing at "); });
  EXPECT_EQ(writes, (Texts{"writing at 120", "writing at 1E0"}));
  EXPECT_NE(std::find(texts.begin(), texts.end(), "2 chunks differ from the radio and are written"),
            texts.end());
  EXPECT_EQ(bench.Run({"compare", "flash1", "z.s19"}).status, 0);
}

// The files in the folder, by name.
std::vector<fs::path> FilesIn(const fs::path& dir) {
  std::vector<fs::path> files;
  if (fs::exists(dir))
    for (const auto& entry : fs::directory_iterator(dir)) files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

// Before a write the range is saved as the radio holds it: srec_cat reads
// the backup as the image written before; the same read picks the chunks.
TEST(CliWrite, ABackupHoldsTheRadiosPreviousContentAndNoBackupMakesNone) {
  TCliBench bench;
  const Bytes data = RandomBytes(0x100, 29);
  WriteBytes(bench.Dir() / "y.bin", data);
  ASSERT_TRUE(SrecCat(bench.Dir(), "y.bin -binary -offset 0x0100 -o y.s19"));
  ASSERT_EQ(bench.Run({"write", "flash1", "y.s19", "--no-backup"}).status, 0);
  EXPECT_FALSE(fs::exists(bench.BackupDir()));

  Bytes changed = data;
  changed[0x10] ^= 0x80;
  changed[0xF0] ^= 0x81;
  changed[0xF1] ^= 0x82;
  WriteBytes(bench.Dir() / "z.bin", changed);
  ASSERT_TRUE(SrecCat(bench.Dir(), "z.bin -binary -offset 0x0100 -o z.s19"));
  const TCliRun run = bench.Run({"write", "flash1", "z.s19", "--changed-only", "--verify"});
  EXPECT_EQ(run.status, 0) << run.err;
  const auto backups = FilesIn(bench.BackupDir());
  ASSERT_EQ(backups.size(), 1u);
  const std::string name = backups[0].filename().string();
  EXPECT_TRUE(name.starts_with("flash1-100-100-")) << name;
  const Texts texts = LogTexts(run.out);
  EXPECT_NE(std::find(texts.begin(), texts.end(),
                      "backup: " + backups[0].string() +
                          " holds the radio's 100 bytes from 100 before the write"),
            texts.end());
  ASSERT_TRUE(SrecCat(bench.Dir(), "backups/" + name + " -offset -0x100 -o before.bin -binary"));
  EXPECT_EQ(ReadBytes(bench.Dir() / "before.bin"), data);
  Texts writes;
  std::copy_if(texts.begin(), texts.end(), std::back_inserter(writes),
               [](const std::string& t) { return t.starts_with("writing at "); });
  EXPECT_EQ(writes, (Texts{"writing at 100", "writing at 1E0"}));
}

// A backup folder that cannot take the file stops the write: nothing is
// written, the exit status says so.
TEST(CliWrite, ABackupFolderThatCannotBeWrittenStopsTheWriteBeforeAnyWrite) {
  TCliBench bench;
  WriteBytes(bench.Dir() / "y.bin", RandomBytes(0x40, 31));
  ASSERT_TRUE(SrecCat(bench.Dir(), "y.bin -binary -offset 0x0200 -o y.s19"));
  fs::create_directory(bench.Dir() / "locked");
  fs::permissions(bench.Dir() / "locked",
                  fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  const TCliRun run = bench.Run({"write", "flash1", "y.s19", "--backup-dir", "locked"});
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(Contains(run.err, "kestrune-cli: the write failed: the backup could not be saved ("))
      << run.err;
  EXPECT_TRUE(Contains(run.err, "no write permission); nothing was written")) << run.err;
  EXPECT_FALSE(Contains(run.out, "writing at ")) << run.out;
  EXPECT_FALSE(Contains(bench.Trace(), "Write_Data_Request")) << bench.Trace();
  EXPECT_TRUE(FilesIn(bench.Dir() / "locked").empty());
}

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

TEST(CliWrite, ADamagedFileWritesNothingAndASparseOneOnlyItsRanges) {
  TCliBench bench;
  ASSERT_EQ(bench.Run({"read", "eeprom", "--length", "B00", "-o", "before.bin"}).status, 0);
  const Bytes before = ReadBytes(bench.Dir() / "before.bin");

  // One sound record, then a damaged one: nothing at all reaches the radio.
  const std::string first = SaveSRecords(RandomBytes(32, 21), 0);
  const std::string second = SaveSRecords(RandomBytes(32, 22), 0x20);
  const std::string sound = first.substr(0, first.find('\n') + 1);
  std::string badSum = second.substr(0, second.find('\r'));
  badSum.back() = badSum.back() == '0' ? '1' : '0';
  std::ofstream(bench.Dir() / "badsum.s19") << sound << badSum << "\r\nS9030000FC";
  std::ofstream(bench.Dir() / "cut.s19") << sound << second.substr(0, 40) << "\r\nS9030000FC";
  for (const auto& [file, reason] : {std::pair{"badsum.s19", "line 2: bad checksum"},
                                     std::pair{"cut.s19", "line 2: the record is cut off"}}) {
    const TCliRun run = bench.Run({"write", "eeprom", file, "--verify"});
    EXPECT_EQ(run.status, 2) << file;
    EXPECT_TRUE(Contains(run.err, std::string("kestrune-cli: write: ") + file + ": " + reason))
        << run.err;
  }
  EXPECT_FALSE(Contains(bench.Trace(), "Write_Data_Request"));

  // Records at 0000 and 0A00: two requests of 4 bytes, the gap untouched.
  const Bytes low = RandomBytes(4, 23);
  const Bytes high = RandomBytes(4, 24);
  std::ofstream(bench.Dir() / "sparse.bin")
      << SaveSRecords(low, 0).substr(0, 20) << SaveSRecords(high, 0xA00);
  const TCliRun sparse =
      bench.Run({"write", "eeprom", "sparse.bin", "--format", "srec", "--verify"});
  EXPECT_EQ(sparse.status, 0) << sparse.err;
  const Texts texts = LogTexts(sparse.out);
  EXPECT_NE(std::find(texts.begin(), texts.end(), "verified: 8 bytes from 0 are as in the file"),
            texts.end());
  ASSERT_TRUE(bench.WaitForTrace("Write_Data_Request: 4 bytes at eeprom 00A00"));
  EXPECT_EQ(Count(bench.Trace(), "Write_Data_Request"), 2u) << bench.Trace();
  EXPECT_TRUE(Contains(bench.Trace(), "Write_Data_Request: 4 bytes at eeprom 00000"));

  ASSERT_EQ(bench.Run({"read", "eeprom", "--length", "B00", "-o", "after.bin"}).status, 0);
  Bytes expected = before;
  std::copy(low.begin(), low.end(), expected.begin());
  std::copy(high.begin(), high.end(), expected.begin() + 0xA00);
  EXPECT_EQ(ReadBytes(bench.Dir() / "after.bin"), expected);
}

TEST(CliRead, SigintStopsAReadAfterItsChunkClosesMemoryAccessAndSavesNothing) {
  TCliBench bench;
  auto cli = bench.Start({"read", "flash2", "--length", "10000", "-o", "z.bin"});
  ASSERT_TRUE(WaitForText(bench.Out(), "reading at 40"));
  cli->Signal(SIGINT);
  EXPECT_EQ(cli->Wait(), 130);
  EXPECT_TRUE(bench.WaitForTrace("MEMORY ACCESS: close, mode 3"));
  const Texts texts = LogTexts(ReadFile(bench.Out()));
  ASSERT_GE(texts.size(), 3u);
  EXPECT_TRUE(texts[texts.size() - 3].starts_with("read stopped at ")) << texts[texts.size() - 3];
  EXPECT_EQ(texts[texts.size() - 2], "leaving SBEP mode");
  EXPECT_EQ(texts.back(), "Port closed");
  EXPECT_EQ(ReadFile(bench.Err()),
            "kestrune-cli: stopping after the step in progress (a second SIGINT stops at once)\n"
            "kestrune-cli: stopped by SIGINT\n");
  EXPECT_FALSE(fs::exists(bench.Dir() / "z.bin"));
}

TEST(CliWrite, SigtermStopsAWriteAndSaysTheMemoryIsPartlyWritten) {
  TCliBench bench;
  WriteBytes(bench.Dir() / "big.bin", RandomBytes(0x400, 13));
  auto cli = bench.Start({"write", "direct", "big.bin"});
  ASSERT_TRUE(WaitForText(bench.Out(), "writing at 20\n", kProgramPatience));
  cli->Signal(SIGTERM);
  EXPECT_EQ(cli->Wait(), 143);
  EXPECT_TRUE(bench.WaitForTrace("MEMORY ACCESS: close, mode 1"));
  const std::string err = ReadFile(bench.Err());
  EXPECT_TRUE(Contains(err,
                       "kestrune-cli: the write was stopped: the radio's memory is partly "
                       "written ("))
      << err;
  // The backup read came first; the line names the file that holds what the
  // radio held before.
  EXPECT_TRUE(Contains(err, " of 1024 bytes); its previous content is in " +
                                (bench.BackupDir() / "direct-0-400-").string()))
      << err;
  EXPECT_TRUE(Contains(err, ".s19\nkestrune-cli: stopped by SIGTERM\n")) << err;
}

TEST(CliRead, ARadioThatRefusesSbepFailsTheReadWithStatus1) {
  TCliBench bench({"--refuse-ack", "all"});
  const TCliRun run = bench.Run({"read", "eeprom", "--length", "10", "-o", "n.bin"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "kestrune-cli: the read failed; nothing was saved\n");
  EXPECT_FALSE(fs::exists(bench.Dir() / "n.bin"));
  EXPECT_TRUE(bench.WaitForTrace("MEMORY ACCESS: close"));
}

TEST(CliMemoryUsage, BadDevicesRangesAndFilesExit2BeforeAnythingIsSent) {
  TCliBench bench;
  std::ofstream(bench.Dir() / "empty.s19") << "S0030000FC\r\nS9030000FC";
  std::ofstream(bench.Dir() / "bad.s19") << "S1G1000000\r\n";
  std::ofstream(bench.Dir() / "empty.bin");
  std::ofstream(bench.Dir() / "far.s19") << "S20510000001E9\r\n";  // 01 at 0x100000
  std::ofstream(bench.Dir() / "srec.bin") << SaveSRecords(RandomBytes(4, 6), 0);
  WriteBytes(bench.Dir() / "raw.s19", RandomBytes(64, 8));
  // A backup the operator made read-only, and a folder nobody may write.
  const std::string backup = SaveSRecords(RandomBytes(0x100, 5), 0);
  std::ofstream(bench.Dir() / "backup.s19") << backup;
  fs::permissions(bench.Dir() / "backup.s19", fs::perms::owner_read | fs::perms::group_read);
  fs::create_directory(bench.Dir() / "locked");
  fs::permissions(bench.Dir() / "locked", fs::perms::owner_read | fs::perms::owner_exec);
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
      {{"read", "flash3", "-o", "x.bin"},
       "read: 'flash3' is no memory device; DEVICE is one of "
       "eeprom-default, eeprom, flash1, flash2, direct"},
      {{"read", "-o", "x.bin"}, "read: which memory?"},
      {{"read", "eeprom", "x", "-o", "y"}, "read: one DEVICE, please; the file goes after -o"},
      {{"read", "eeprom", "-o", "x.bin"}, "read: eeprom needs --length HEX"},
      {{"read", "eeprom-default", "--length", "10", "-o", "x.bin"},
       "read: eeprom-default takes its range from the radio"},
      {{"read", "flash1", "--base", "FFFF0", "--length", "100", "-o", "x.bin"},
       "read: memory range refused: base FFFF0 length 100 lies outside the addresses 0 to FFFFF"},
      {{"read", "flash1", "--base", "FFFFFFFF", "--length", "1", "-o", "x.bin"},
       "read: memory range refused"},
      {{"read", "flash1", "--length", "zz", "-o", "x.bin"},
       "read: the length 'zz' is not a hexadecimal number"},
      {{"read", "eeprom-default"}, "read: -o FILE is missing"},
      {{"read", "eeprom-default", "-o", "no-folder/x.bin"},
       "read: Cannot save to no-folder/x.bin: No such file or directory"},
      {{"read", "eeprom", "--length", "0", "-o", "backup.s19"},
       "read: a length of 0 reads nothing; nothing would be saved"},
      {{"read", "eeprom-default", "-o", "backup.s19"},
       "read: Cannot save to backup.s19: no write permission"},
      {{"read", "eeprom-default", "-o", "locked/x.bin"},
       "read: Cannot save to locked/x.bin: no write permission"},
      {{"read", "eeprom-default", "-o", "/dev/null"},
       "read: Cannot save to /dev/null: it is not a regular file"},
      {{"read", "eeprom-default", "-o", "."}, "read: Cannot save to .: it is a folder"},
      {{"read", "eeprom-default", "-o", "x.bin", "-o", "backup.s19"},
       "read: option '-o' is given twice"},
      {{"read", "eeprom-default", "-o", "x.bin", "--output", "y.bin"},
       "read: -o and --output both name the file; give one of them"},
      {{"write", "eeprom"}, "write: FILE is missing"},
      {{"write", "flash1", "a", "b"}, "write: one DEVICE and one FILE, please"},
      {{"write", "flash1", "far.s19"},
       "write: far.s19: line 1: address 100000 lies past the radio's addresses (0 to FFFFF); "
       "nothing written"},
      {{"write", "eeprom", "missing.s19"}, "write: Unable to read missing.s19"},
      {{"write", "eeprom", "empty.s19"}, "write: empty.s19 holds no image"},
      {{"write", "eeprom", "empty.bin"}, "write: empty.bin holds no image"},
      {{"write", "eeprom", "bad.s19"}, "write: bad.s19: line 1: 'G' is not a hex digit"},
      {{"write", "eeprom", "empty.bin", "--fast"}, "write: unknown option '--fast'"},
      {{"write", "eeprom", "empty.bin", "--no-backup", "--backup-dir", "b"},
       "write: --no-backup and --backup-dir contradict each other"},
      {{"write", "eeprom", "srec.bin"},
       "write: srec.bin holds S-record text but is named as a raw image; give --format srec"},
      {{"write", "eeprom", "raw.s19"},
       "write: raw.s19 is named as S-records but holds no S-record text; give --format raw"},
      {{"write", "eeprom", "raw.s19", "--format", "hex"},
       "write: --format takes raw or srec, not 'hex'"},
  };
  for (const auto& [args, message] : cases) {
    const TCliRun run = bench.Run(args);
    EXPECT_EQ(run.status, 2) << message;
    EXPECT_TRUE(Contains(run.err, "kestrune-cli: " + message)) << run.err;
    EXPECT_TRUE(Contains(run.err, "\nTry 'kestrune-cli " + args[0] + " --help'.\n")) << run.err;
  }
  EXPECT_FALSE(Contains(bench.Trace(), "PC>"));
  EXPECT_FALSE(fs::exists(bench.Dir() / "x.bin"));
  EXPECT_EQ(ReadFile(bench.Dir() / "backup.s19"), backup);
  EXPECT_TRUE(fs::is_empty(bench.Dir() / "locked"));
  fs::permissions(bench.Dir() / "locked", fs::perms::owner_all);
}

}  // namespace
}  // namespace kestrune::test
