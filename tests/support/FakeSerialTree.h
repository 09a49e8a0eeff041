// A fake "/" for the listing of serial devices: dev/, sys/ and proc/ in a
// scratch folder, with an FTDI adapter on ttyUSB0 and its by-id link, a bare
// ttyACM0, ttyS0 with a UART and ttyS1 without one (and tty0, no serial
// device at all).
#pragma once

#include <filesystem>
#include <string>

#include "tests/support/Files.h"

namespace kestrune::test {

class FakeSerialTree {
 public:
  static constexpr const char* kFtdiById = "/dev/serial/by-id/usb-FTDI_FT232R_A1B2-if00-port0";

  FakeSerialTree();
  const std::filesystem::path& Root() const { return scratch_.Path(); }
  // Another program's flock on the node, as /proc/locks shows it.
  void Lock(const std::string& node) const;

 private:
  ScratchDir scratch_;
};

}  // namespace kestrune::test
