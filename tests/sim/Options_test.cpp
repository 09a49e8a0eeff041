#include "sim/Options.h"

#include <gtest/gtest.h>

namespace kestrune::sim {
namespace {

using namespace std::chrono_literals;

TEST(SimOptions, DefaultsServeAPseudoTerminalAtTheUsualLink) {
  const ParsedOptions parsed = ParseOptions({});
  ASSERT_TRUE(parsed.options);
  EXPECT_EQ(parsed.options->linkPath, "/tmp/kestrune-radio");
  EXPECT_TRUE(parsed.options->devicePath.empty());
  EXPECT_EQ(parsed.options->radio.baudRate, 9600);
  EXPECT_FALSE(parsed.options->radio.ackDelay);
  EXPECT_FALSE(parsed.options->radio.faults.pacing);
}

TEST(SimOptions, EveryOptionReachesItsSetting) {
  const ParsedOptions parsed = ParseOptions({"-l",
                                             "/tmp/x",
                                             "--device=/dev/ttyUSB1",
                                             "-b",
                                             "4800",
                                             "--eeprom",
                                             "e.bin",
                                             "--ack-delay",
                                             "500",
                                             "--frame-gap=20",
                                             "--pacing",
                                             "--silent",
                                             "--drop-echo",
                                             "2",
                                             "--refuse-ack",
                                             "all",
                                             "--corrupt-reply",
                                             "1",
                                             "--corrupt-write",
                                             "0x1F0A2",
                                             "--garbage",
                                             "7E 00",
                                             "--spontaneous",
                                             "1000",
                                             "-q"});
  ASSERT_TRUE(parsed.options) << parsed.message;
  const SimOptions& o = *parsed.options;
  EXPECT_EQ(o.linkPath, "/tmp/x");
  EXPECT_EQ(o.devicePath, "/dev/ttyUSB1");
  EXPECT_EQ(o.radio.baudRate, 4800);
  EXPECT_EQ(o.eepromFile, "e.bin");
  EXPECT_EQ(o.radio.ackDelay, 500ms);
  EXPECT_EQ(o.radio.frameGap, 20ms);
  EXPECT_TRUE(o.radio.faults.pacing);
  EXPECT_TRUE(o.radio.faults.silent);
  EXPECT_EQ(o.radio.faults.dropEcho, 2);
  EXPECT_EQ(o.radio.faults.refuseAck, kEveryTime);
  EXPECT_EQ(o.radio.faults.corruptReply, 1);
  EXPECT_EQ(o.radio.faults.corruptWriteAddress, 0x1F0A2u);
  EXPECT_EQ(o.radio.faults.garbageBeforeEcho, (std::vector<uint8_t>{0x7E, 0x00}));
  EXPECT_EQ(o.radio.faults.spontaneousPeriod, 1000ms);
  EXPECT_TRUE(o.quiet);
}

TEST(SimOptions, MistakesAreRefusedWithExitCode2) {
  for (const std::vector<std::string>& args : {std::vector<std::string>{"--bogus"},
                                               {"--baud"},
                                               {"--baud", "0"},
                                               {"--baud", "96x"},
                                               {"--drop-echo", "-1"},
                                               {"--garbage", "7"},
                                               {"--pacing=1"},
                                               {"--frame-gap", "0"},
                                               {"--spontaneous", "0"},
                                               {"--ack-delay", "soon"},
                                               {"--corrupt-write", "100000"},
                                               {"--corrupt-write", "0x"},
                                               {"--corrupt-write", "-1"}}) {
    const ParsedOptions parsed = ParseOptions(args);
    EXPECT_FALSE(parsed.options) << args[0];
    EXPECT_EQ(parsed.exitCode, 2);
    EXPECT_NE(parsed.message.find("kestrune-sim --help"), std::string::npos);
  }
}

TEST(SimOptions, HelpNamesEveryOption) {
  const ParsedOptions parsed = ParseOptions({"--link", "x", "--help"});
  EXPECT_FALSE(parsed.options);
  EXPECT_EQ(parsed.exitCode, 0);
  for (const char* name :
       {"--link", "--device", "--baud", "--eeprom", "--ack-delay", "--frame-gap", "--silent",
        "--drop-echo", "--refuse-ack", "--corrupt-reply", "--corrupt-write", "--garbage",
        "--spontaneous", "--pacing", "--quiet", "--help"})
    EXPECT_NE(parsed.message.find(name), std::string::npos) << name;
}

}  // namespace
}  // namespace kestrune::sim
