// The packet script run on the program's bus engine against the simulated
// radio over a pseudo-terminal, without a window: what reaches the radio, and
// what the log says.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "console/core/CommandText.h"
#include "console/core/PacketScript.h"
#include "protocol/CRC16.h"
#include "protocol/PlainEventPump.h"
#include "protocol/SB9600.h"
#include "sim/PtyLine.h"
#include "sim/RadioLink.h"

namespace kestrune::sim {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;

// The engine's log callback is a plain function pointer: one recorder, which
// the script's own lines share so that the order shows.
std::mutex gLogLock;
Lines gLog;

void Record(const std::string& s) {
  std::lock_guard lock(gLogLock);
  gLog.push_back(s);
}

Lines Logged() {
  std::lock_guard lock(gLogLock);
  return gLog;
}

class PacketScriptWithSim : public ::testing::Test {
 protected:
  void SetUp() override {
    pty = std::make_unique<PtyLine>("");
    link = std::make_unique<RadioLink>(RadioConfig{}, pty->MasterFd(),
                                       [this](const std::string& line) { Traced(line); });
    thread = std::thread([this] { link->Run(); });
    engine = std::make_unique<TSb9600>(pump);
    engine->SetLog(Record, nullptr, false, false);
    engine->CreatePort(pty->SlavePath(), 9600, 8, 0, 0, false, false);
    ASSERT_TRUE(engine->ComPort()->IsOpen()) << engine->ComPort()->LastError();
    std::lock_guard lock(gLogLock);
    gLog.clear();
  }

  void TearDown() override {
    engine.reset();
    link->Stop();
    thread.join();
  }

  TOperationContext Context() {
    return TOperationContext{*engine, pump, Record, [this] { return stop; }};
  }

  void Run(const Lines& script) {
    TOperationContext context = Context();
    RunPacketScript(context, static_cast<int>(script.size()),
                    [&](int i) { return script.at(static_cast<size_t>(i)); });
  }

  std::deque<ReceivedFrame> Frames() {
    return link->WithRadio([](SimRadio& r) { return r.FramesReceived(); });
  }

  // The bytes of every unit the radio took in from the program, as text,
  // complete or not ("01 02"), in order.
  Lines ProgramUnits() {
    std::lock_guard lock(traceLock);
    return units;
  }

  bool WaitForUnits(size_t count) {
    std::unique_lock lock(traceLock);
    return traceChanged.wait_for(lock, 10s, [&] { return units.size() >= count; });
  }

  PlainEventPump pump;
  std::unique_ptr<PtyLine> pty;
  std::unique_ptr<RadioLink> link;
  std::thread thread;
  std::unique_ptr<TSb9600> engine;
  bool stop = false;

 private:
  void Traced(const std::string& line) {
    const size_t open = line.rfind('[');
    if (line.find("PC>") == std::string::npos || open == std::string::npos) return;
    std::lock_guard lock(traceLock);
    units.push_back(line.substr(open + 1, line.size() - open - 2));
    traceChanged.notify_all();
  }

  std::mutex traceLock;
  std::condition_variable traceChanged;
  Lines units;
};

TEST_F(PacketScriptWithSim, TheExampleScriptReadsTwoEepromBytes) {
  const auto start = std::chrono::steady_clock::now();
  Run({"sbep 1", "F5 11 02 00 00 02 00", "delay 200", "sb9600"});
  EXPECT_GE(std::chrono::steady_clock::now() - start, 200ms);

  const auto frames = Frames();
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].bytes, (Bytes{0x00, 0x12, 0x01, 0x06, 0x02}));
  EXPECT_EQ(frames[1].kind, ReceivedFrame::Kind::Sbep);
  EXPECT_EQ(frames[1].bytes, (Bytes{0xF5, 0x11, 0x02, 0x00, 0x00, 0x02, 0xF5}));
  EXPECT_TRUE(frames[0].valid && frames[1].valid);

  // The radio answered with the two bytes it holds at address 2.
  EXPECT_EQ(engine->SbepResp(), 0x50);
  const Bytes reply = engine->RecvPkt();
  const auto eeprom = DefaultMemory(MemorySpace::Eeprom);
  ASSERT_EQ(reply.size(), 8u);
  EXPECT_EQ(Bytes(reply.begin() + 5, reply.begin() + 7), Bytes(&eeprom[2], &eeprom[4]));

  EXPECT_EQ(Logged(), (Lines{"SBEP mode: success", "leaving SBEP mode", "leaving SBEP mode"}));
  EXPECT_FALSE(engine->SbepMode);
}

TEST_F(PacketScriptWithSim, Sb9600LinesGoOutWithTheirCheckByteAndABadLineSendsNothing) {
  engine->SbepMode = true;  // left over: the run starts in SB9600 all the same
  Run({"01 zz 03", "01 02", "00 12 01 06 00"});

  ASSERT_TRUE(WaitForUnits(2));
  EXPECT_EQ(ProgramUnits(), (Lines{"01 02", "00 12 01 06 02"}));
  EXPECT_EQ(Logged(),
            (Lines{"01 zz 03: ''$zz'' is not a valid integer value", "leaving SBEP mode"}));
}

TEST_F(PacketScriptWithSim, InSbepModeTheLastByteIsAlwaysTheInvertedByteSum) {
  Run({"sbep 1", "F5 11 02 00 00 02 00", ",", "0xF5,0x11,0x04,0x00,0x00,0x10,0xFF", "delay -5",
       "F5 11 01 00 01 00 F5"});

  const auto frames = Frames();
  ASSERT_EQ(frames.size(), 4u);
  for (size_t i = 1; i < frames.size(); ++i) {
    const Bytes& packet = frames[i].bytes;
    EXPECT_EQ(frames[i].kind, ReceivedFrame::Kind::Sbep) << i;
    EXPECT_TRUE(frames[i].valid) << i;
    EXPECT_EQ(packet.back(),
              InvertedByteSum(packet.data(), static_cast<int32_t>(packet.size()) - 1));
  }
  EXPECT_EQ(engine->SbepResp(), 0x50);
  EXPECT_EQ(Logged(), (Lines{"SBEP mode: success", ",: there are no bytes to send",
                             "delay -5: a delay cannot be negative", "leaving SBEP mode"}));
}

TEST_F(PacketScriptWithSim, EachLineIsReadWhenItsTurnComesAndAStopEndsTheRunBeforeTheNext) {
  Lines script{"sbep 1", "to be replaced", "F5 11 02 00 00 02 00", "sb9600"};
  std::vector<int> asked;
  TOperationContext context = Context();
  RunPacketScript(context, 4, [&](int i) {
    asked.push_back(i);
    if (i == 0) {
      script[1] = "F5 11 02 00 00 04 00";  // edited while the run goes on
      script.push_back("sb9600");          // beyond the count taken at the start
    }
    stop = i == 1;  // the window closes during this line's exchange
    return script[static_cast<size_t>(i)];
  });

  EXPECT_EQ(asked, (std::vector<int>{0, 1}));
  const auto frames = Frames();
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(FormatCommandBytes(frames[1].bytes), "F5 11 02 00 00 04 F3");
  EXPECT_EQ(Logged(), (Lines{"SBEP mode: success", "leaving SBEP mode"}));
  EXPECT_FALSE(engine->SbepMode);
}

TEST_F(PacketScriptWithSim, EveryRunEndsLeavingSbepModeEvenWhenAnErrorEscapes) {
  Run({});
  Run({"", "   ", "\t\r"});
  EXPECT_EQ(Logged(), (Lines{"leaving SBEP mode", "leaving SBEP mode"}));

  TOperationContext context = Context();
  EXPECT_THROW(RunPacketScript(context, 3,
                               [](int i) -> std::string {
                                 if (i == 1) throw std::runtime_error("the text is gone");
                                 return "sbep 1";
                               }),
               std::runtime_error);
  EXPECT_EQ(Logged().back(), "leaving SBEP mode");
  EXPECT_FALSE(engine->SbepMode);
  EXPECT_EQ(Frames().size(), 1u);  // the entry request only
}

}  // namespace
}  // namespace kestrune::sim
