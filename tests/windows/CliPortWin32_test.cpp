// kestrune-cli's --port on Windows: every COM port the system can name,
// COM10 and up included, where the POSIX build offers the window's four.
#include <gtest/gtest.h>

#include <string>

#include "cli/CliOptions.h"

namespace kestrune::cli {
namespace {

std::string RefusalOf(const std::string& port) {
  try {
    ParseCommandLine({"--port", port, "send", "01"});
  } catch (const EUsageError& e) {
    return e.what();
  }
  return "(taken)";
}

TEST(CliPortWin32, ComTenAndUpAreTakenInAnyCase) {
  EXPECT_EQ(ParseCommandLine({"--port", "com12", "send", "01"}).Line.Port, "COM12");
  EXPECT_EQ(ParseCommandLine({"--port=COM1", "send", "01"}).Line.Port, "COM1");
  EXPECT_EQ(ParseCommandLine({"--port", "Com256", "send", "01"}).Line.Port, "COM256");
}

TEST(CliPortWin32, NamesNoSystemHasAreRefusedWithTheRange) {
  for (const std::string port : {"COM0", "COM257", "COM012", "COM", "COM1x", "LPT1"})
    EXPECT_EQ(RefusalOf(port),
              "--port takes COM1 to COM256 (or use --device PATH), not '" + port + "'");
}

}  // namespace
}  // namespace kestrune::cli
