// The engine's pure parts and its receive path, driven without threads or a
// port: bytes are handed to the recognition pass as one read would hand them.
#include <gtest/gtest.h>

#include "protocol/PlainEventPump.h"
#include "protocol/SB9600.h"
#include "tests/support/EngineTestPeer.h"
#include "tests/support/Frames.h"

namespace kestrune {
namespace {

using namespace test;

const Bytes kEntryRequest{0x00, 0x12, 0x01, 0x06, 0x02};
// SBEP read request (extended opcode 0x11, size 5) and a reply (opcode 0x80).
const Bytes kReadRequest = WithSbepChecksum({0xF5, 0x11, 0x01, 0x00, 0x20, 0x00});
const Bytes kReadReply = WithSbepChecksum({0xF4, 0x80, 0xAA, 0xBB, 0xCC});

class ReceivePath : public ::testing::Test {
 protected:
  PlainEventPump pump;
  TSb9600 engine{pump};
  TSb9600TestPeer peer{engine};

  // SBEP mode, the request sent and its echo and acknowledge received.
  void SbepRequestAcknowledged(const Bytes& request) {
    engine.SbepMode = true;
    peer.Sent(request);
    Bytes echoAndAck = request;
    echoAndAck.push_back(0x50);
    peer.Receive(echoAndAck);
  }
};

TEST_F(ReceivePath, EchoCompletesAnSb9600Exchange) {
  peer.Sent(kEntryRequest);
  EXPECT_FALSE(engine.IsExchangeDone());
  EXPECT_EQ(peer.Receive(kEntryRequest), "");  // the echo is not named
  EXPECT_TRUE(engine.wfStage.done.echo);
  EXPECT_TRUE(engine.IsExchangeDone());
  EXPECT_EQ(peer.Count(), 0);
  EXPECT_TRUE(engine.RecvPkt().empty());
}

TEST_F(ReceivePath, EchoSplitOverTwoReadsCompletesOnTheSecond) {
  peer.Sent(kEntryRequest);
  peer.Receive({0x00, 0x12, 0x01});
  EXPECT_FALSE(engine.wfStage.done.echo);
  EXPECT_EQ(peer.Buffer(), (Bytes{0x00, 0x12, 0x01}));
  peer.Receive({0x06, 0x02});
  EXPECT_TRUE(engine.IsExchangeDone());
  EXPECT_EQ(peer.Count(), 0);
}

TEST_F(ReceivePath, BytesBeforeTheEchoAreSkippedOneByOne) {
  peer.Sent(kEntryRequest);
  peer.Receive({0x7E, 0x00, 0x7E, 0x00, 0x12, 0x01, 0x06, 0x02});
  EXPECT_TRUE(engine.IsExchangeDone());
  EXPECT_EQ(peer.Count(), 0);
}

TEST_F(ReceivePath, GarbageShorterThanTheEchoWaitsForMoreBytes) {
  peer.Sent(kEntryRequest);
  peer.Receive({0x7E, 0x00, 0x12, 0x01});
  EXPECT_EQ(peer.Count(), 4);
  peer.Receive({0x06, 0x02});
  EXPECT_TRUE(engine.IsExchangeDone());
}

TEST_F(ReceivePath, RadioFramesAfterTheEchoAreNamed) {
  peer.Sent(kEntryRequest);
  Bytes bytes = kEntryRequest;
  const Bytes channel = Sb9600Frame(0x00, 0x00, 0x05, 0x3F);
  bytes.insert(bytes.end(), channel.begin(), channel.end());
  EXPECT_EQ(peer.Receive(bytes), "CHANNEL NUMBER");
  EXPECT_EQ(peer.Count(), 0);
  // Named frames set no stage and are not kept.
  EXPECT_FALSE(engine.wfStage.done.data);
  EXPECT_TRUE(engine.RecvPkt().empty());
}

TEST_F(ReceivePath, TheLastNamedFrameOfAPassDescribesTheRead) {
  peer.Sent(kEntryRequest);
  peer.Receive(kEntryRequest);
  Bytes frames = Sb9600Frame(0x01, 0x02, 0x03, 0x81);
  const Bytes unnamed = Sb9600Frame(0x00, 0x00, 0x00, 0x02);
  frames.insert(frames.end(), unnamed.begin(), unnamed.end());
  // A second opcode of a shared name is named like the first one.
  EXPECT_EQ(peer.Receive(frames), "CHANNEL INFORMATION");
  EXPECT_EQ(peer.Receive(unnamed), "");
  EXPECT_EQ(peer.Count(), 0);
}

TEST_F(ReceivePath, AFrameWithAWrongCheckByteDiscardsTheBuffer) {
  peer.Sent(kEntryRequest);
  peer.Receive(kEntryRequest);
  Bytes bad = Sb9600Frame(0x00, 0x00, 0x05, 0x3F);
  bad[4] ^= 0x01;
  const Bytes good = Sb9600Frame(0x00, 0x00, 0x01, 0x3F);
  bad.insert(bad.end(), good.begin(), good.end());
  EXPECT_EQ(peer.Receive(bad), "");
  EXPECT_EQ(peer.Count(), 0);
}

TEST_F(ReceivePath, PartialFrameWaitsForTheRest) {
  peer.Sent(kEntryRequest);
  peer.Receive(kEntryRequest);
  const Bytes frame = Sb9600Frame(0x00, 0x00, 0x05, 0x3F);
  peer.Receive({frame.begin(), frame.begin() + 4});
  EXPECT_EQ(peer.Count(), 4);
  EXPECT_EQ(peer.Receive({frame[4]}), "CHANNEL NUMBER");
}

TEST_F(ReceivePath, FfIsNoFrameStartAndTakesThreeBytes) {
  peer.Sent(kEntryRequest);
  peer.Receive(kEntryRequest);
  peer.Receive({0xFF, 0x01});
  EXPECT_EQ(peer.Count(), 0);
  Bytes bytes{0xFF, 0x01, 0x02};
  const Bytes frame = Sb9600Frame(0x00, 0x00, 0x05, 0x3F);
  bytes.insert(bytes.end(), frame.begin(), frame.end());
  EXPECT_EQ(peer.Receive(bytes), "CHANNEL NUMBER");
  EXPECT_EQ(peer.Count(), 0);
}

TEST_F(ReceivePath, SbepRequestCompletesOnEchoAckAndReply) {
  engine.SbepMode = true;
  peer.Sent(kReadRequest);
  EXPECT_TRUE(engine.wfStage.waiting.ack);
  EXPECT_TRUE(engine.wfStage.waiting.data);
  Bytes bytes = kReadRequest;
  bytes.push_back(0x50);
  bytes.insert(bytes.end(), kReadReply.begin(), kReadReply.end());
  peer.Receive(bytes);
  EXPECT_EQ(engine.SbepResp(), 0x50);
  EXPECT_EQ(engine.RecvPkt(), kReadReply);
  EXPECT_TRUE(engine.wfStage.done.data);
  EXPECT_TRUE(engine.IsExchangeDone());
  EXPECT_EQ(peer.Count(), 0);
}

TEST_F(ReceivePath, SbepReplyWithABadChecksumEmptiesTheBufferAndLeavesTheStageOpen) {
  SbepRequestAcknowledged(kReadRequest);
  Bytes bad(kReadReply.begin(), kReadReply.end() - 1);
  bad.push_back(static_cast<uint8_t>(kReadReply.back() - 1));  // byte sum 0xFE
  bad.push_back(0x50);                                         // not looked at any more
  peer.Receive(bad);
  EXPECT_EQ(peer.Count(), 0);
  EXPECT_TRUE(engine.RecvPkt().empty());
  EXPECT_FALSE(engine.wfStage.done.data);
  EXPECT_FALSE(engine.IsExchangeDone());
}

TEST_F(ReceivePath, SbepReplyArrivingInPiecesIsTakenWhenComplete) {
  SbepRequestAcknowledged(kReadRequest);
  peer.Receive({kReadReply.begin(), kReadReply.begin() + 3});
  EXPECT_EQ(peer.Count(), 3);
  peer.Receive({kReadReply.begin() + 3, kReadReply.end()});
  EXPECT_EQ(engine.RecvPkt(), kReadReply);
  EXPECT_TRUE(engine.IsExchangeDone());
}

TEST_F(ReceivePath, SixteenBitSizeFieldMustBeCompleteBeforeTheLengthIsKnown) {
  SbepRequestAcknowledged(kReadRequest);
  Bytes longReply{0xFF, 0x80, 0x00, 0x04, 0x01, 0x02, 0x03};
  longReply = WithSbepChecksum(longReply);
  peer.Receive({0xFF, 0x80, 0x00});
  EXPECT_EQ(peer.Count(), 3);
  peer.Receive({longReply.begin() + 3, longReply.end()});
  EXPECT_EQ(engine.RecvPkt(), longReply);
  EXPECT_TRUE(engine.wfStage.done.data);
}

TEST_F(ReceivePath, HeaderOnlyPacketsBeforeTheReplyAreStepped) {
  SbepRequestAcknowledged(kReadRequest);
  Bytes bytes{0x60};
  bytes.insert(bytes.end(), kReadReply.begin(), kReadReply.end());
  peer.Receive(bytes);
  EXPECT_EQ(engine.RecvPkt(), kReadReply);
  EXPECT_TRUE(engine.wfStage.done.data);
  EXPECT_EQ(engine.SbepResp(), 0x50);  // the first acknowledge counts
}

TEST_F(ReceivePath, AHeaderOnlyPacketAloneIsKeptButCompletesNothing) {
  SbepRequestAcknowledged(kReadRequest);
  peer.Receive({0x60});
  EXPECT_EQ(engine.RecvPkt(), (Bytes{0x60}));
  EXPECT_FALSE(engine.wfStage.done.data);
  // Every pass starts with an empty received packet.
  peer.Receive({0xF4});
  EXPECT_TRUE(engine.RecvPkt().empty());
}

TEST_F(ReceivePath, AcknowledgeSkipsOtherBytes) {
  engine.SbepMode = true;
  const Bytes request = WithSbepChecksum({0xF3, 0x1A, 0x01, 0x02});
  peer.Sent(request);
  EXPECT_FALSE(engine.wfStage.waiting.data);  // 0x1A has no reply
  peer.Receive(request);
  EXPECT_FALSE(engine.IsExchangeDone());
  peer.Receive({0x12, 0x34, 0x60});
  EXPECT_EQ(engine.SbepResp(), 0x60);
  EXPECT_TRUE(engine.wfStage.done.ack);
  EXPECT_TRUE(engine.IsExchangeDone());
}

TEST_F(ReceivePath, SbepModeWithEveryStageDoneLeavesExtraBytesBuffered) {
  SbepRequestAcknowledged(WithSbepChecksum({0xF3, 0x26, 0x01, 0x02}));
  ASSERT_TRUE(engine.IsExchangeDone());
  peer.Receive({0x42});
  EXPECT_EQ(peer.Buffer(), (Bytes{0x42}));
  // Not even a valid SB9600 frame is taken while in SBEP mode.
  peer.Receive(Sb9600Frame(0x00, 0x00, 0x05, 0x3F));
  EXPECT_EQ(peer.Count(), 6);
}

TEST_F(ReceivePath, AStaleReplyStageKeepsSb9600FramesBuffered) {
  engine.SbepMode = true;
  peer.Sent(kReadRequest);
  engine.SbepMode = false;  // the script runner may clear the mode by itself
  peer.Receive(kReadRequest);
  const Bytes frame = Sb9600Frame(0x00, 0x00, 0x05, 0x3F);
  EXPECT_EQ(peer.Receive(frame), "");
  EXPECT_EQ(peer.Count(), 5);
}

TEST_F(ReceivePath, AcknowledgeIsOnlyTakenInSbepMode) {
  peer.Sent(kEntryRequest);
  engine.wfStage.waiting.ack = true;
  Bytes bytes = kEntryRequest;
  bytes.push_back(0x50);
  peer.Receive(bytes);
  EXPECT_FALSE(engine.wfStage.done.ack);
  EXPECT_EQ(peer.Buffer(), (Bytes{0x50}));
}

TEST_F(ReceivePath, SbepEntryAwaitsTheAcknowledgeOnly) {
  engine.wfStage.Clear();
  engine.wfStage.waiting.ack = true;
  engine.SbepMode = true;
  peer.Receive({0x00, 0x50});
  EXPECT_EQ(engine.SbepResp(), 0x50);
  EXPECT_TRUE(engine.IsExchangeDone());
  EXPECT_FALSE(engine.wfStage.done.echo);
  EXPECT_FALSE(engine.wfStage.waiting.echo);
}

TEST_F(ReceivePath, BufferIsDiscardedBeforeItWouldReach4096Bytes) {
  peer.Sent(kEntryRequest);
  engine.SbepMode = true;  // nothing is taken: every byte stays buffered
  engine.wfStage.done.echo = true;
  peer.Receive(Bytes(3000, 0x11));
  ASSERT_EQ(peer.Count(), 3000);
  peer.Receive(Bytes(1200, 0x22));
  EXPECT_EQ(peer.Buffer(), Bytes(1200, 0x22));
  // Up to 4095 bytes are kept.
  peer.Receive(Bytes(2895, 0x33));
  EXPECT_EQ(peer.Count(), 4095);
  peer.Receive({0x44});
  EXPECT_EQ(peer.Buffer(), (Bytes{0x44}));
}

TEST_F(ReceivePath, ANewAttemptForgetsTheBufferAndThePreviousStages) {
  peer.Sent(kEntryRequest);
  peer.Receive({0x00, 0x12});
  peer.Sent(kEntryRequest);
  EXPECT_EQ(peer.Count(), 0);
  EXPECT_FALSE(engine.wfStage.done.echo);
  EXPECT_EQ(peer.SentPkt(), kEntryRequest);
}

TEST_F(ReceivePath, CtsReleaseEmptiesTheBuffer) {
  peer.Sent(kEntryRequest);
  peer.Receive({0x00, 0x12, 0x01});
  TComPort neverOpened;  // reads CTS as inactive
  engine.PortCtsChanged(neverOpened);
  EXPECT_FALSE(engine.CtsState);
  EXPECT_EQ(peer.Count(), 0);
}

// ---------------------------------------------------------------- pure parts

TEST(SbepPacketLength, HeaderSizeAndExtendedForms) {
  int32_t len = -1;
  int32_t data = -1;
  const Bytes ack{0x50};
  EXPECT_TRUE(TSb9600::GetSbepPktLen(ack.data(), 1, len, data));
  EXPECT_EQ(len, 1);
  EXPECT_EQ(data, 0);
  const Bytes read{0xF5, 0x11};
  EXPECT_TRUE(TSb9600::GetSbepPktLen(read.data(), 2, len, data));
  EXPECT_EQ(len, 7);
  EXPECT_EQ(data, 5);
  const Bytes sized{0x1F, 0x00, 0x0C};
  EXPECT_TRUE(TSb9600::GetSbepPktLen(sized.data(), 3, len, data));
  EXPECT_EQ(len, 15);
  EXPECT_EQ(data, 12);
  const Bytes both{0xFF, 0x80, 0x00, 0x10};
  EXPECT_TRUE(TSb9600::GetSbepPktLen(both.data(), 4, len, data));
  EXPECT_EQ(len, 20);
  EXPECT_EQ(data, 16);
}

TEST(SbepPacketLength, TooFewBytesForTheSizeField) {
  int32_t len = 0;
  int32_t data = 0;
  const Bytes both{0xFF, 0x80, 0x00};
  EXPECT_FALSE(TSb9600::GetSbepPktLen(both.data(), 3, len, data));
  const Bytes sized{0x1F, 0x00};
  EXPECT_FALSE(TSb9600::GetSbepPktLen(sized.data(), 2, len, data));
  EXPECT_FALSE(TSb9600::GetSbepPktLen(sized.data(), 0, len, data));
}

TEST(Opcodes, SbepOpcodeOnlyFromExtendedHeaders) {
  const Bytes extended{0xF5, 0x11};
  const Bytes inHeader{0x15, 0x11};
  EXPECT_EQ(TSb9600::GetSbepOpcode(extended.data(), 2), 0x11);
  EXPECT_EQ(TSb9600::GetSbepOpcode(extended.data(), 1), 0);
  EXPECT_EQ(TSb9600::GetSbepOpcode(inHeader.data(), 2), 0);
}

TEST(Opcodes, PacketOpcodeFollowsTheMode) {
  PlainEventPump pump;
  TSb9600 engine(pump);
  const Bytes pkt{0xF5, 0x11};
  EXPECT_EQ(engine.GetPktOpcode(pkt.data(), 2), 0xF5);
  EXPECT_EQ(engine.GetPktOpcode(pkt.data(), 0), 0);
  engine.SbepMode = true;
  EXPECT_EQ(engine.GetPktOpcode(pkt.data(), 2), 0x11);
}

TEST(Opcodes, ReplyIsAwaitedForEveryRequestKeyAndNoOther) {
  PlainEventPump pump;
  TSb9600 engine(pump);
  TSb9600TestPeer peer(engine);
  engine.SbepMode = true;
  for (uint8_t op : {0x11, 0x24, 0xD8}) {
    peer.Sent(WithSbepChecksum({0xF3, op, 0x00, 0x00}));
    EXPECT_TRUE(engine.wfStage.waiting.data) << int(op);
  }
  for (uint8_t op : {0x1A, 0x26}) {
    peer.Sent(WithSbepChecksum({0xF3, op, 0x00, 0x00}));
    EXPECT_FALSE(engine.wfStage.waiting.data) << int(op);
    EXPECT_TRUE(engine.wfStage.waiting.ack);
  }
  EXPECT_EQ(engine.Sb9600OpcodesDescr.size(), 95u);
  EXPECT_EQ(engine.SbepRespOpcodesDescr.size(), 26u);
  EXPECT_EQ(engine.SbepRespOpcodesResp.at(0x24), 0x00);
}

TEST(PostSendDelay, TransmissionTimeAtTwelveBitsPerBytePlusNinety) {
  EXPECT_EQ(TSb9600::PostSendDelayMs(9600, 4), 94);
  EXPECT_EQ(TSb9600::PostSendDelayMs(9600, 5), 96);
  EXPECT_EQ(TSb9600::PostSendDelayMs(9600, 7), 98);
  EXPECT_EQ(TSb9600::PostSendDelayMs(4800, 4), 99);
  EXPECT_EQ(TSb9600::PostSendDelayMs(1200, 100), 1089);  // 0.01 s in single precision is below 0.01
}

TEST(ExchangeDone, Sb9600ModeLeavesOutTheAcknowledgeOnly) {
  PlainEventPump pump;
  TSb9600 engine(pump);
  engine.wfStage.waiting.echo = true;
  engine.wfStage.waiting.ack = true;
  EXPECT_FALSE(engine.IsExchangeDone());
  engine.wfStage.done.echo = true;
  EXPECT_TRUE(engine.IsExchangeDone());
  engine.SbepMode = true;
  EXPECT_FALSE(engine.IsExchangeDone());
  engine.wfStage.done.ack = true;
  EXPECT_TRUE(engine.IsExchangeDone());
}

// The script runner may clear the mode while an SBEP request waits for its
// reply; the echo alone must not then pass for the whole exchange.
TEST(ExchangeDone, AReplyStillAwaitedKeepsTheExchangeOpenInSb9600Mode) {
  PlainEventPump pump;
  TSb9600 engine(pump);
  TSb9600TestPeer peer(engine);
  const Bytes request = WithSbepChecksum({0xF5, 0x11, 0x01, 0x00, 0x20, 0x00});
  engine.SbepMode = true;
  peer.Sent(request);
  engine.SbepMode = false;
  peer.Receive(request);
  ASSERT_TRUE(engine.wfStage.done.echo);
  EXPECT_FALSE(engine.IsExchangeDone());
}

}  // namespace
}  // namespace kestrune
