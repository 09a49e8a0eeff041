// The packet script run on the program's bus engine against the simulated
// radio, without a window: what reaches the radio, and what the log says.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <stdexcept>

#include "OperationTestKit.h"
#include "console/core/CommandText.h"
#include "console/ops/PacketScript.h"
#include "protocol/CRC16.h"
#include "tests/support/Wait.h"

namespace kestrune::test {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;

// Every byte the radio takes in from the program from now on, in order. How
// the radio's reads cut the stream into units is the scheduler's business, so
// only the stream itself is kept.
struct ProgramBytes {
  std::mutex lock;
  std::condition_variable changed;
  Bytes bytes;
};

std::shared_ptr<ProgramBytes> TraceProgramBytes(OperationTestKit& kit) {
  auto traced = std::make_shared<ProgramBytes>();
  kit.Radio([traced](sim::SimRadio& r) {
    r.SetTraceSink([traced](const sim::TraceEvent& event) {
      if (event.source != sim::TraceEvent::Source::Program) return;
      std::lock_guard lock(traced->lock);
      traced->bytes.insert(traced->bytes.end(), event.bytes.begin(), event.bytes.end());
      traced->changed.notify_all();
    });
  });
  return traced;
}

// The script's run, and the log lines it added; `failed` gets the count of
// lines that did not go through.
Lines RunScript(OperationTestKit& kit, const Lines& script, int* failed = nullptr) {
  const size_t before = kit.Lines().size();
  TOperationContext context = kit.Context();
  const int notThrough = RunPacketScript(context, static_cast<int>(script.size()),
                                         [&](int i) { return script.at(static_cast<size_t>(i)); });
  if (failed) *failed = notThrough;
  const Lines all = kit.Lines();
  return Lines(all.begin() + static_cast<ptrdiff_t>(before), all.end());
}

std::vector<sim::ReceivedFrame> Received(OperationTestKit& kit) {
  return kit.Radio([](sim::SimRadio& r) {
    return std::vector<sim::ReceivedFrame>(r.FramesReceived().begin(), r.FramesReceived().end());
  });
}

TEST(PacketScriptRun, TheExampleScriptReadsTwoEepromBytes) {
  OperationTestKit kit;
  const auto start = std::chrono::steady_clock::now();
  int failed = -1;
  const Lines log =
      RunScript(kit, {"sbep 1", "F5 11 02 00 00 02 00", "delay 200", "sb9600"}, &failed);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 200ms);
  EXPECT_EQ(failed, 0);

  const auto frames = Received(kit);
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].bytes, (Bytes{0x00, 0x12, 0x01, 0x06, 0x02}));
  EXPECT_EQ(frames[1].kind, sim::ReceivedFrame::Kind::Sbep);
  EXPECT_EQ(frames[1].bytes, (Bytes{0xF5, 0x11, 0x02, 0x00, 0x00, 0x02, 0xF5}));
  EXPECT_TRUE(frames[0].valid && frames[1].valid);

  // The radio answered with the two bytes it holds at address 2.
  EXPECT_EQ(kit.Engine().SbepResp(), 0x50);
  const Bytes reply = kit.Engine().RecvPkt();
  const auto eeprom = sim::DefaultMemory(sim::MemorySpace::Eeprom);
  ASSERT_EQ(reply.size(), 8u);
  EXPECT_EQ(Bytes(reply.begin() + 5, reply.begin() + 7), Bytes(&eeprom[2], &eeprom[4]));

  EXPECT_EQ(log, (Lines{"SBEP mode: success", "leaving SBEP mode", "leaving SBEP mode"}));
  EXPECT_FALSE(kit.Engine().SbepMode);
  EXPECT_EQ(kit.Radio([](sim::SimRadio& r) { return r.Mode(); }), sim::BusMode::Sb9600);
}

TEST(PacketScriptRun, Sb9600LinesGoOutWithTheirCheckByteAndABadLineSendsNothing) {
  OperationTestKit kit;
  const auto traced = TraceProgramBytes(kit);
  kit.Engine().SbepMode = true;  // left over: the run starts in SB9600 all the same
  int failed = -1;
  const Lines log = RunScript(kit, {"01 zz 03", "01 02", "00 12 01 06 00"}, &failed);
  // Only the bad line failed: each of the other two came back as its own echo.
  EXPECT_EQ(failed, 1);

  // A short line goes out as written, a 5-byte one with its CRC in place of
  // the last byte; the bad line sends nothing.
  const Bytes expected{0x01, 0x02, 0x00, 0x12, 0x01, 0x06, 0x02};
  ASSERT_TRUE(WaitUntil(traced->lock, traced->changed,
                        [&] { return traced->bytes.size() >= expected.size(); }));
  std::lock_guard lock(traced->lock);
  EXPECT_EQ(traced->bytes, expected);
  EXPECT_EQ(log, (Lines{"01 zz 03: ''$zz'' is not a valid integer value", "leaving SBEP mode"}));
}

TEST(PacketScriptRun, InSbepModeTheLastByteIsAlwaysTheInvertedByteSum) {
  OperationTestKit kit;
  int failed = -1;
  const Lines log =
      RunScript(kit,
                {"sbep 1", "F5 11 02 00 00 02 00", ",", "0xF5,0x11,0x04,0x00,0x00,0x10,0xFF",
                 "delay -5", "F5 11 01 00 01 00 F5"},
                &failed);
  EXPECT_EQ(failed, 2);  // "," and "delay -5"

  const auto frames = Received(kit);
  ASSERT_EQ(frames.size(), 4u);
  for (size_t i = 1; i < frames.size(); ++i) {
    const Bytes& packet = frames[i].bytes;
    EXPECT_EQ(frames[i].kind, sim::ReceivedFrame::Kind::Sbep) << i;
    EXPECT_TRUE(frames[i].valid) << i;
    EXPECT_EQ(packet.back(),
              InvertedByteSum(packet.data(), static_cast<int32_t>(packet.size()) - 1));
  }
  EXPECT_EQ(kit.Engine().SbepResp(), 0x50);
  EXPECT_EQ(log, (Lines{"SBEP mode: success", ",: there are no bytes to send",
                        "delay -5: a delay cannot be negative", "leaving SBEP mode"}));
}

TEST(PacketScriptRun, AnEntryOrAPacketTheRadioRefusesIsCounted) {
  sim::RadioConfig config;
  config.faults.refuseAck = sim::kEveryTime;
  OperationTestKit kit(config);
  int failed = -1;
  RunScript(kit, {"sbep 1", "sbep 5", "sb9600", "01 02"}, &failed);
  EXPECT_EQ(failed, 2);  // both entries; the SB9600 line was echoed
}

TEST(PacketScriptRun, AfterARefusedSbepEntryTheByteLinesAreSkippedUntilSb9600) {
  sim::RadioConfig config;
  config.faults.refuseAck = sim::kEveryTime;
  OperationTestKit kit(config);
  const auto traced = TraceProgramBytes(kit);
  int failed = -1;
  const Lines log = RunScript(kit,
                              {"sbep 1", "FF 17 00 08 8F 00 00 11 22 33 44 00", "F5 11 02 zz",
                               "delay 1", "sb9600", "03 11 80 3F 00", "sbep xx", "01 02"},
                              &failed);
  EXPECT_EQ(failed, 5);  // two entries, three skipped byte lines

  // Only the refused entry request, then the SB9600 line after "sb9600".
  Bytes frame{0x03, 0x11, 0x80, 0x3F, 0x00};
  frame[4] = Crc16(frame.data(), 4, 0x00FF);
  ASSERT_TRUE(WaitUntil(traced->lock, traced->changed, [&] {
    return traced->bytes.size() >= frame.size() &&
           std::equal(frame.rbegin(), frame.rend(), traced->bytes.rbegin());
  }));
  {
    std::lock_guard lock(traced->lock);
    const Bytes before(traced->bytes.begin(), traced->bytes.end() - 5);
    EXPECT_EQ(std::search(before.begin(), before.end(), frame.begin(), frame.end()), before.end());
    EXPECT_EQ(std::find(before.begin(), before.end(), 0xFF), before.end())
        << "the write request never went out";
  }
  for (const char* line : {"FF 17 00 08 8F 00 00 11 22 33 44 00", "F5 11 02 zz", "01 02"})
    EXPECT_NE(std::find(log.begin(), log.end(),
                        std::string(line) + ": skipped: SBEP mode was not entered"),
              log.end())
        << line;
  EXPECT_NE(std::find(log.begin(), log.end(), "sbep xx: ''xx'' is not a valid integer value"),
            log.end());
}

TEST(PacketScriptRun, EveryRunEndsLeavingSbepModeEvenWhenAnErrorEscapes) {
  OperationTestKit kit;
  EXPECT_EQ(RunScript(kit, {}), Lines{"leaving SBEP mode"});
  EXPECT_EQ(RunScript(kit, {"", "   ", "\t\r"}), Lines{"leaving SBEP mode"});

  TOperationContext context = kit.Context();
  EXPECT_THROW(RunPacketScript(context, 3,
                               [](int i) -> std::string {
                                 if (i == 1) throw std::runtime_error("the text is gone");
                                 return "sbep 1";
                               }),
               std::runtime_error);
  EXPECT_EQ(kit.Lines().back(), "leaving SBEP mode");
  EXPECT_FALSE(kit.Engine().SbepMode);
  EXPECT_EQ(Received(kit).size(), 1u);  // the entry request only
}

// An unplugged adapter ends the script with one line; its closing still runs.
TEST(PacketScriptRun, APortThatHangsUpEndsTheScriptWithOneLine) {
  OperationTestKit kit;
  const Lines script{"01 02", "01 02", "01 02", "01 02"};
  TOperationContext context = kit.Context();
  const int failed = RunPacketScript(context, 4, [&](int i) {
    if (i == 1) {
      kit.HangUp();
      EXPECT_TRUE(LogRecorder::WaitFor([&] { return kit.Engine().PortLost(); }));
    }
    return script.at(static_cast<size_t>(i));
  });
  EXPECT_EQ(failed, 3);
  // Around them the port's own error lines, as many as the line calls made.
  const Lines log = kit.Lines();
  const auto lost = std::find(log.begin(), log.end(), "the port was lost: the script ends");
  ASSERT_NE(lost, log.end());
  EXPECT_EQ(std::count(log.begin(), log.end(), *lost), 1);
  EXPECT_NE(std::find(lost, log.end(), "leaving SBEP mode"), log.end());
}

}  // namespace
}  // namespace kestrune::test
