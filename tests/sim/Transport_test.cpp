// The radio on its transports: a pseudo-terminal with a plain POSIX client on
// the other side, the in-process socket with visible DTR, and kestrune-sim.
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "protocol/CRC16.h"
#include "sim/InProcessRadio.h"
#include "sim/PtyLine.h"
#include "sim/RadioLink.h"
#include "tests/support/Files.h"
#include "tests/support/Frames.h"
#include "tests/support/Process.h"
#include "tests/support/PtyPair.h"
#include "tests/support/Wait.h"

namespace kestrune::sim {
namespace {

using namespace kestrune::test;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

void WriteTo(int fd, const std::vector<uint8_t>& bytes) {
  ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

// The program's side of the pseudo-terminal, opened through the link.
int OpenClient(const std::string& path) {
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY);
  if (fd < 0) return fd;
  termios tio{};
  tcgetattr(fd, &tio);
  cfmakeraw(&tio);
  tcsetattr(fd, TCSANOW, &tio);
  return fd;
}

std::chrono::nanoseconds ThreadCpuTime(std::thread& thread) {
  clockid_t clock;
  pthread_getcpuclockid(thread.native_handle(), &clock);
  timespec ts{};
  clock_gettime(clock, &ts);
  return std::chrono::seconds(ts.tv_sec) + std::chrono::nanoseconds(ts.tv_nsec);
}

class PtyRadio : public ::testing::Test {
 protected:
  PtyRadio() : pty(link), radio(Config(), pty.MasterFd()) {
    thread = std::thread([this] { end = radio.Run(); });
  }
  ~PtyRadio() override {
    radio.Stop();
    thread.join();
  }
  static RadioConfig Config() {
    RadioConfig config;
    config.ackDelay = 20ms;
    return config;
  }

  ScratchDir dir;
  std::string link = dir.File("radio");
  PtyLine pty;
  RadioLink radio;
  RadioLink::End end = RadioLink::End::LineError;
  std::thread thread;
};

TEST_F(PtyRadio, APlainClientEntersSbepAndReadsThroughTheLink) {
  ASSERT_EQ(fs::read_symlink(link).string(), pty.SlavePath());
  const int fd = OpenClient(link);
  ASSERT_GE(fd, 0);
  WriteTo(fd, kEntryDevice1);
  EXPECT_EQ(ReadBytes(fd, 6), Concat(kEntryDevice1, {0x50}));
  const auto request = ReadRequest(2, 0x00, 0x0002);
  WriteTo(fd, request);
  const auto answer = ReadBytes(fd, 7 + 1 + 8);
  ASSERT_EQ(answer.size(), 16u);
  EXPECT_EQ(answer[13], 0x0B);
  EXPECT_EQ(answer[14], 0x00);
  close(fd);
  EXPECT_TRUE(radio.WithRadio([](SimRadio& r) { return r.Mode() == BusMode::Sbep; }));
}

TEST_F(PtyRadio, ClosingAndReopeningThePortNeitherSpinsNorBreaksTheLine) {
  for (int round = 0; round < 3; ++round) {
    const int fd = OpenClient(link);
    ASSERT_GE(fd, 0) << "round " << round;
    WriteTo(fd, kEntryDevice1);
    EXPECT_EQ(ReadBytes(fd, 6), Concat(kEntryDevice1, {0x50})) << "round " << round;
    close(fd);
  }
  // With the port closed the loop sleeps in poll and its thread uses next
  // to no CPU time over a quiet spell. A spinning loop uses all the time the
  // scheduler gives it: on an idle machine the whole spell, and a quarter of
  // it is far more than a sleeping loop needs, however busy the machine is.
  const auto spellBegan = std::chrono::steady_clock::now();
  const auto before = ThreadCpuTime(thread);
  std::this_thread::sleep_for(300ms);  // the spell: nothing to wait for but time
  const auto used = ThreadCpuTime(thread) - before;
  EXPECT_LT(used, (std::chrono::steady_clock::now() - spellBegan) / 4);
}

TEST_F(PtyRadio, StopEndsTheLoop) {
  radio.Stop();
  thread.join();
  EXPECT_EQ(end, RadioLink::End::Stopped);
  thread = std::thread([] {});  // for the fixture's join
}

TEST(PtyLineLink, IsReplacedWhenStaleRemovedWhenOwnAndNeverClobbersAFile) {
  const ScratchDir dir;
  const std::string link = dir.File("radio");
  fs::create_symlink("/nonexistent/pts", link);  // left behind by a killed run
  {
    PtyLine pty(link);
    EXPECT_EQ(fs::read_symlink(link).string(), pty.SlavePath());
  }
  EXPECT_TRUE(fs::symlink_status(link).type() == fs::file_type::not_found);

  auto first = std::make_unique<PtyLine>(link);
  auto second = std::make_unique<PtyLine>(link);  // takes the path over
  EXPECT_EQ(fs::read_symlink(link).string(), second->SlavePath());
  first.reset();  // the path is no longer its link: left alone
  EXPECT_EQ(fs::read_symlink(link).string(), second->SlavePath());
  second.reset();
  EXPECT_TRUE(fs::symlink_status(link).type() == fs::file_type::not_found);

  std::ofstream(link) << "settings";
  EXPECT_THROW(PtyLine{link}, std::runtime_error);
  EXPECT_TRUE(fs::is_regular_file(link));
  fs::remove(link);

  PtyLine unlinked("");
  EXPECT_TRUE(unlinked.LinkPath().empty());
  EXPECT_EQ(unlinked.SlavePath().rfind("/dev/pts/", 0), 0u);
}

// ---- in process ---------------------------------------------------------------

TEST(InProcess, DtrChangesReachTheRadioAfterTheBytesWrittenBeforeThem) {
  InProcessRadio radio;
  radio.Write(kEntryDevice1);
  radio.SetDtr(true);  // right behind the frame: must not overtake it
  EXPECT_EQ(radio.Read(6, kPatience), Concat(kEntryDevice1, {0x50}));
  EXPECT_EQ(radio.WithRadio([](SimRadio& r) { return r.Mode(); }), BusMode::Sbep);
  radio.SetDtr(false);
  EXPECT_EQ(radio.WithRadio([](SimRadio& r) { return r.Mode(); }), BusMode::Sb9600);
}

TEST(InProcess, SpontaneousFramesArriveOnTheirOwn) {
  InProcessRadio radio;
  Faults faults;
  faults.spontaneousPeriod = 20ms;
  radio.SetFaults(faults);
  const auto bytes = radio.Read(10, kPatience);
  ASSERT_EQ(bytes.size(), 10u);
  EXPECT_EQ(Sb9600Crc(bytes.data(), 5), 0);
  EXPECT_EQ(Sb9600Crc(bytes.data() + 5, 5), 0);
}

TEST(InProcess, PacingTakesTwelveBitTimesPerByte) {
  InProcessRadio radio;
  radio.Write(kEntryDevice1);
  radio.SetDtr(true);
  ASSERT_EQ(radio.Read(6, kPatience).size(), 6u);
  Faults faults;
  faults.pacing = true;
  radio.SetFaults(faults);
  const auto start = std::chrono::steady_clock::now();
  radio.Write(ReadRequest(64, 0x00, 0));
  const auto answer = radio.Read(7 + 1 + 72, kPatience);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  ASSERT_EQ(answer.size(), 80u);
  EXPECT_GE(elapsed, 80 * 1250us);  // the bytes cannot come sooner than the line carries them
}

// ---- kestrune-sim ---------------------------------------------------------------

// kestrune-sim started in a scratch folder, its standard output in a file.
class SimProgram {
 public:
  explicit SimProgram(std::vector<std::string> args)
      : process_(WithProgram(std::move(args)), ProcessIo{dir_.Path(), {}, Out(), {}, {}}) {}

  const ScratchDir& Dir() const { return dir_; }
  std::string Output() const { return ReadFile(Out()); }
  // Waits until the output holds `text`.
  bool WaitForOutput(const std::string& text) const { return WaitForText(Out(), text); }
  int Signal(int sig) {
    process_.Signal(sig);
    return process_.Wait();
  }
  int Wait() { return process_.Wait(); }

 private:
  static std::vector<std::string> WithProgram(std::vector<std::string> args) {
    args.insert(args.begin(), KESTRUNE_SIM_EXE);
    return args;
  }
  fs::path Out() const { return dir_.Path() / "out.txt"; }

  ScratchDir dir_;
  Process process_;
};

TEST(KestruneSim, PrintsItsLinkTracesTheBusAndCleansUpOnSigterm) {
  for (const int sig : {SIGTERM, SIGINT}) {
    const ScratchDir dir;
    const std::string link = dir.File("radio");
    SimProgram sim({"--link", link, "--ack-delay", "20"});
    ASSERT_TRUE(sim.WaitForOutput("\n")) << "no first line";
    const std::string first = sim.Output();
    ASSERT_EQ(first.rfind("kestrune-sim: link " + link + " -> /dev/pts/", 0), 0u) << first;
    const int fd = OpenClient(link);
    ASSERT_GE(fd, 0);
    WriteTo(fd, kEntryDevice1);
    EXPECT_EQ(ReadBytes(fd, 6), Concat(kEntryDevice1, {0x50}));
    EXPECT_TRUE(sim.WaitForOutput("EXPANDED PROTOCOL REQUEST: device 1  [00 12 01 06 02]\n"));
    EXPECT_TRUE(sim.WaitForOutput("ack      accepted  [50]\n"));
    close(fd);
    EXPECT_EQ(sim.Signal(sig), 0);
    EXPECT_TRUE(fs::symlink_status(link).type() == fs::file_type::not_found);
  }
}

TEST(KestruneSim, HelpAndMistakes) {
  SimProgram help({"--help"});
  EXPECT_EQ(help.Wait(), 0);
  EXPECT_NE(help.Output().find("--corrupt-reply N"), std::string::npos) << help.Output();
  SimProgram wrong({"--baud", "fast"});
  EXPECT_EQ(wrong.Wait(), 2);
  SimProgram missing({"--eeprom", "/nonexistent/eeprom.bin"});
  EXPECT_EQ(missing.Wait(), 1);
}

}  // namespace
}  // namespace kestrune::sim
