#include "cli/HelpText.h"

#include <cstdio>

#include "cli/Commands.h"
#include "cli/PortSetup.h"

namespace kestrune::cli {

namespace {

constexpr const char* kLineOptions = R"(Line options (anywhere before "--"):
  --port COM1..COM4      the port, mapped to a device by the [devices] section
                         of the settings file (COM1=/dev/ttyUSB0); without an
                         entry COMn is /dev/ttyS(n-1). Default: the port the
                         window last used ([port] index), else COM1
  --device PATH          a device path instead, for example /dev/ttyUSB0 or the
                         simulated radio's link
  --settings FILE        the window's settings file to take the port, the device
                         map and the line settings from (default: the window's,
                         $KESTRUNE_SETTINGS, else settings.ini beside the program
                         or in ~/.config/kestrune/; here):
                         )";

constexpr const char* kLineOptionsRest = R"()
  --baud N               baud rate (default: the settings file's, else 9600)
  --bits N               data bits, 5 to 8 (default: the settings file's, else 8)
  --stop-bits 1|1.5|2    stop bits (default: the settings file's, else 1)
  --parity P             none, odd, even, mark or space (default: the settings
                         file's, else none)
  --dump                 TX and RX dumps of every packet, as in the window's log
  --log FILE             also append every log line to FILE (CR LF line ends,
                         as the window's log file)
  -h, --help             this text; COMMAND --help for a command's
)";

constexpr const char* kOutputAndStatus = R"(
Output: the window's log lines, time-stamped "hh:nn:ss  text", on standard
output; errors on standard error.

Exit status:
  0    done
  1    the radio did not answer, or a transfer failed
  2    usage error: an unknown command or option, a value that is not valid,
       a file that cannot be read
  3    the port could not be opened
  130  stopped by SIGINT (Ctrl+C), 143 stopped by SIGTERM: the running
       operation stops at its next step and still runs its closing (SBEP mode
       left, memory access closed)
)";

}  // namespace

std::string ProgramHelp() {
  std::string text =
      "Usage: kestrune-cli [line options] COMMAND [arguments]\n\n"
      "Kestrune's operations from a terminal or a script: the same packets, log\n"
      "lines and exchanges as the window, without a desktop.\n\nCommands:\n";
  for (const TCommand& command : Commands()) {
    char line[160];
    std::snprintf(line, sizeof line, "  %-8s %s\n", command.Name.c_str(), command.Summary.c_str());
    text += line;
  }
  text += "  help     this text; help COMMAND: a command's\n\n";
  text += std::string(kLineOptions) + DefaultSettingsFile() + kLineOptionsRest;
  text += kOutputAndStatus;
  text +=
      "\nExamples:\n"
      "  kestrune-cli --port COM1 send 03 11 80 3F 6F\n"
      "  kestrune-cli --port COM1 script CustomPackets.txt\n"
      "  kestrune-cli --port COM1 read eeprom-default -o radio.s19\n"
      "  kestrune-cli --port COM1 write eeprom radio.s19 --verify\n"
      "  kestrune-cli --port COM1 compare eeprom radio.s19\n"
      "  kestrune-cli --device /dev/ttyUSB0 --baud 9600 tune 403000000 --lcd\n"
      "  kestrune-cli lcd SELF CHECK\n"
      "  kestrune-cli scan 100 105 --delay 500\n";
  return text;
}

std::string CommandHelp(const TCommand& command) {
  return "Usage: kestrune-cli [line options] " + command.Usage + "\n\n" + command.Details +
         "\nLine options: see kestrune-cli --help.\n";
}

}  // namespace kestrune::cli
