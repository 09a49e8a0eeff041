#include "CliTestKit.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace kestrune::cli::test {

namespace {

using Clock = std::chrono::steady_clock;

bool IsTimeOfDay(const std::string& line) {
  if (line.size() < 10) return false;
  for (size_t i : {0, 1, 3, 4, 6, 7})
    if (line[i] < '0' || line[i] > '9') return false;
  return line[2] == ':' && line[5] == ':' && line.compare(8, 2, "  ") == 0;
}

}  // namespace

TProcess::TProcess(const std::vector<std::string>& args, const fs::path& workDir,
                   const fs::path& outFile, const fs::path& errFile, const fs::path& inFile) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addchdir_np(&actions, workDir.c_str());
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO,
                                   inFile.empty() ? "/dev/null" : inFile.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outFile.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errFile.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) throw std::runtime_error("cannot start " + args[0]);
  pidfd_ = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));
}

TProcess::~TProcess() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (pidfd_ >= 0) close(pidfd_);
}

void TProcess::Signal(int sig) const {
  if (pid_ > 0) kill(pid_, sig);
}

int TProcess::Wait() {
  if (pid_ <= 0) return -1;
  pollfd pfd{pidfd_, POLLIN, 0};
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(kProgramPatience).count();
  if (poll(&pfd, 1, static_cast<int>(ms)) != 1) return -1;
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool WaitForText(const fs::path& file, const std::string& text) {
  const int fd = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
  inotify_add_watch(fd, file.parent_path().c_str(), IN_CREATE | IN_MODIFY | IN_CLOSE_WRITE);
  const auto deadline = Clock::now() + kProgramPatience;
  bool found = false;
  while (!(found = ReadFile(file).find(text) != std::string::npos)) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left <= 0ms) break;
    pollfd pfd{fd, POLLIN, 0};
    if (poll(&pfd, 1, static_cast<int>(left.count())) == 1) {
      char events[4096];
      while (read(fd, events, sizeof events) > 0) {
      }
    }
  }
  close(fd);
  return found;
}

std::vector<std::string> LogTexts(const std::string& output) {
  std::vector<std::string> texts;
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    EXPECT_TRUE(IsTimeOfDay(line)) << "not a log line: " << line;
    texts.push_back(line.size() > 10 ? line.substr(10) : std::string());
  }
  return texts;
}

TCliBench::TCliBench(const std::vector<std::string>& simArgs) {
  char pattern[] = "/tmp/kestrune-cli-XXXXXX";
  if (!mkdtemp(pattern)) throw std::runtime_error("no temporary folder");
  dir_ = pattern;
  StartSimulator(simArgs);
}

TCliBench::~TCliBench() {
  if (sim_) {
    sim_->Signal(SIGTERM);
    sim_->Wait();
  }
  fs::remove_all(dir_);
}

void TCliBench::StartSimulator(const std::vector<std::string>& simArgs) {
  std::vector<std::string> args{KESTRUNE_SIM_PROGRAM, "--link", Link().string()};
  args.insert(args.end(), simArgs.begin(), simArgs.end());
  sim_ = std::make_unique<TProcess>(args, dir_, TraceFile(), dir_ / "sim-err.txt");
  // Its first line names the link, once the link is there.
  if (!WaitForText(TraceFile(), "kestrune-sim: link " + Link().string()))
    throw std::runtime_error("the simulator did not start: " + ReadFile(dir_ / "sim-err.txt"));
}

void TCliBench::RestartSimulator(const std::vector<std::string>& simArgs) {
  sim_->Signal(SIGTERM);
  sim_->Wait();
  sim_.reset();
  StartSimulator(simArgs);
}

std::vector<std::string> TCliBench::CliArgs(const std::vector<std::string>& args,
                                            bool withDevice) const {
  std::vector<std::string> all{KESTRUNE_CLI_PROGRAM};
  if (withDevice) all.insert(all.end(), {"--device", Link().string()});
  all.insert(all.end(), args.begin(), args.end());
  return all;
}

TCliRun TCliBench::Run(const std::vector<std::string>& args, bool withDevice,
                       const std::string& stdinText) {
  const fs::path in = dir_ / "cli-in.txt";
  std::ofstream(in, std::ios::binary) << stdinText;
  TProcess cli(CliArgs(args, withDevice), dir_, Out(), Err(), in);
  TCliRun run;
  run.status = cli.Wait();
  run.out = ReadFile(Out());
  run.err = ReadFile(Err());
  return run;
}

std::unique_ptr<TProcess> TCliBench::Start(const std::vector<std::string>& args) {
  return std::make_unique<TProcess>(CliArgs(args, true), dir_, Out(), Err());
}

}  // namespace kestrune::cli::test
