// Records what the code under test logs through its plain-function callbacks
// (TLogProcedure and TDumpProcedure). Plain functions cannot carry an object,
// so there is one recorder for the process: each test calls Reset() first.
//
//   port.SetLogProc(&LogRecorder::Line);
//   engine.SetLog(LogRecorder::Line, LogRecorder::DumpProc, true, true);
//   ASSERT_TRUE(LogRecorder::WaitForLineStartingWith("PORT_ERROR_HANGUP"));
//
// Every member may be called from any thread. A wait re-tests its condition
// whenever a line or a dump arrives or anyone calls Notify().
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/Frames.h"
#include "tests/support/Wait.h"

namespace kestrune::test {

class LogRecorder {
 public:
  struct Dump {
    std::string dir;
    Bytes bytes;
    std::string sig;
  };

  static void Line(const std::string& s);
  static void DumpProc(const uint8_t* p, int32_t len, const std::string& dir,
                       const std::string& sig);

  static void Reset();
  static std::vector<std::string> Lines();
  static size_t CountStartingWith(const std::string& prefix);
  // How often exactly this line was logged.
  static size_t Count(const std::string& line);
  static std::vector<Dump> Dumps(const std::string& dir);
  static int DumpCount(const std::string& dir);

  // Wakes the waits; whatever a wait's condition looks at calls it on change.
  static void Notify();
  // Waits until pred() holds or `patience` has passed; returns pred(). pred
  // runs without the recorder's lock, so it may read the recorder.
  static bool WaitFor(const std::function<bool()>& pred,
                      std::chrono::milliseconds patience = kPatience);
  static bool WaitForLineStartingWith(const std::string& prefix);
};

}  // namespace kestrune::test
