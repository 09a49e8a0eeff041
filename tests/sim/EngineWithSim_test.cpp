// The program's own bus engine against the simulated radio over a
// pseudo-terminal: the memory transfers as the console runs them, and SBEP
// entry under every fault the radio can inject.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "protocol/PlainEventPump.h"
#include "protocol/SB9600.h"
#include "tests/support/Frames.h"
#include "tests/support/LogRecorder.h"
#include "tests/support/SimulatedRadio.h"

namespace kestrune::sim {
namespace {

using namespace kestrune::test;
using namespace std::chrono_literals;

bool Logged(const std::string& line) { return LogRecorder::Count(line) > 0; }

class EngineWithSim : public ::testing::Test {
 protected:
  using Line = EngineOnRadio::Line;

  void Start(RadioConfig config = {}, Line line = Line::ShowsDtr) {
    bench = std::make_unique<EngineOnRadio>(std::move(config), line);
    engine = &bench->Engine();
  }

  void TearDown() override { bench.reset(); }

  template <class F>
  auto Radio(F&& f) {
    return bench->Radio().WithRadio(std::forward<F>(f));
  }

  void SetFaults(const std::function<void(Faults&)>& set) {
    Faults faults;
    set(faults);
    bench->Radio().SetFaults(faults);
  }

  bool MemoryAccess(bool open, uint8_t mode) {
    return engine->SendRepeatAndWait(
        Sb9600Frame(0x00, static_cast<uint8_t>((mode << 1) | (open ? 1 : 0)), 0x01, 0x08));
  }

  // One read request and its data, checked the way the console checks it.
  std::optional<std::vector<uint8_t>> ReadChunk(uint8_t count, uint8_t selector, uint32_t address) {
    if (!engine->SendRepeatAndWait(ReadRequest(count, selector, address))) return std::nullopt;
    const std::vector<uint8_t> reply = engine->RecvPkt();
    int32_t length = 0, dataLength = 0;
    const size_t offset = count > 14 ? 7 : 5;
    if (engine->SbepResp() != 0x50 ||
        !TSb9600::GetSbepPktLen(reply.data(), static_cast<int32_t>(reply.size()), length,
                                dataLength) ||
        reply.size() < offset + count)
      return std::nullopt;
    return std::vector<uint8_t>(reply.begin() + static_cast<ptrdiff_t>(offset),
                                reply.begin() + static_cast<ptrdiff_t>(offset + count));
  }

  std::vector<uint8_t> RadioMemory(MemorySpace space, uint32_t address, size_t count) {
    return Radio([&](SimRadio& r) {
      const auto bytes = r.Memory(space).subspan(address, count);
      return std::vector<uint8_t>(bytes.begin(), bytes.end());
    });
  }

  std::unique_ptr<EngineOnRadio> bench;
  TSb9600* engine = nullptr;
};

TEST_F(EngineWithSim, EepromDefaultReadsB35BytesIn45Requests) {
  Start({}, Line::WithoutDtr);  // SBEP mode then ends only with the closing message
  ASSERT_TRUE(MemoryAccess(true, 0));
  ASSERT_TRUE(engine->EnterSbepMode(1));

  const auto core = ReadChunk(2, 0x00, 0x0002);
  const auto bonus = ReadChunk(2, 0x00, 0x02A6);
  ASSERT_TRUE(core && bonus);
  const uint32_t length = (((*core)[0] << 8) | (*core)[1]) + (((*bonus)[0] << 8) | (*bonus)[1]);
  ASSERT_EQ(length, 0xB35u);

  std::vector<uint8_t> image;
  int requests = 0;
  for (uint32_t address = 0; address < length;) {
    const auto n = static_cast<uint8_t>(std::min<uint32_t>(64, length - address));
    const auto chunk = ReadChunk(n, 0x00, address);
    ASSERT_TRUE(chunk) << "at " << address;
    image.insert(image.end(), chunk->begin(), chunk->end());
    address += n;
    ++requests;
  }
  engine->LeaveSbepMode();
  ASSERT_TRUE(MemoryAccess(false, 0));

  EXPECT_EQ(requests, 45);
  EXPECT_EQ(image, RadioMemory(MemorySpace::Eeprom, 0, 0xB35));
  // The closing MEMORY ACCESS message also took the radio out of SBEP mode.
  EXPECT_EQ(Radio([](SimRadio& r) { return r.Mode(); }), BusMode::Sb9600);
  EXPECT_FALSE(Radio([](SimRadio& r) { return r.MemoryAccess().open; }));
  EXPECT_TRUE(Logged("SBEP mode: success"));
}

TEST_F(EngineWithSim, AWriteReadsBackAsWritten) {
  Start();
  ASSERT_TRUE(MemoryAccess(true, 2));
  ASSERT_TRUE(engine->EnterSbepMode(1));
  std::vector<uint8_t> data(0x41);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(0xA0 ^ (i * 7));
  const uint32_t base = 0x10100;
  for (size_t done = 0; done < data.size();) {
    const size_t n = std::min<size_t>(32, data.size() - done);
    const std::vector<uint8_t> chunk(data.begin() + static_cast<ptrdiff_t>(done),
                                     data.begin() + static_cast<ptrdiff_t>(done + n));
    ASSERT_TRUE(
        engine->SendRepeatAndWait(WriteRequest(chunk, 0x40, base + static_cast<uint32_t>(done))));
    EXPECT_EQ(engine->SbepResp(), 0x50);
    ASSERT_GE(engine->RecvPkt().size(), 2u);
    EXPECT_EQ(engine->RecvPkt()[1], 0x84);
    done += n;
  }
  const auto first = ReadChunk(64, 0x40, base);
  const auto last = ReadChunk(1, 0x40, base + 64);
  engine->LeaveSbepMode();
  MemoryAccess(false, 2);
  ASSERT_TRUE(first && last);
  EXPECT_EQ(Concat(*first, *last), data);
  EXPECT_EQ(RadioMemory(MemorySpace::Flash1, base, data.size()), data);
}

TEST_F(EngineWithSim, WithVisibleDtrTheRadioFollowsThePulseAndTheDrop) {
  Start({}, Line::ShowsDtr);
  ASSERT_TRUE(engine->EnterSbepMode(5));
  EXPECT_EQ(Radio([](SimRadio& r) { return r.Mode(); }), BusMode::Sbep);
  EXPECT_EQ(Radio([](SimRadio& r) { return r.SbepDevice(); }), 5);
  ASSERT_TRUE(engine->SendRepeatAndWait(DisplayFrame({'H', 'I'})));
  EXPECT_EQ(engine->SbepResp(), 0x50);
  engine->LeaveSbepMode();  // drops DTR, sends nothing
  EXPECT_EQ(Radio([](SimRadio& r) { return r.Mode(); }), BusMode::Sb9600);
  EXPECT_EQ(Radio([](SimRadio& r) { return r.LastDisplayText()->Text(); }), "HI");
}

// ---- SBEP entry under each fault ----------------------------------------------

TEST_F(EngineWithSim, EntryFailsAgainstASilentRadio) {
  Start();
  SetFaults([](Faults& f) { f.silent = true; });
  EXPECT_FALSE(engine->EnterSbepMode(1));
  EXPECT_TRUE(Logged("unable to enter SBEP mode!"));
}

TEST_F(EngineWithSim, EntrySurvivesALostEchoOnTheNextAttempt) {
  Start();
  SetFaults([](Faults& f) { f.dropEcho = 1; });
  EXPECT_TRUE(engine->EnterSbepMode(1));
  EXPECT_EQ(Radio([](SimRadio& r) { return r.FramesReceived().size(); }), 2u);  // sent twice
}

TEST_F(EngineWithSim, EntryRefusedWith60FailsAndTheNextSucceeds) {
  Start();
  SetFaults([](Faults& f) { f.refuseAck = 1; });
  EXPECT_FALSE(engine->EnterSbepMode(1));
  EXPECT_TRUE(Logged("SBEP mode: error"));
  EXPECT_FALSE(engine->SbepMode);
  EXPECT_TRUE(engine->EnterSbepMode(1));
}

TEST_F(EngineWithSim, ACorruptReplyIsAskedForAgain) {
  Start();
  SetFaults([](Faults& f) { f.corruptReply = 1; });
  ASSERT_TRUE(engine->EnterSbepMode(1));  // the entry has no reply to spoil
  const auto chunk = ReadChunk(4, 0x00, 0x0010);
  ASSERT_TRUE(chunk);
  EXPECT_EQ(*chunk, RadioMemory(MemorySpace::Eeprom, 0x10, 4));
  EXPECT_EQ(Radio([](SimRadio& r) { return r.FramesReceived().size(); }),
            3u);  // entry, request twice
}

TEST_F(EngineWithSim, EntryAndReadsPassGarbageSpontaneousFramesAndPacing) {
  Start();
  SetFaults([](Faults& f) {
    f.garbageBeforeEcho = {0x7E, 0x00};
    f.spontaneousPeriod = 30ms;
    f.pacing = true;
  });
  ASSERT_TRUE(engine->EnterSbepMode(1));
  const auto chunk = ReadChunk(64, 0x00, 0x0100);
  ASSERT_TRUE(chunk);
  EXPECT_EQ(*chunk, RadioMemory(MemorySpace::Eeprom, 0x100, 64));
  engine->LeaveSbepMode();
  EXPECT_TRUE(MemoryAccess(false, 0));
  EXPECT_GT(Radio([](SimRadio& r) { return r.SpontaneousFramesSent(); }), 0u);
}

}  // namespace
}  // namespace kestrune::sim
