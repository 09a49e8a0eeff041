// A serial system whose modem lines live in memory, for tests and the
// simulator: pseudo-terminals have no DTR, RTS or CTS.
//
// Every call other than the modem-line calls reaches the real system, so a
// port opened on a pseudo-terminal reads and writes as usual. DTR and RTS as
// set by the port can be read back; CTS is set by the test. Each change of
// CTS is reported to the port's event thread, which raises OnCTSEvent; the
// handler then reads the level with GetCtsState. A CTS level set before Open
// is reported once the port's event thread runs.
//
//   auto lines = std::make_shared<kestrune::SimulatedModemLines>();
//   lines->SetCts(true);                    // the bus busy line is active
//   kestrune::TComPort port(lines);
//   port.Open(slavePath, 9600, 8, 0, 0);    // OnCTSEvent follows shortly
//   ... lines->Dtr() ...                    // what the port did with DTR
//
// All members may be called from any thread.
#pragma once

#include <atomic>
#include <mutex>

#include "serial/SerialSystem.h"

namespace kestrune {

class SimulatedModemLines : public SerialSystem {
 public:
  SimulatedModemLines();
  ~SimulatedModemLines() override;
  SimulatedModemLines(const SimulatedModemLines&) = delete;
  SimulatedModemLines& operator=(const SimulatedModemLines&) = delete;

  void SetCts(bool active);
  bool Cts() const;
  bool Dtr() const;
  bool Rts() const;

  int GetModemLines(int fd, int* lines) override;
  int SetModemLines(int fd, int lines) override;
  int ClearModemLines(int fd, int lines) override;
  int ModemChangeDescriptor() override;
  void TakeModemChange() override;

 private:
  void SignalChange();

  std::atomic<int> FLines{0};  // TIOCM_* bits
  int FChangeFd = -1;          // eventfd, readable while a change is unreported
};

}  // namespace kestrune
