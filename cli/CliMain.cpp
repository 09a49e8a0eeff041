#include "cli/CliMain.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

#include "cli/CliOptions.h"
#include "cli/CliOutput.h"
#include "cli/CliPlatform.h"
#include "cli/Commands.h"
#include "cli/HelpText.h"
#include "cli/PortSetup.h"
#include "cli/StopSignals.h"
#include "console/core/LineSettings.h"
#include "console/core/LogFile.h"
#include "console/core/PermissionHint.h"
#include "protocol/PlainEventPump.h"
#include "protocol/SB9600.h"

namespace kestrune::cli {

namespace {

// Everything the command line says, checked before the port opens.
struct TPreparedRun {
  TCommandLine Line;
  TRunner Runner;
  TPortSetup Port;
};

int UsageError(const EUsageError& e) {
  const std::string help =
      e.Command().empty() ? "kestrune-cli --help" : "kestrune-cli " + e.Command() + " --help";
  CliOutput().Error(std::string(e.what()) + "\nTry '" + help + "'.");
  return kExitUsage;
}

// Help for the program or a command; nothing when the line asks for none.
bool PrintHelp(const TCommandLine& line) {
  if (!line.Help && !line.Command.empty()) return false;
  if (!line.Help) throw EUsageError("no command given");
  if (line.Command.empty()) {
    std::fputs(ProgramHelp().c_str(), stdout);
    return true;
  }
  const TCommand* command = FindCommand(line.Command);
  if (!command) throw EUsageError("unknown command '" + line.Command + "'");
  std::fputs(CommandHelp(*command).c_str(), stdout);
  return true;
}

TPreparedRun Prepare(TCommandLine line) {
  const TCommand* command = FindCommand(line.Command);
  if (!command) throw EUsageError("unknown command '" + line.Command + "'");
  TPreparedRun run{std::move(line), {}, {}};
  run.Runner = command->Parse(run.Line.Args);
  run.Port = ResolvePortSetup(run.Line.Line);
  if (!run.Line.Line.LogFile.empty()) {
    try {
      CliOutput().SetLogFile(run.Line.Line.LogFile);
    } catch (const EFileError& e) {
      throw EUsageError(std::string("--log: ") + e.what());
    }
  }
  return run;
}

// What the stop signals do to a run. The first asks the operation to stop
// at its next step and the engine to start no further attempt, so the
// closing (SBEP left, memory access closed) takes one attempt per exchange.
// A second ends the program at once with the first one's exit code, after a
// line saying what the closing left undone. Runs on the signals' thread.
class SignalResponse {
 public:
  explicit SignalResponse(PlainEventPump& pump) : pump_(pump) {}

  void Attach(TSb9600* engine) {
    std::lock_guard lock(lock_);
    engine_ = engine;
  }

  void operator()(int sig) {
    std::lock_guard lock(lock_);
    if (first_ == 0) {
      first_ = sig;
      if (engine_) engine_->BeginClosing();
      pump_.Wake();
      Say("kestrune-cli: stopping after the step in progress (a second " + StopEventName(sig) +
          " stops at once)");
      return;
    }
    Say("kestrune-cli: stopped at once by a second " + StopEventName(sig) +
        (engine_ && engine_->SbepMode ? "; the radio may still be in SBEP mode"
                                      : "; the closing did not finish"));
    _exit(128 + first_);
  }

 private:
  // One write: the main thread may be writing to standard error as well.
  static void Say(std::string line) {
    line += '\n';
    [[maybe_unused]] const ssize_t n = write(STDERR_FILENO, line.data(), line.size());
  }

  PlainEventPump& pump_;
  std::mutex lock_;
  TSb9600* engine_ = nullptr;
  int first_ = 0;
};

// The engine with its port open, as the window's Apply makes it; nullptr
// (after the port's and the engine's log lines) when the port did not open.
std::unique_ptr<TSb9600> OpenPort(PlainEventPump& pump, const TPreparedRun& run) {
  const bool dump = run.Line.Line.Dump;
  auto engine = std::make_unique<TSb9600>(pump);
  engine->SetLog(CliLogLine, CliLogDump, dump, dump);
  const TPortSetup& port = run.Port;
  engine->CreatePort(port.Name, port.Baud, port.Bits, port.StopBits, port.Parity, dump, dump);
  if (engine->ComPort() && engine->ComPort()->IsOpen()) return engine;
  if (engine->ComPort())
    if (const auto hint =
            PermissionHint(MappedDevice(port.Name), engine->ComPort()->LastErrorCode()))
      CliLogLine(*hint);
  engine.reset();  // logs "Port closed"
  return nullptr;
}

// A hang-up stops the command as a signal does, at once: a scan's pause or
// a script's delay would otherwise sit out its time on a line that is gone.
TOutcome RunCommand(const TPreparedRun& run, TSb9600& engine, PlainEventPump& pump,
                    const TStopSignals& signals, const std::atomic<bool>& hungUp) {
  TOperationContext operation{engine, pump, CliLogLine,
                              [&signals, &hungUp] { return signals.Requested() || hungUp; }};
  TRunContext context{operation, CliOutput()};
  try {
    return run.Runner(context);
  } catch (const std::exception& e) {
    CliOutput().Error(e.what());
    return TOutcome::Failed;
  }
}

// The port open, the command run, the port closed; stops at a signal.
int RunWithPort(const TPreparedRun& run) {
  PlainEventPump pump;
  SignalResponse response(pump);
  TStopSignals signals([&response](int sig) { response(sig); });
  std::atomic<bool> hungUp{false};  // outlives the engine, whose port sets it
  auto engine = OpenPort(pump, run);
  if (!engine) {
    CliOutput().Error("the port " + run.Port.Name + " could not be opened");
    return kExitPort;
  }
  engine->ComPort()->SetOnHangUpEvent([&hungUp, &pump](TComPort&) {
    hungUp = true;
    pump.Wake();
  });
  response.Attach(engine.get());
  if (signals.Requested()) engine->BeginClosing();  // it came while the port opened
  const TOutcome outcome =
      signals.Requested() ? TOutcome::Done : RunCommand(run, *engine, pump, signals, hungUp);
  response.Attach(nullptr);
  // The far end is gone: whatever the command says, it did not get through.
  const bool unplugged = engine->PortLost();
  engine.reset();  // logs "Port closed"

  if (const int sig = signals.Signal(); sig != 0) {
    CliOutput().Error("stopped by " + StopEventName(sig));
    return 128 + sig;
  }
  if (unplugged) {
    CliOutput().Error(run.Port.Name + " was unplugged");
    return kExitFailed;
  }
  return outcome == TOutcome::Done ? kExitDone : kExitFailed;
}

}  // namespace

int RunCli(const std::vector<std::string>& args) {
  IgnoreBrokenPipe();
  TPreparedRun run;
  try {
    TCommandLine line = ParseCommandLine(args);
    if (PrintHelp(line)) return kExitDone;
    if (line.Command == kPortsCommand) return RunPortsCommand(line.Args, line.Line);
    run = Prepare(std::move(line));
  } catch (const EUsageError& e) {
    return UsageError(e);
  }
  return RunWithPort(run);
}

}  // namespace kestrune::cli
