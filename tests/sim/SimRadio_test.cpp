#include "sim/SimRadio.h"

#include <gtest/gtest.h>

#include <numeric>
#include <random>

#include "protocol/CRC16.h"
#include "tests/support/Frames.h"

namespace kestrune::sim {
namespace {

using namespace kestrune::test;
using namespace std::chrono_literals;

std::vector<uint8_t> AllBytes(const std::vector<Emission>& emissions) {
  std::vector<uint8_t> bytes;
  for (const Emission& e : emissions) bytes.insert(bytes.end(), e.bytes.begin(), e.bytes.end());
  return bytes;
}

// The length rule as the program applies it to a reply: whole length and size field.
struct ReplyLength {
  int total;
  int size;
};
ReplyLength LengthOf(const std::vector<uint8_t>& p) {
  const int hi = p[0] >> 4, lo = p[0] & 0x0F;
  const int opcodeLength = hi == 0xF ? 2 : 1;
  if (lo != 0xF) return {opcodeLength + lo, lo};
  const int size = (p[opcodeLength] << 8) | p[opcodeLength + 1];
  return {opcodeLength + 2 + size, size};
}

template <class Set>
Faults With(Set set) {
  Faults faults;
  set(faults);
  return faults;
}

class SimRadioTest : public ::testing::Test {
 protected:
  static RadioConfig Config() {
    RadioConfig config;
    config.ackDelay = 100ms;
    return config;
  }

  std::vector<uint8_t> Send(const std::vector<uint8_t>& bytes) {
    return AllBytes(radio.Receive(bytes, Tick()));
  }

  // Time moves on by 1 s per input, well past the frame gap.
  Micros Tick() { return now += 1s; }

  // Entry request, then the acknowledge after the delay; returns what came back.
  std::vector<uint8_t> Enter(const std::vector<uint8_t>& entry = kEntryDevice1) {
    auto bytes = Send(entry);
    return Concat(bytes, AllBytes(radio.Advance(now + radio.AckDelay())));
  }

  SimRadio radio{Config()};
  Micros now{0};
  std::vector<TraceEvent> trace;
};

// ---- SB9600 mode ------------------------------------------------------------

TEST_F(SimRadioTest, EchoesEveryByteAtOnceAndAcrossSplitReads) {
  const auto frame = Sb9600Frame(0x00, 0x00, 0x01, 0x15);
  const auto emissions = radio.Receive(frame, 5s);
  EXPECT_EQ(AllBytes(emissions), frame);
  for (const Emission& e : emissions) EXPECT_EQ(e.at, 5s);

  // A frame arriving in two pieces is echoed piece by piece.
  const Micros t = 5s + 1ms;
  EXPECT_EQ(AllBytes(radio.Receive(std::span(frame).first(3), t)),
            std::vector<uint8_t>(frame.begin(), frame.begin() + 3));
  EXPECT_EQ(AllBytes(radio.Receive(std::span(frame).subspan(3), t + 1ms)),
            std::vector<uint8_t>(frame.begin() + 3, frame.end()));
  ASSERT_EQ(radio.FramesReceived().size(), 2u);
  EXPECT_TRUE(radio.FramesReceived()[1].valid);
}

TEST_F(SimRadioTest, IgnoresFramesWithABadCheckByte) {
  auto frame = Sb9600Frame(0x03, 0x11, 0x80, 0x3F);
  frame[4] ^= 0x01;
  EXPECT_EQ(Send(frame), frame);  // echoed all the same: the bus echoes bytes
  EXPECT_FALSE(radio.LastChannel());
  ASSERT_EQ(radio.FramesReceived().size(), 1u);
  EXPECT_FALSE(radio.FramesReceived()[0].valid);

  // A bad entry request does not switch modes either.
  auto entry = kEntryDevice1;
  entry[4] = 0x03;
  Send(entry);
  EXPECT_EQ(radio.Mode(), BusMode::Sb9600);
  EXPECT_FALSE(radio.NextDeadline());
}

TEST_F(SimRadioTest, ChannelNumberAndMemoryAccessChangeState) {
  Send(Sb9600Frame(0x03, 0x11, 0x80, 0x3F));
  EXPECT_EQ(radio.LastChannel(), 4480);
  ASSERT_TRUE(radio.LastSb9600Tune());
  EXPECT_EQ(radio.LastSb9600Tune()->modeByte, 0x03);

  Send(Sb9600Frame(0x00, 0x07, 0x01, 0x08));  // open, flash 2
  EXPECT_TRUE(radio.MemoryAccess().open);
  EXPECT_EQ(radio.MemoryAccess().mode, 3);
  Send(Sb9600Frame(0x00, 0x06, 0x01, 0x08));  // close
  EXPECT_FALSE(radio.MemoryAccess().open);
  EXPECT_EQ(radio.MemoryAccess().mode, 3);
}

TEST_F(SimRadioTest, OtherFramesAreAcceptedAndTracedByName) {
  radio.SetTraceSink([this](const TraceEvent& e) { trace.push_back(e); });
  const auto frame = Sb9600Frame(0x00, 0x00, 0x01, 0x15);
  EXPECT_EQ(Send(frame), frame);
  ASSERT_EQ(trace.size(), 1u);
  EXPECT_EQ(trace[0].source, TraceEvent::Source::Program);
  EXPECT_EQ(trace[0].text, "RADIO READY");
  EXPECT_EQ(trace[0].bytes, frame);
  Send(Sb9600Frame(0x00, 0x00, 0x01, 0x02));
  EXPECT_EQ(trace[1].text, "opcode 02 (no name)");
}

TEST_F(SimRadioTest, AHalfFrameIsDroppedAfterTheFrameGap) {
  const auto frame = Sb9600Frame(0x03, 0x11, 0x80, 0x3F);
  radio.Receive(std::span(frame).first(3), 1s);
  EXPECT_EQ(radio.NextDeadline(), 1s + radio.FrameGap());
  // The next frame comes after the gap: the stray bytes must not shift it.
  radio.Receive(frame, 1s + radio.FrameGap());
  EXPECT_EQ(radio.LastChannel(), 4480);
  // The same through Advance.
  radio.Receive(std::span(frame).first(2), 2s);
  radio.Advance(2s + radio.FrameGap());
  radio.Receive(Sb9600Frame(0x03, 0x00, 0x07, 0x3F), 3s);
  EXPECT_EQ(radio.LastChannel(), 7);
}

// ---- entering and leaving SBEP ------------------------------------------------

TEST_F(SimRadioTest, EntryOnALineWithoutDtrIsAcknowledgedAfterTheDelay) {
  EXPECT_EQ(Send(kEntryDevice5), kEntryDevice5);  // echo only
  EXPECT_EQ(radio.Mode(), BusMode::SbepAwaitingAck);
  EXPECT_EQ(radio.SbepDevice(), 5);
  EXPECT_EQ(radio.NextDeadline(), now + 100ms);
  EXPECT_TRUE(radio.Advance(now + 99ms).empty());
  const auto ack = radio.Advance(now + 100ms);
  ASSERT_EQ(ack.size(), 1u);
  EXPECT_EQ(ack[0], (Emission{now + 100ms, {0x50}}));
  EXPECT_EQ(radio.Mode(), BusMode::Sbep);
  EXPECT_FALSE(radio.NextDeadline());
}

TEST_F(SimRadioTest, DeviceAddressKeepsTheLowFiveBits) {
  Enter(Sb9600Frame(0x00, 0x12, 0x25, 0x06));
  EXPECT_EQ(radio.SbepDevice(), 5);
}

TEST_F(SimRadioTest, DefaultDelaysFollowTheBaudRate) {
  EXPECT_EQ(DefaultAckDelay(9600), 286ms);  // 6 + 90 + 40 + 150
  EXPECT_EQ(DefaultAckDelay(1200), 330ms);  // 50 + 90 + 40 + 150
  EXPECT_EQ(DefaultFrameGap(9600), 50ms);
  EXPECT_EQ(DefaultFrameGap(300), 160ms);
  EXPECT_EQ(SimRadio().AckDelay(), 286ms);
  RadioConfig zeroBaud;
  zeroBaud.baudRate = 0;
  EXPECT_THROW(SimRadio{zeroBaud}, std::invalid_argument);
}

TEST_F(SimRadioTest, WithVisibleDtrTheAcknowledgeFollowsTheRisingEdgeAndAFallLeaves) {
  RadioConfig config;
  config.ackTrigger = AckTrigger::DtrPulse;
  SimRadio dtrRadio(config);
  EXPECT_TRUE(dtrRadio.SetDtr(true, 1s).empty());
  dtrRadio.Receive(kEntryDevice1, 1s);
  EXPECT_FALSE(dtrRadio.NextDeadline());  // no timer: the pulse decides
  EXPECT_TRUE(dtrRadio.Advance(10s).empty());
  EXPECT_TRUE(dtrRadio.SetDtr(false, 11s).empty());  // the engine's pulse: low...
  EXPECT_EQ(dtrRadio.Mode(), BusMode::SbepAwaitingAck);
  EXPECT_EQ(AllBytes(dtrRadio.SetDtr(true, 12s)), std::vector<uint8_t>{0x50});  // ...and high
  EXPECT_EQ(dtrRadio.Mode(), BusMode::Sbep);
  EXPECT_TRUE(dtrRadio.SetDtr(true, 13s).empty());  // no change, no effect
  EXPECT_EQ(dtrRadio.Mode(), BusMode::Sbep);
  dtrRadio.SetDtr(false, 14s);
  EXPECT_EQ(dtrRadio.Mode(), BusMode::Sb9600);
}

TEST_F(SimRadioTest, AnSb9600FrameWhereNoKnownPacketStartsLeavesSbep) {
  Enter();
  // MEMORY ACCESS close: header 00 is no SBEP packet the radio knows.
  const auto close = Sb9600Frame(0x00, 0x00, 0x01, 0x08);
  Send(Sb9600Frame(0x00, 0x01, 0x01, 0x08));  // (first opened: this arrives in SBEP mode too)
  EXPECT_EQ(radio.Mode(), BusMode::Sb9600);
  Enter();
  EXPECT_EQ(Send(close), close);  // echo, and no acknowledge
  EXPECT_EQ(radio.Mode(), BusMode::Sb9600);
  EXPECT_FALSE(radio.MemoryAccess().open);

  // A new entry request in SBEP mode leaves and enters again, for its device.
  Enter();
  EXPECT_EQ(Enter(kEntryDevice5), Concat(kEntryDevice5, {0x50}));
  EXPECT_EQ(radio.SbepDevice(), 5);
  EXPECT_EQ(radio.Mode(), BusMode::Sbep);
}

TEST_F(SimRadioTest, KnownPacketStartsStayInSbepEvenWhenTheyLookLikeFrames) {
  Enter();
  // A tune packet is known by its start, whatever its first five bytes say.
  Send(WithSbepChecksum({0xF8, 0x2B, 0x00, 0x11, 0x1A, 0x00, 0xFF, 0x11, 0x80}));
  EXPECT_EQ(radio.Mode(), BusMode::Sbep);
  // An invalid SB9600 frame with an unknown start is taken as an SBEP packet.
  const auto unknown = WithSbepChecksum({0x05, 0x11, 0x80, 0x00, 0x00});
  ASSERT_NE(Sb9600Crc(unknown.data(), 5), 0);
  EXPECT_EQ(Send(unknown), Concat(unknown, {0x50}));
  EXPECT_EQ(radio.Mode(), BusMode::Sbep);
}

TEST_F(SimRadioTest, AShortUnknownPacketIsTakenWhenTheGapEndsIt) {
  Enter();
  const std::vector<uint8_t> headerOnly{0x00};
  EXPECT_EQ(Send(headerOnly), headerOnly);  // waits: it might be an SB9600 frame
  EXPECT_EQ(AllBytes(radio.Advance(now + radio.FrameGap())), std::vector<uint8_t>{0x50});
  EXPECT_EQ(radio.Mode(), BusMode::Sbep);
}

// ---- SBEP packets -------------------------------------------------------------

TEST_F(SimRadioTest, ABadChecksumIsAnswered60) {
  Enter();
  auto request = ReadRequest(2, 0x00, 0x0002);
  request.back() ^= 0x10;
  EXPECT_EQ(Send(request), Concat(request, {0x60}));
  EXPECT_EQ(radio.Mode(), BusMode::Sbep);
  EXPECT_FALSE(radio.FramesReceived().back().valid);
}

struct Layout {
  uint8_t count;
  size_t dataOffset;
};

class ReadReplyLayout : public SimRadioTest, public ::testing::WithParamInterface<Layout> {};

TEST_P(ReadReplyLayout, DataSitsWhereTheProgramLooksAndTheLengthRuleHolds) {
  const auto [count, dataOffset] = GetParam();
  Enter();
  const uint32_t address = 0x0100;
  const auto request = ReadRequest(count, 0x00, address);
  const auto answer = Send(request);
  ASSERT_GT(answer.size(), request.size() + 1);
  EXPECT_EQ(std::vector<uint8_t>(answer.begin(), answer.begin() + 7), request);
  EXPECT_EQ(answer[7], 0x50);
  const std::vector<uint8_t> reply(answer.begin() + 8, answer.end());

  EXPECT_EQ(reply[1], 0x80);
  const ReplyLength length = LengthOf(reply);
  EXPECT_EQ(length.total, static_cast<int>(reply.size()));
  EXPECT_EQ(std::accumulate(reply.begin(), reply.end(), 0) & 0xFF, 0xFF);
  ASSERT_GE(reply.size(), dataOffset + count);
  const auto memory = radio.Memory(MemorySpace::Eeprom).subspan(address, count);
  EXPECT_EQ(std::vector<uint8_t>(reply.begin() + static_cast<ptrdiff_t>(dataOffset),
                                 reply.begin() + static_cast<ptrdiff_t>(dataOffset + count)),
            std::vector<uint8_t>(memory.begin(), memory.end()));
  // The program grows its image by size - 4 bytes: never beyond what was asked.
  EXPECT_LE(length.size - 4, count);
  EXPECT_GE(length.size - 4, count - 2);
}

INSTANTIATE_TEST_SUITE_P(Counts, ReadReplyLayout,
                         ::testing::Values(Layout{1, 5}, Layout{2, 5}, Layout{10, 5}, Layout{11, 5},
                                           Layout{14, 5}, Layout{15, 7}, Layout{53, 7},
                                           Layout{64, 7}),
                         [](const auto& info) {
                           return "Bytes" + std::to_string(info.param.count);
                         });

TEST_F(SimRadioTest, EepromDefaultLengthsAndTheFourSpaces) {
  Enter();
  auto reply = Send(ReadRequest(2, 0x00, 0x0002));
  EXPECT_EQ(reply[8 + 5], 0x0B);
  EXPECT_EQ(reply[8 + 6], 0x00);
  reply = Send(ReadRequest(2, 0x00, 0x02A6));
  EXPECT_EQ(reply[8 + 5], 0x00);
  EXPECT_EQ(reply[8 + 6], 0x35);

  // Selector nibble picks the space; the low nibble carries address bits 19-16.
  const struct {
    uint8_t selector;
    MemorySpace space;
  } spaces[] = {{0x00, MemorySpace::Eeprom},
                {0x40, MemorySpace::Flash1},
                {0x50, MemorySpace::Flash2},
                {0x80, MemorySpace::Direct}};
  for (const auto& [selector, space] : spaces) {
    const auto answer = Send(ReadRequest(4, selector, 0x12345));
    EXPECT_EQ(answer[3], selector | 0x01);      // request byte 3 as sent
    EXPECT_EQ(answer[8 + 2], selector | 0x01);  // the reply repeats the address
    const auto memory = radio.Memory(space).subspan(0x12345, 4);
    EXPECT_EQ(std::vector<uint8_t>(answer.begin() + 8 + 5, answer.begin() + 8 + 9),
              std::vector<uint8_t>(memory.begin(), memory.end()))
        << SpaceName(space);
  }
  // The patterns differ, so a read from the wrong space shows.
  EXPECT_NE(std::vector<uint8_t>(radio.Memory(MemorySpace::Flash1).begin(),
                                 radio.Memory(MemorySpace::Flash1).begin() + 64),
            std::vector<uint8_t>(radio.Memory(MemorySpace::Flash2).begin(),
                                 radio.Memory(MemorySpace::Flash2).begin() + 64));
  EXPECT_EQ(radio.Memory(MemorySpace::Eeprom)[0xB35], 0xFF);
  EXPECT_NE(radio.Memory(MemorySpace::Eeprom)[0xB34], radio.Memory(MemorySpace::Eeprom)[0xB33]);
}

TEST_F(SimRadioTest, MalformedReadsAreRefused) {
  Enter();
  for (const auto& request :
       {ReadRequest(0, 0x00, 0), ReadRequest(2, 0x20, 0), ReadRequest(64, 0x80, 0xFFFF0),
        WithSbepChecksum({0xF6, 0x11, 2, 0, 0, 0, 0}), std::vector<uint8_t>{0xF0, 0x11}}) {
    EXPECT_EQ(Send(request), Concat(request, {0x60})) << testing::PrintToString(request);
  }
  // The last 64 bytes of the space are fine.
  const auto last = ReadRequest(64, 0x80, 0xFFFC0);
  EXPECT_EQ(Send(last)[7], 0x50);
}

TEST_F(SimRadioTest, WritesLandInTheSpaceAndAreAnswered84) {
  Enter();
  const std::vector<uint8_t> data{0xDE, 0xAD, 0xBE, 0xEF, 0x01};
  const auto request = WriteRequest(data, 0x40, 0x10200);
  const auto answer = Send(request);
  ASSERT_EQ(answer.size(), request.size() + 1 + 6);
  EXPECT_EQ(answer[request.size()], 0x50);
  const std::vector<uint8_t> reply(answer.begin() + static_cast<ptrdiff_t>(request.size() + 1),
                                   answer.end());
  EXPECT_EQ(reply, WithSbepChecksum({0xF4, 0x84, 0x41, 0x02, 0x00}));
  const auto memory = radio.Memory(MemorySpace::Flash1).subspan(0x10200, data.size());
  EXPECT_EQ(std::vector<uint8_t>(memory.begin(), memory.end()), data);

  // Read back through the radio.
  const auto readBack = Send(ReadRequest(5, 0x40, 0x10200));
  EXPECT_EQ(std::vector<uint8_t>(readBack.begin() + 8 + 5, readBack.begin() + 8 + 10), data);

  // Nothing to write, or beyond the space: refused, memory untouched.
  EXPECT_EQ(Send(WriteRequest({}, 0x00, 0)).back(), 0x60);
  EXPECT_EQ(Send({0xF0, 0x17}).back(), 0x60);
  EXPECT_EQ(Send(WriteRequest(data, 0x00, 0xFFFFE)).back(), 0x60);
  EXPECT_EQ(radio.Memory(MemorySpace::Eeprom)[0xFFFFE], 0xFF);
}

TEST_F(SimRadioTest, ACorruptWriteFaultStoresOneByteWrongAndStillAcceptsTheWrite) {
  Faults faults;
  faults.corruptWriteAddress = 0x10202;
  radio.SetFaults(faults, now);
  Enter();
  const std::vector<uint8_t> data{0x10, 0x20, 0x30, 0x40};
  const auto request = WriteRequest(data, 0x40, 0x10200);
  const auto answer = Send(request);
  EXPECT_EQ(answer[request.size()], 0x50);
  EXPECT_EQ(answer[request.size() + 2], 0x84);  // answered as a good write
  const auto memory = radio.Memory(MemorySpace::Flash1).subspan(0x10200, data.size());
  EXPECT_EQ(std::vector<uint8_t>(memory.begin(), memory.end()),
            (std::vector<uint8_t>{0x10, 0x20, 0xCF, 0x40}));
  // A write that does not cover the address is stored as given.
  Send(WriteRequest(data, 0x40, 0x10300));
  const auto other = radio.Memory(MemorySpace::Flash1).subspan(0x10300, data.size());
  EXPECT_EQ(std::vector<uint8_t>(other.begin(), other.end()), data);
}

TEST_F(SimRadioTest, TunePacketIsAcknowledgedAndRecorded) {
  Enter();
  const std::vector<uint8_t> tune{0xF8, 0x2B, 0x00, 0x11, 0x1A, 0x00, 0xFF, 0x11, 0x80, 0x21};
  EXPECT_EQ(Send(tune), Concat(tune, {0x50}));  // no reply packet
  ASSERT_TRUE(radio.LastSbepTune());
  EXPECT_EQ(radio.LastSbepTune()->option, 0x11);
  EXPECT_EQ(radio.LastSbepTune()->frames, 0x00FF);
  EXPECT_EQ(radio.LastSbepTune()->channel, 4480);
  EXPECT_EQ(radio.LastChannel(), 4480);
  // A tune packet of the wrong size is refused and not recorded.
  EXPECT_EQ(Send(WithSbepChecksum({0xF7, 0x2B, 0x00, 0x69, 0x1A, 0x00, 0x10, 0x00})).back(), 0x60);
  EXPECT_EQ(Send({0xF0, 0x2B}).back(), 0x60);
  EXPECT_EQ(radio.LastSbepTune()->option, 0x11);
}

TEST_F(SimRadioTest, DisplayTextIsAcknowledgedAndRecorded) {
  Enter(kEntryDevice5);
  const std::vector<uint8_t> selfCheck{0x1F, 0x00, 0x1A, 0x80, 0x08, 0x0A, 0x00, 0x00, 0x53, 0x45,
                                       0x4C, 0x46, 0x20, 0x43, 0x48, 0x45, 0x43, 0x4B, 0x00, 0x00,
                                       0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x8C};
  EXPECT_EQ(Send(selfCheck), Concat(selfCheck, {0x50}));
  ASSERT_TRUE(radio.LastDisplayText());
  EXPECT_EQ(radio.LastDisplayText()->Text(), "SELF CHECK");
  EXPECT_EQ(radio.LastDisplayText()->device, 5);
  EXPECT_EQ(radio.LastDisplayText()->params, (std::array<uint8_t, 4>{0x80, 0x08, 0x00, 0x00}));
  EXPECT_EQ(radio.LastDisplayText()->attributes, std::vector<uint8_t>(10, 0x00));

  const std::vector<uint8_t> empty{0x1F, 0x00, 0x06, 0x80, 0x08, 0x00, 0x00, 0x00, 0x52};
  EXPECT_EQ(Send(empty).back(), 0x50);
  EXPECT_EQ(radio.LastDisplayText()->Text(), "");

  // A count that does not match the size (a text too long for its byte) is refused.
  auto tooLong = DisplayFrame(std::vector<uint8_t>(300, 'A'));
  EXPECT_EQ(Send(tooLong).back(), 0x60);
  EXPECT_EQ(Send(WithSbepChecksum({0x1F, 0x00, 0x02, 0x80})).back(), 0x60);
  EXPECT_EQ(radio.LastDisplayText()->Text(), "");
  const std::string utf8 = "\xC3\x89t\xC3\xA9";
  EXPECT_EQ(Send(DisplayFrame({utf8.begin(), utf8.end()})).back(), 0x50);
  EXPECT_EQ(radio.LastDisplayText()->Text(), utf8);
}

TEST_F(SimRadioTest, OtherRequestsGetAnEmptyReplyAndUnknownOpcodesAnAcknowledge) {
  Enter();
  const auto checksumRequest = WithSbepChecksum({0xF3, 0x12, 0x00, 0x00});
  EXPECT_EQ(Send(checksumRequest),
            Concat(Concat(checksumRequest, {0x50}), WithSbepChecksum({0xF1, 0x81})));
  const auto unknown = WithSbepChecksum({0xF3, 0x1A, 0x00, 0x00});
  EXPECT_EQ(Send(unknown), Concat(unknown, {0x50}));
}

// ---- faults -------------------------------------------------------------------

TEST_F(SimRadioTest, SilentRadioAnswersNothing) {
  radio.SetFaults(With([](Faults& f) {
                    f.silent = true;
                    f.spontaneousPeriod = 100ms;
                  }),
                  now);
  EXPECT_TRUE(Send(kEntryDevice1).empty());
  EXPECT_TRUE(radio.Advance(now + 1s).empty());
  EXPECT_EQ(radio.Mode(), BusMode::Sb9600);
  EXPECT_TRUE(radio.FramesReceived().empty());
  EXPECT_EQ(radio.SpontaneousFramesSent(), 0u);
  // Switched on again, it answers.
  radio.SetFaults({}, now);
  EXPECT_EQ(Enter(), Concat(kEntryDevice1, {0x50}));
}

TEST_F(SimRadioTest, DropEchoLeavesOutTheEchoOfTheNextFrames) {
  radio.SetFaults(With([](Faults& f) { f.dropEcho = 2; }), now);
  const auto frame = Sb9600Frame(0x03, 0x11, 0x80, 0x3F);
  EXPECT_TRUE(Send(frame).empty());
  EXPECT_EQ(radio.LastChannel(), 4480);  // heard all the same
  EXPECT_TRUE(Send(kEntryDevice1).empty());
  EXPECT_EQ(AllBytes(radio.Advance(now + radio.AckDelay())), std::vector<uint8_t>{0x50});
  EXPECT_EQ(Send(WithSbepChecksum({0xF3, 0x1A, 0x00, 0x00})).size(), 6u);  // echo is back, then 50
  EXPECT_EQ(radio.GetFaults().dropEcho, 0);

  radio.SetFaults(With([](Faults& f) { f.dropEcho = kEveryTime; }), now);
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(Send(WithSbepChecksum({0xF3, 0x1A, 0x00, 0x00})), std::vector<uint8_t>{0x50});
}

TEST_F(SimRadioTest, RefuseAckAnswers60ToEntryAndPackets) {
  radio.SetFaults(With([](Faults& f) { f.refuseAck = 1; }), now);
  EXPECT_EQ(Enter(), Concat(kEntryDevice1, {0x60}));
  EXPECT_EQ(radio.Mode(), BusMode::Sb9600);
  EXPECT_EQ(Enter(), Concat(kEntryDevice1, {0x50}));

  radio.SetFaults(With([](Faults& f) { f.refuseAck = 1; }), now);
  const auto request = ReadRequest(2, 0x00, 2);
  EXPECT_EQ(Send(request), Concat(request, {0x60}));  // refused: no reply
  EXPECT_EQ(Send(request).size(), 7u + 1 + 8);
}

TEST_F(SimRadioTest, CorruptReplySpoilsTheChecksumOfTheNextReplies) {
  Enter();
  radio.SetFaults(With([](Faults& f) { f.corruptReply = 1; }), now);
  auto reply = Send(ReadRequest(2, 0x00, 2));
  reply.erase(reply.begin(), reply.begin() + 8);
  EXPECT_NE(std::accumulate(reply.begin(), reply.end(), 0) & 0xFF, 0xFF);
  reply = Send(ReadRequest(2, 0x00, 2));
  reply.erase(reply.begin(), reply.begin() + 8);
  EXPECT_EQ(std::accumulate(reply.begin(), reply.end(), 0) & 0xFF, 0xFF);
}

TEST_F(SimRadioTest, ShortAndWrongOpcodeRepliesAreWellFormedButUnusable) {
  Enter();
  radio.SetFaults(With([](Faults& f) {
                    f.shortReply = 1;
                    f.wrongReplyOpcode = 1;
                  }),
                  now);
  const auto request = ReadRequest(2, 0x00, 2);
  auto reply = Send(request);  // both faults strike this one reply
  EXPECT_EQ(reply, Concat(request, Concat({0x50}, WithSbepChecksum({0xF1, 0x00}))));
  const std::vector<uint8_t> data{0xA5};
  const auto write = WriteRequest(data, 0x00, 0x10);
  reply = Send(write);
  reply.erase(reply.begin(), reply.begin() + static_cast<ptrdiff_t>(write.size() + 1));
  EXPECT_EQ(reply, WithSbepChecksum({0xF4, 0x84, 0x00, 0x00, 0x10}));  // the faults are spent
  radio.SetFaults(With([](Faults& f) { f.wrongReplyOpcode = 1; }), now);
  reply = Send(write);
  reply.erase(reply.begin(), reply.begin() + static_cast<ptrdiff_t>(write.size() + 1));
  EXPECT_EQ(reply, WithSbepChecksum({0xF4, 0x00, 0x00, 0x00, 0x10}));
}

TEST_F(SimRadioTest, GarbageGoesAheadOfEveryEcho) {
  radio.SetFaults(With([](Faults& f) { f.garbageBeforeEcho = {0x7E, 0x00}; }), now);
  const auto frame = Sb9600Frame(0x03, 0x11, 0x80, 0x3F);
  EXPECT_EQ(Send(frame), Concat({0x7E, 0x00}, frame));
  EXPECT_EQ(Send(frame), Concat({0x7E, 0x00}, frame));
  EXPECT_EQ(radio.LastChannel(), 4480);
}

TEST_F(SimRadioTest, SpontaneousFramesComeOnTimeInSb9600ModeOnly) {
  radio.SetFaults(With([](Faults& f) { f.spontaneousPeriod = 250ms; }), 0s);
  EXPECT_EQ(radio.NextDeadline(), 250ms);
  EXPECT_TRUE(radio.Advance(249ms).empty());
  const auto frame = AllBytes(radio.Advance(250ms));
  ASSERT_EQ(frame.size(), 5u);
  EXPECT_EQ(Sb9600Crc(frame.data(), 5), 0);
  EXPECT_EQ(frame[3], 0x3F);
  EXPECT_EQ(radio.NextDeadline(), 500ms);

  now = 600ms;
  Enter();  // acknowledged at 1.7 s; the frames due meanwhile are skipped
  EXPECT_EQ(radio.Mode(), BusMode::Sbep);
  EXPECT_TRUE(radio.Advance(now + 2s).empty());
  EXPECT_EQ(radio.SpontaneousFramesSent(), 1u);
}

TEST_F(SimRadioTest, PacingSpacesBytesTwelveBitTimesApart) {
  Enter();
  radio.SetFaults(With([](Faults& f) { f.pacing = true; }), now);
  const auto request = ReadRequest(2, 0x00, 2);
  const Micros start = Tick();
  const auto emissions = radio.Receive(request, start);
  ASSERT_EQ(emissions.size(), 7u + 1 + 8);
  for (size_t i = 0; i < emissions.size(); ++i) {
    EXPECT_EQ(emissions[i].bytes.size(), 1u);
    EXPECT_EQ(emissions[i].at, start + Micros{1250} * static_cast<int>(i + 1));
  }
  // The next input finds the line still busy with this reply and queues behind it.
  const auto more = radio.Receive(WithSbepChecksum({0xF3, 0x1A, 0x00, 0x00}), start + 1ms);
  EXPECT_EQ(more.front().at, emissions.back().at + 1250us);
}

TEST_F(SimRadioTest, EepromImageReplacesTheDefault) {
  RadioConfig config;
  config.eeprom = {0x11, 0x22, 0x33};
  SimRadio custom(config);
  EXPECT_EQ(custom.Memory(MemorySpace::Eeprom)[2], 0x33);
  EXPECT_EQ(custom.Memory(MemorySpace::Eeprom)[3], 0xFF);
  config.eeprom.assign(kMemorySpaceSize + 1, 0);
  EXPECT_THROW(SimRadio{config}, std::invalid_argument);
}

TEST_F(SimRadioTest, RandomBytesNeverUpsetIt) {
  // Whatever arrives, in either mode: every byte is echoed and the radio
  // keeps answering afterwards.
  std::mt19937 random(7);
  for (int round = 0; round < 200; ++round) {
    if (round % 2) Enter();
    std::vector<uint8_t> noise(random() % 300);
    for (uint8_t& b : noise) b = static_cast<uint8_t>(random());
    const auto echo = Send(noise);
    EXPECT_GE(echo.size(), noise.size());
    radio.Advance(Tick());
  }
  Send(Sb9600Frame(0x00, 0x00, 0x01, 0x08));  // whatever mode it ended in
  EXPECT_EQ(Enter(), Concat(kEntryDevice1, {0x50}));
  EXPECT_EQ(Send(ReadRequest(2, 0x00, 2)).size(), 7u + 1 + 8);
}

TEST_F(SimRadioTest, TheRecordOfFramesIsBounded) {
  const auto frame = Sb9600Frame(0x00, 0x00, 0x01, 0x15);
  std::vector<uint8_t> many;
  for (size_t i = 0; i < SimRadio::kMaxRecordedFrames + 3; ++i)
    many.insert(many.end(), frame.begin(), frame.end());
  radio.Receive(many, 1s);
  EXPECT_EQ(radio.FramesReceived().size(), SimRadio::kMaxRecordedFrames);
}

}  // namespace
}  // namespace kestrune::sim
