// The memory transfers as operations: the program's engine against the
// simulated radio in this process, which sees the engine's DTR line. Files
// are cross-checked with an independent tool, srec_cat.
#include "console/ops/MemoryTransfer.h"
#include "console/ops/CheckedWrite.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <random>

#include "console/core/IntConv.h"
#include "console/core/MemoryImage.h"
#include "protocol/PlainEventPump.h"
#include "protocol/SB9600.h"
#include "tests/support/Files.h"
#include "tests/support/Frames.h"
#include "tests/support/InProcessPorts.h"
#include "tests/support/LogRecorder.h"

namespace kestrune {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using sim::MemorySpace;
using sim::SimRadio;
using test::RandomBytes;

using test::LogRecorder;

// The engine's lines and the operation's go to one recorder, in the order
// they came.
size_t CountLogged(const std::string& line) { return LogRecorder::Count(line); }

class MemoryTransferTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Forget();
    engine = std::make_unique<TSb9600>(pump, test::InProcessPorts(radio));
    engine->SetLog(LogRecorder::Line, nullptr, false, false);
    engine->CreatePort("COM1", 9600, 8, 0, 0, false, false);
    ASSERT_TRUE(engine->ComPort()->IsOpen());
  }

  void TearDown() override { engine.reset(); }

  // Starts afresh: no log lines, no frames received.
  void Forget() {
    LogRecorder::Reset();
    radio.WithRadio([](SimRadio& r) { r.ClearFramesReceived(); });
  }

  TOperationContext Context() {
    return {*engine, pump, LogRecorder::Line, [this] { return stop; }};
  }

  std::optional<TMemoryReadResult> Read(int device, TMemoryFields fields = {}) {
    TOperationContext context = Context();
    return ReadMemory(context, {device, [fields] { return fields; }, Progress(), {}});
  }

  bool Write(int device, const Bytes& image, TMemoryFields fields,
             std::vector<AddressRange> ranges = {}) {
    TOperationContext context = Context();
    return WriteMemory(
        context, {device, &image, [fields] { return fields; }, Progress(), std::move(ranges)});
  }

  TMemoryProgress Progress() {
    return [this](uint32_t done, uint32_t total, uint32_t address) {
      progress.push_back({done, total, address});
      if (stopAfter && done >= stopAfter) stop = true;
    };
  }

  // The frames the radio took in; SBEP requests with opcode `opcode` only.
  std::vector<Bytes> Frames() {
    return radio.WithRadio([](SimRadio& r) {
      std::vector<Bytes> frames;
      for (const sim::ReceivedFrame& f : r.FramesReceived()) frames.push_back(f.bytes);
      return frames;
    });
  }
  std::vector<Bytes> Requests(uint8_t opcode) {
    std::vector<Bytes> requests;
    for (const Bytes& f : Frames())
      if (f.size() > 5 && f[1] == opcode) requests.push_back(f);
    return requests;
  }

  Bytes RadioMemory(MemorySpace space, uint32_t address, size_t count) {
    return radio.WithRadio([&](SimRadio& r) {
      const auto bytes = r.Memory(space).subspan(address, count);
      return Bytes(bytes.begin(), bytes.end());
    });
  }

  void SetFaults(const std::function<void(sim::Faults&)>& set) {
    sim::Faults faults;
    set(faults);
    radio.SetFaults(faults);
  }

  // Memory access was opened and closed with the device's mode, SBEP left,
  // and the radio is back in SB9600 mode with memory access closed.
  void ExpectOpenedAndClosed(int device) {
    const uint8_t mode = SelectMemoryDevice(device).Mode;
    const auto frames = Frames();
    ASSERT_GE(frames.size(), 2u);
    EXPECT_EQ(frames.front(), BuildMemoryAccess(true, mode));
    EXPECT_EQ(frames.back(), BuildMemoryAccess(false, mode));
    EXPECT_GE(CountLogged("leaving SBEP mode"), 1u);
    EXPECT_FALSE(engine->SbepMode);
    EXPECT_EQ(radio.WithRadio([](SimRadio& r) { return r.Mode(); }), sim::BusMode::Sb9600);
    EXPECT_FALSE(radio.WithRadio([](SimRadio& r) { return r.MemoryAccess().open; }));
  }

  sim::InProcessRadio radio;  // outlives the engine's port
  PlainEventPump pump;
  std::unique_ptr<TSb9600> engine;
  bool stop = false;
  uint32_t stopAfter = 0;
  struct Step {
    uint32_t done, total, address;
  };
  std::vector<Step> progress;
};

// ---- reads ---------------------------------------------------------------------

TEST_F(MemoryTransferTest, EepromDefaultReadsB35BytesIn45RequestsAfterTheTwoLengthRequests) {
  const auto read = Read(EepromDefault);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->Base, 0u);
  EXPECT_EQ(read->Image, RadioMemory(MemorySpace::Eeprom, 0, 0xB35));

  const auto requests = Requests(0x11);
  ASSERT_EQ(requests.size(), 2u + 45u);
  EXPECT_EQ(requests[0], BuildSbepReadRequest(2, 0x00, 0x0002));
  EXPECT_EQ(requests[1], BuildSbepReadRequest(2, 0x00, 0x02A6));
  EXPECT_EQ(requests[2], BuildSbepReadRequest(64, 0x00, 0));
  EXPECT_EQ(requests.back(), BuildSbepReadRequest(0x35, 0x00, 0xB00));
  EXPECT_EQ(CountLogged("core len 0B00"), 1u);
  EXPECT_EQ(CountLogged("bonus len 0035"), 1u);
  EXPECT_EQ(CountLogged("reading at B00"), 1u);
  ExpectOpenedAndClosed(EepromDefault);

  ASSERT_EQ(progress.size(), 46u);
  EXPECT_EQ(progress.front().done, 0u);
  EXPECT_EQ(progress.back().done, 0xB35u);
  EXPECT_EQ(progress.back().total, 0xB35u);
  EXPECT_EQ(progress.back().address, 0xB35u);
}

TEST_F(MemoryTransferTest, EepromCustomTakesItsDataFromByte7OrByte5) {
  const auto sixteen = Read(EepromCustom, {"100", "10"});
  EXPECT_EQ(Requests(0x11), (std::vector<Bytes>{Bytes{0xF5, 0x11, 0x10, 0x00, 0x01, 0x00, 0xE8}}));
  ASSERT_TRUE(sixteen);
  EXPECT_EQ(sixteen->Base, 0x100u);
  EXPECT_EQ(sixteen->Image, RadioMemory(MemorySpace::Eeprom, 0x100, 0x10));
  ExpectOpenedAndClosed(EepromCustom);

  for (const auto& [text, n] : {std::pair{"E", 14}, std::pair{"3", 3}}) {
    const auto read = Read(EepromCustom, {"100", text});
    ASSERT_TRUE(read) << text;
    EXPECT_EQ(read->Image, RadioMemory(MemorySpace::Eeprom, 0x100, n)) << text;
  }

  // Length 0 would save an empty file over the operator's: refused, nothing sent.
  Forget();
  EXPECT_FALSE(Read(EepromCustom, {"100", "0"}));
  EXPECT_TRUE(Frames().empty());
  EXPECT_EQ(CountLogged("memory read refused: a length of 0 reads nothing"), 1u);
}

TEST_F(MemoryTransferTest, UnusableRepliesAreAskedForAgainAndTheThirdEndsTheRead) {
  SetFaults([](sim::Faults& f) { f.shortReply = 2; });
  const auto retried = Read(EepromCustom, {"100", "20"});
  ASSERT_TRUE(retried);
  EXPECT_EQ(retried->Image, RadioMemory(MemorySpace::Eeprom, 0x100, 0x20));
  EXPECT_EQ(CountLogged("reading at 100"), 3u);

  Forget();
  SetFaults([](sim::Faults& f) { f.shortReply = 3; });
  EXPECT_FALSE(Read(EepromCustom, {"100", "20"}));
  EXPECT_EQ(Requests(0x11).size(), 3u);
  EXPECT_EQ(CountLogged("reading at 100"), 3u);
  EXPECT_EQ(CountLogged("failed GetSbepPktLen at retry 3"), 1u);
  ExpectOpenedAndClosed(EepromCustom);
}

TEST_F(MemoryTransferTest, EepromLengthsComeOnlyFromAcceptedRepliesOfTheRightSize) {
  for (const auto& fault : std::vector<std::function<void(sim::Faults&)>>{
           [](sim::Faults& f) { f.shortReply = 1; },
           [](sim::Faults& f) { f.wrongReplyOpcode = 1; }}) {
    Forget();
    SetFaults(fault);
    EXPECT_FALSE(Read(EepromDefault));
    EXPECT_EQ(Requests(0x11).size(), 1u) << "no range read after a refused length";
    EXPECT_EQ(CountLogged("core len not read: the radio gave no valid answer"), 1u);
    EXPECT_EQ(CountLogged("core len 0B00"), 0u);
    ExpectOpenedAndClosed(EepromDefault);
  }
}

// ---- writes --------------------------------------------------------------------

TEST_F(MemoryTransferTest, AWriteOf41BytesGoesInChunksOf32And32And1) {
  Bytes image(0x100);
  const Bytes data = RandomBytes(0x41, 7);
  image.insert(image.end(), data.begin(), data.end());
  ASSERT_TRUE(Write(Flash1, image, {"100", "41"}));

  const auto requests = Requests(0x17);
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0], BuildSbepWriteRequest(data.data(), 32, 0x40, 0x100));
  EXPECT_EQ(requests[1], BuildSbepWriteRequest(data.data() + 32, 32, 0x40, 0x120));
  EXPECT_EQ(requests[2], BuildSbepWriteRequest(data.data() + 64, 1, 0x40, 0x140));
  const auto lines = LogRecorder::Lines();
  const auto at = std::find(lines.begin(), lines.end(), "writing at 100");
  ASSERT_NE(at, lines.end());
  EXPECT_EQ(
      std::vector<std::string>(at, at + 4),
      (std::vector<std::string>{"writing at 100", "writing at 120", "writing at 140", "success"}));
  EXPECT_EQ(RadioMemory(MemorySpace::Flash1, 0x100, 0x41), data);
  ExpectOpenedAndClosed(Flash1);
}

TEST_F(MemoryTransferTest, ASparseImageWritesOnlyItsRangesInChunksEndingAtTheirEdges) {
  const Bytes before = RadioMemory(MemorySpace::Flash1, 0, 0x200);
  const LoadedImage loaded = LoadSRecords(SaveSRecords(RandomBytes(0x30, 3), 0x10) + "\r\n" +
                                          SaveSRecords(RandomBytes(5, 4), 0x105));
  ASSERT_FALSE(loaded.error) << *loaded.error;
  ASSERT_EQ(loaded.ranges, (std::vector<AddressRange>{{0x10, 0x30}, {0x105, 5}}));
  ASSERT_TRUE(Write(Flash1, loaded.image, {loaded.BaseText(), loaded.LengthText()}, loaded.ranges));

  const uint8_t* image = loaded.image.data();
  EXPECT_EQ(Requests(0x17), (std::vector<Bytes>{
                                BuildSbepWriteRequest(image + 0x10, 32, 0x40, 0x10),
                                BuildSbepWriteRequest(image + 0x30, 16, 0x40, 0x30),
                                BuildSbepWriteRequest(image + 0x105, 5, 0x40, 0x105),
                            }));
  Bytes expected = before;
  std::copy(image + 0x10, image + 0x40, expected.begin() + 0x10);
  std::copy(image + 0x105, image + 0x10A, expected.begin() + 0x105);
  EXPECT_EQ(RadioMemory(MemorySpace::Flash1, 0, 0x200), expected) << "the gap keeps its bytes";
  EXPECT_EQ(progress.back().done, 0x35u);
  EXPECT_EQ(progress.back().total, 0x35u);

  // Read back, the same ranges and nothing between them.
  Forget();
  TOperationContext context = Context();
  const auto back =
      ReadMemory(context, {Flash1,
                           [&] {
                             return TMemoryFields{loaded.BaseText(), loaded.LengthText()};
                           },
                           {},
                           loaded.ranges});
  ASSERT_TRUE(back);
  EXPECT_EQ(Requests(0x11), (std::vector<Bytes>{BuildSbepReadRequest(0x30, 0x40, 0x10),
                                                BuildSbepReadRequest(5, 0x40, 0x105)}));
  EXPECT_EQ(Bytes(back->Image.begin() + 0xF5, back->Image.end()),
            Bytes(image + 0x105, image + 0x10A));
}

// The radio acknowledges the write but keeps one byte wrong: the read-back
// comparison names that byte, and only the file's range is read.
TEST_F(MemoryTransferTest, AByteTheRadioKeepsWrongIsFoundByReadingTheWrittenRangeBack) {
  Bytes image(0x180);
  const Bytes data = RandomBytes(0x80, 21);
  image.insert(image.end(), data.begin(), data.end());
  SetFaults([](sim::Faults& f) { f.corruptWriteAddress = 0x1A3; });
  const TMemoryFields fields{"180", "80"};
  ASSERT_TRUE(Write(Flash1, image, fields));

  Forget();
  TOperationContext context = Context();
  const auto comparison =
      CompareMemory(context, {Flash1, &image, [&] { return fields; }, Progress(), {}});
  ASSERT_TRUE(comparison);
  EXPECT_EQ(comparison->Differences, (std::vector<AddressRange>{{0x1A3, 1}}));
  EXPECT_EQ(comparison->FirstRadio, static_cast<uint8_t>(data[0x23] ^ 0xFF));
  EXPECT_EQ(comparison->FirstFile, data[0x23]);
  EXPECT_EQ(Requests(0x11), (std::vector<Bytes>{BuildSbepReadRequest(64, 0x40, 0x180),
                                                BuildSbepReadRequest(64, 0x40, 0x1C0)}));
  EXPECT_TRUE(Requests(0x17).empty()) << "a comparison writes nothing";
  ExpectOpenedAndClosed(Flash1);
}

TEST_F(MemoryTransferTest, AWriteReplyWithAnotherOpcodeThan84IsAFailure) {
  const Bytes image = RandomBytes(0x20, 8);
  SetFaults([](sim::Faults& f) { f.wrongReplyOpcode = 2; });
  EXPECT_TRUE(Write(EepromCustom, image, {"0", "20"}));
  EXPECT_EQ(CountLogged("writing at 0"), 3u);

  Forget();
  SetFaults([](sim::Faults& f) { f.wrongReplyOpcode = sim::kEveryTime; });
  EXPECT_FALSE(Write(EepromCustom, image, {"0", "20"}));
  EXPECT_EQ(CountLogged("writing at 0"), 3u);
  EXPECT_EQ(CountLogged("failed GetSbepPktLen at retry 3"), 1u);
  EXPECT_EQ(CountLogged("success"), 0u);
  ExpectOpenedAndClosed(EepromCustom);
}

// ---- every way a transfer ends -------------------------------------------------

TEST_F(MemoryTransferTest, AConversionErrorEndsTheReadAfterTheOpeningWithTheClosing) {
  try {
    Read(Flash1, {"100", "zz"});
    FAIL() << "the length is no number";
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "''$zz'' is not a valid integer value");
  }
  EXPECT_TRUE(Requests(0x11).empty());
  EXPECT_EQ(CountLogged("SBEP mode: success"), 1u);
  ExpectOpenedAndClosed(Flash1);
}

TEST_F(MemoryTransferTest, AFailedOpeningRunsTheClosingAndReadsNothing) {
  SetFaults([](sim::Faults& f) { f.refuseAck = sim::kEveryTime; });
  EXPECT_FALSE(Read(EepromCustom, {"0", "10"}));
  EXPECT_EQ(CountLogged("SBEP mode: error"), 1u);
  EXPECT_TRUE(Requests(0x11).empty());
  ExpectOpenedAndClosed(EepromCustom);
}

TEST_F(MemoryTransferTest, ARangeOutsideThe20BitAddressesIsRefusedBeforeAnythingIsSent) {
  for (const TMemoryFields& fields :
       {TMemoryFields{"FFFFFFFF", "10"}, TMemoryFields{"F0000", "10001"},
        TMemoryFields{"0", "FFFFFFFF"}}) {
    EXPECT_FALSE(Read(Flash1, fields)) << fields.Base << " " << fields.Length;
    const Bytes image(0x10);
    EXPECT_FALSE(Write(Flash1, image, fields)) << fields.Base << " " << fields.Length;
  }
  EXPECT_EQ(CountLogged("memory range refused: base F0000 length 10001 lies outside the "
                        "addresses 0 to FFFFF"),
            2u);
  // Nor a range that passes the end of the image to be written.
  EXPECT_FALSE(Write(Flash1, Bytes(0x20), {"10", "11"}));
  EXPECT_TRUE(Frames().empty());
}

TEST_F(MemoryTransferTest, AStopRequestEndsATransferAfterItsCurrentChunk) {
  stopAfter = 0x40;
  EXPECT_FALSE(Read(EepromCustom, {"100", "100"}));
  EXPECT_EQ(Requests(0x11).size(), 1u);
  EXPECT_EQ(CountLogged("read stopped at 140: nothing saved"), 1u);
  ExpectOpenedAndClosed(EepromCustom);

  Forget();
  stop = false;
  stopAfter = 0x20;
  const Bytes image(0x100);
  EXPECT_FALSE(Write(EepromCustom, image, {"0", "100"}));
  EXPECT_EQ(Requests(0x17).size(), 1u);
  EXPECT_EQ(CountLogged("write stopped at 20: the radio's memory is partly written"), 1u);
  EXPECT_EQ(CountLogged("success"), 0u);
  ExpectOpenedAndClosed(EepromCustom);
}

// ---- files cross-checked with srec_cat -------------------------------------------

class MemoryFilesTest : public MemoryTransferTest {
 protected:
  void SetUp() override {
    if (std::system("srec_cat --version >/dev/null 2>&1") != 0)
      GTEST_SKIP() << "srec_cat (Debian package srecord) is not installed";
    MemoryTransferTest::SetUp();
  }
  static int SrecCat(const std::string& args) {
    return std::system(("srec_cat " + args + " 2>/dev/null").c_str());
  }

  test::ScratchDir scratch;
  const fs::path dir = scratch.Path();
};

TEST_F(MemoryFilesTest, AReadSavedAsSRecordsConvertsWithSrecCatToTheRadiosMemory) {
  const auto read = Read(EepromCustom, {"0", "240"});
  ASSERT_TRUE(read);
  test::WriteFile(dir / "file.s19", SaveSRecords(read->Image, read->Base));
  ASSERT_EQ(SrecCat((dir / "file.s19").string() + " -o " + (dir / "out.bin").string() + " -binary"),
            0);
  const std::string out = test::ReadFile(dir / "out.bin");
  EXPECT_EQ(Bytes(out.begin(), out.end()), RadioMemory(MemorySpace::Eeprom, 0, 0x240));
}

TEST_F(MemoryFilesTest, AnSRecordFileMadeBySrecCatIsWrittenAndReadsBackEqual) {
  const Bytes data = RandomBytes(0x90, 9);
  test::WriteFile(dir / "random.bin", std::string(data.begin(), data.end()));
  ASSERT_EQ(SrecCat((dir / "random.bin").string() + " -binary -offset 0x0100 -o " +
                    (dir / "random.s19").string() + " -motorola"),
            0);
  const LoadedImage loaded = LoadSRecords(test::ReadFile(dir / "random.s19"));
  ASSERT_FALSE(loaded.error);
  ASSERT_EQ(loaded.BaseText(), "100");
  ASSERT_EQ(loaded.LengthText(), "90");

  ASSERT_TRUE(Write(Flash2, loaded.image, {loaded.BaseText(), loaded.LengthText()}));
  EXPECT_EQ(Requests(0x17).front(), BuildSbepWriteRequest(data.data(), 32, 0x50, 0x100));
  const auto back = Read(Flash2, {"100", "90"});
  ASSERT_TRUE(back);
  EXPECT_EQ(back->Image, data);
  EXPECT_EQ(RadioMemory(MemorySpace::Flash2, 0x100, data.size()), data);
}

// A changed-only write sends the one chunk that differs and reads only that
// chunk back; a byte the radio keeps wrong there fails the write's check.
TEST_F(MemoryTransferTest, AChangedOnlyWriteSendsAndChecksOnlyTheChunkThatDiffers) {
  Bytes image(0x180);
  const Bytes data = RandomBytes(0x80, 23);
  image.insert(image.end(), data.begin(), data.end());
  const TMemoryFields fields{"180", "80"};
  ASSERT_TRUE(Write(Flash1, image, fields));
  image[0x1A3] ^= 0x55;
  SetFaults([](sim::Faults& f) { f.corruptWriteAddress = 0x1A3; });

  Forget();
  TOperationContext context = Context();
  const TCheckedWriteResult result = WriteMemoryChecked(
      context, {Flash1, &image, [&] { return fields; }, Progress(), {}}, {true, true, {}});
  EXPECT_EQ(result.End, TCheckedWriteEnd::VerifyDiffers);
  ASSERT_TRUE(result.Verification);
  EXPECT_EQ(result.Verification->Differences, (std::vector<AddressRange>{{0x1A3, 1}}));
  EXPECT_EQ(result.BytesWritten, 32u);
  EXPECT_EQ(Requests(0x17).size(), 1u);
  EXPECT_EQ(Requests(0x11).back(), BuildSbepReadRequest(32, 0x40, 0x1A0));
}

// ---- backups ---------------------------------------------------------------------

TEST(BackupFileNameTest, NamesTheDeviceTheRangeInHexAndTheTimeToTheSecond) {
  std::tm when{};
  when.tm_year = 2026 - 1900;
  when.tm_mon = 11;
  when.tm_mday = 10;
  when.tm_hour = 9;
  when.tm_min = 5;
  when.tm_sec = 7;
  EXPECT_EQ(BackupFileName(EepromDefault, 0, 0xB35, when), "eeprom-0-B35-20261210_090507.s19");
  EXPECT_EQ(BackupFileName(Flash2, 0x10000, 0x800, when), "flash2-10000-800-20261210_090507.s19");
  EXPECT_EQ(BackupFileName(Direct, 0xFF, 1, when), "direct-FF-1-20261210_090507.s19");
}

class BackupTest : public MemoryTransferTest {
 protected:
  // The file's image: the radio's EEPROM over 0..B35 with 3 bytes changed
  // in 2 places, 0x105 and 0x9F0..0x9F1.
  void SetUp() override {
    MemoryTransferTest::SetUp();
    before = RadioMemory(MemorySpace::Eeprom, 0, 0xB35);
    image = before;
    image[0x105] ^= 0xFF;
    image[0x9F0] ^= 0x0F;
    image[0x9F1] ^= 0xF0;
    Forget();
  }

  TCheckedWriteResult WriteWithBackup(bool changedOnly, bool verify) {
    TOperationContext context = Context();
    return WriteMemoryChecked(context,
                              {EepromCustom, &image, [] { return fields; }, Progress(), {}},
                              {changedOnly, verify, folder.File("backups")});
  }

  std::vector<fs::path> Backups() const {
    std::vector<fs::path> files;
    if (fs::exists(folder.Path() / "backups"))
      for (const auto& entry : fs::directory_iterator(folder.Path() / "backups"))
        files.push_back(entry.path());
    return files;
  }

  static inline const TMemoryFields fields{"0", "B35"};
  test::ScratchDir folder;
  Bytes before;
  Bytes image;
};

// The backup is the radio's content before the write, and the same read
// tells which chunks differ: only those two are written and read back.
TEST_F(BackupTest, ABackupHoldsTheRadiosContentAndItsReadPicksTheChunksToWrite) {
  const TCheckedWriteResult result = WriteWithBackup(true, true);
  EXPECT_EQ(result.End, TCheckedWriteEnd::Written);

  const auto backups = Backups();
  ASSERT_EQ(backups.size(), 1u);
  EXPECT_EQ(result.BackupFile, backups[0].string());
  EXPECT_TRUE(backups[0].filename().string().starts_with("eeprom-0-B35-"));
  const LoadedImage saved = LoadSRecords(test::ReadFile(backups[0]));
  ASSERT_FALSE(saved.error);
  EXPECT_EQ(saved.ranges, (std::vector<AddressRange>{{0, 0xB35}}));
  EXPECT_EQ(Bytes(saved.image.begin(), saved.image.begin() + 0xB35), before);
  EXPECT_EQ(CountLogged("backup: " + result.BackupFile +
                        " holds the radio's B35 bytes from 0 before the write"),
            1u);

  const auto writes = Requests(0x17);
  ASSERT_EQ(writes.size(), 2u);
  EXPECT_EQ(writes[0], BuildSbepWriteRequest(image.data() + 0x100, 32, 0x00, 0x100));
  EXPECT_EQ(writes[1], BuildSbepWriteRequest(image.data() + 0x9E0, 32, 0x00, 0x9E0));
  EXPECT_EQ(CountLogged("2 chunks differ from the radio and are written"), 1u);
  EXPECT_EQ(RadioMemory(MemorySpace::Eeprom, 0, 0xB35), image);
  // One read of the range (45 requests), then the two chunks read back.
  EXPECT_EQ(Requests(0x11).size(), 45u + 2u);
}

// Two backups of one range in one second keep both files.
TEST_F(BackupTest, ASecondBackupInTheSameSecondDoesNotReplaceTheFirst) {
  image = before;  // nothing to write, but a backup all the same
  EXPECT_EQ(WriteWithBackup(true, false).End, TCheckedWriteEnd::NothingToWrite);
  EXPECT_EQ(WriteWithBackup(true, false).End, TCheckedWriteEnd::NothingToWrite);
  EXPECT_GE(Backups().size(), 2u);
  EXPECT_TRUE(Requests(0x17).empty());
}

// A folder the backup cannot go to is found before the read: nothing at all
// is sent, and the radio keeps its memory.
TEST_F(BackupTest, AFolderThatCannotTakeTheBackupEndsTheWriteBeforeAnythingIsSent) {
  fs::create_directory(folder.Path() / "backups");
  fs::permissions(folder.Path() / "backups",
                  fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  const TCheckedWriteResult result = WriteWithBackup(false, true);
  EXPECT_EQ(result.End, TCheckedWriteEnd::BackupFailed);
  EXPECT_NE(result.BackupError.find("no write permission"), std::string::npos)
      << result.BackupError;
  EXPECT_TRUE(Frames().empty());
  EXPECT_EQ(RadioMemory(MemorySpace::Eeprom, 0, 0xB35), before);
}

// The folder goes read-only while the range is read (a full disk would do
// the same): the save fails, and nothing is sent after the read.
TEST_F(BackupTest, ABackupThatCannotBeSavedAfterTheReadWritesNothing) {
  bool locked = false;
  stopAfter = 0;
  TOperationContext context = Context();
  const TMemoryProgress lockOnce = [&](uint32_t, uint32_t, uint32_t) {
    if (locked) return;
    locked = true;
    fs::permissions(folder.Path() / "backups",
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
  };
  const TCheckedWriteResult result =
      WriteMemoryChecked(context, {EepromCustom, &image, [] { return fields; }, lockOnce, {}},
                         {true, true, folder.File("backups")});
  EXPECT_TRUE(locked);
  EXPECT_EQ(result.End, TCheckedWriteEnd::BackupFailed);
  EXPECT_TRUE(Requests(0x17).empty());
  EXPECT_EQ(Requests(0x11).size(), 45u);
  EXPECT_TRUE(Backups().empty());
  EXPECT_EQ(RadioMemory(MemorySpace::Eeprom, 0, 0xB35), before);
}

// A stop during the write leaves the backup's name in the result, for the
// line that says the memory is partly written.
TEST_F(BackupTest, AWriteStoppedPartWayKeepsItsBackup) {
  image[0x200] ^= 0x01;  // a third chunk, so the stop comes between chunks
  TOperationContext context = Context();
  int writes = 0;
  const TMemoryProgress stopInWrite = [&](uint32_t done, uint32_t total, uint32_t) {
    if (total == 96 && done > 0 && ++writes == 1) stop = true;
  };
  const TCheckedWriteResult result =
      WriteMemoryChecked(context, {EepromCustom, &image, [] { return fields; }, stopInWrite, {}},
                         {true, true, folder.File("backups")});
  EXPECT_EQ(result.End, TCheckedWriteEnd::WriteFailed);
  EXPECT_FALSE(result.BackupFile.empty());
  EXPECT_TRUE(fs::exists(result.BackupFile));
  EXPECT_GT(result.BytesWritten, 0u);
  EXPECT_LT(result.BytesWritten, 96u);
}

}  // namespace
}  // namespace kestrune
