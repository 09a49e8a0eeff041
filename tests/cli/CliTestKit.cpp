#include "CliTestKit.h"

#include <signal.h>

#include <algorithm>
#include <stdexcept>

namespace kestrune::test {

TCliBench::TCliBench(const std::vector<std::string>& simArgs) { StartSimulator(simArgs); }

TCliBench::~TCliBench() { StopSimulator(); }

void TCliBench::StartSimulator(const std::vector<std::string>& simArgs) {
  std::vector<std::string> args{KESTRUNE_SIM_PROGRAM, "--link", Link().string()};
  args.insert(args.end(), simArgs.begin(), simArgs.end());
  const fs::path err = Dir() / "sim-err.txt";
  sim_ = std::make_unique<Process>(args, ProcessIo{Dir(), {}, TraceFile(), err, {}});
  // Its first line names the link, once the link is there.
  if (!WaitForText(TraceFile(), "kestrune-sim: link " + Link().string(), kProgramPatience))
    throw std::runtime_error("the simulator did not start: " + ReadFile(err));
}

void TCliBench::StopSimulator() {
  if (!sim_) return;
  sim_->Signal(SIGTERM);
  sim_->Wait();
  sim_.reset();
}

void TCliBench::UnplugRadio() {
  if (!sim_) return;
  sim_->Signal(SIGKILL);
  sim_->Wait();
  sim_.reset();
  fs::remove(Link());
}

void TCliBench::RestartSimulator(const std::vector<std::string>& simArgs) {
  StopSimulator();
  StartSimulator(simArgs);
}

std::vector<std::string> TCliBench::CliArgs(const std::vector<std::string>& args,
                                            bool withDevice) const {
  std::vector<std::string> all{KESTRUNE_CLI_PROGRAM};
  if (withDevice) all.insert(all.end(), {"--device", Link().string()});
  all.insert(all.end(), args.begin(), args.end());
  const auto given = [&](const char* option) {
    return std::find(args.begin(), args.end(), option) != args.end();
  };
  if (!args.empty() && args[0] == "write" && !given("--no-backup") && !given("--backup-dir"))
    all.insert(all.end(), {"--backup-dir", BackupDir().string()});
  return all;
}

TCliRun TCliBench::Run(const std::vector<std::string>& args, bool withDevice,
                       const std::string& stdinText) {
  const fs::path in = Dir() / "cli-in.txt";
  WriteFile(in, stdinText);
  Process cli(CliArgs(args, withDevice), ProcessIo{Dir(), in, Out(), Err(), {}});
  TCliRun run;
  run.status = cli.Wait();
  run.out = ReadFile(Out());
  run.err = ReadFile(Err());
  return run;
}

std::unique_ptr<Process> TCliBench::Start(const std::vector<std::string>& args) {
  return std::make_unique<Process>(CliArgs(args, true), ProcessIo{Dir(), {}, Out(), Err(), {}});
}

}  // namespace kestrune::test
