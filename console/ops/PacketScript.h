// The custom packet script: a few lines the operator writes to switch the
// radio between SB9600 and SBEP, pause, and send byte lines whose check byte
// the console fills in.
//
// A line, trimmed of white space and control characters at both ends, is read
// by its first word (split at spaces only; keywords in any letter case):
//   sbep X     enter SBEP mode with device address X (its low 8 bits)
//   sb9600     leave SBEP mode (further words ignored)
//   delay X    pause the thread X milliseconds (nothing is served meanwhile)
//   anything else that is not empty: a byte line (command byte text, "0x",
//   "$", "#" and commas accepted), sent as one packet. In SBEP mode its last
//   byte becomes the inverted byte sum of the bytes before it; in SB9600 mode
//   a fifth byte becomes the check byte of the first four.
// X is an integer as StrToInt reads it (decimal with a sign, or hexadecimal
// after "$", "x", "0x"); "delay 100ms" is an error, "delay 100 ms" is not.
//
// A line that cannot be carried out is logged as "<line>: <message>" and the
// run goes on with the next one. After an sbep line that failed, every byte
// line up to the next sb9600 (or a later sbep that succeeds) is skipped,
// logged as "<line>: skipped: SBEP mode was not entered": it was written for
// SBEP, and with an SB9600 check byte it would be another command.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "console/ops/Operation.h"

namespace kestrune {

struct TScriptStatement {
  enum class Kind {
    Blank,      // an empty line: nothing done, nothing logged
    EnterSbep,  // DevAddr
    LeaveSbep,
    Delay,  // DelayMs
    Send,   // Packet, check byte in place
    Fault,  // Error; nothing is done for the line
  };

  Kind What = Kind::Blank;
  std::string Line;  // the trimmed line, as the log names it
  uint8_t DevAddr = 0;
  int32_t DelayMs = 0;
  std::vector<uint8_t> Packet;
  std::string Error;

  // The log line of a fault: the line, ": " and the message.
  std::string FaultText() const { return Line + ": " + Error; }
};

inline constexpr char kNoBytesToSend[] = "there are no bytes to send";
inline constexpr char kNegativeDelay[] = "a delay cannot be negative";
inline constexpr char kSbepNotEntered[] = "skipped: SBEP mode was not entered";

// The script's lines: the text split at LF, CR LF and a lone CR, and at
// U+2028 and U+2029, which a text editor inserts for Shift+Enter and between
// paragraphs and which show as line ends. A text ending in a line end has an
// empty last line.
std::vector<std::string> SplitScriptLines(const std::string& text);

// Leading and trailing white space and control characters removed.
std::string TrimScriptLine(const std::string& line);

// Reads one line into what it asks for; sbepMode is the engine's mode when
// the line's turn comes and decides a byte line's check byte. Operator text
// never makes it throw: a bad line becomes a Fault.
TScriptStatement ReadScriptLine(const std::string& line, bool sbepMode);

// The bytes as they go out, check byte in place (see above). In SBEP mode
// there must be at least one byte to hold the checksum; otherwise this throws
// std::invalid_argument with kNoBytesToSend.
std::vector<uint8_t> WithCheckByte(std::vector<uint8_t> bytes, bool sbepMode);

// Line i (0-based) of the script as it reads now; a line that no longer
// exists reads as "".
using TScriptLineSource = std::function<std::string(int)>;

// Runs a script of lineCount lines on the context's engine. Each line is
// asked for when its turn comes (the operator may edit the text meanwhile).
// The run starts in SB9600 mode (the engine's mode flag is cleared without a
// word to the radio), stops before its next line once context.Stopping(),
// and always ends with LeaveSbepMode ("leaving SBEP mode"), also when an
// error escapes it.
// Returns how many lines did not go through: a line that could not be read
// or carried out, an SBEP entry that failed, a skipped byte line, a packet
// the radio did not answer (in SBEP mode: did not acknowledge with 0x50).
// The window does not look at it; kestrune-cli turns it into its exit status.
int RunPacketScript(TOperationContext& context, int lineCount, const TScriptLineSource& lineAt);

}  // namespace kestrune
