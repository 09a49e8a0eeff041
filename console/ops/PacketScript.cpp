#include "console/ops/PacketScript.h"

#include <exception>
#include <stdexcept>
#include <string_view>

#include "console/core/CommandText.h"
#include "console/core/IntConv.h"
#include "protocol/CRC16.h"
#include "protocol/SB9600.h"

namespace kestrune {

namespace {

using Kind = TScriptStatement::Kind;

// Keywords are plain ASCII words, so ASCII lower case is all they need.
std::string LowerAscii(std::string word) {
  for (char& c : word)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return word;
}

// The first word and, when the line has a space, the second (which is empty
// when two spaces follow each other).
struct Words {
  std::string First;
  bool HasSecond = false;
  std::string Second;
};

Words SplitWords(const std::string& line) {
  Words words;
  const size_t firstEnd = line.find(' ');
  words.First = line.substr(0, firstEnd);
  if (firstEnd == std::string::npos) return words;
  words.HasSecond = true;
  const size_t secondEnd = line.find(' ', firstEnd + 1);
  words.Second = line.substr(
      firstEnd + 1, secondEnd == std::string::npos ? std::string::npos : secondEnd - firstEnd - 1);
  return words;
}

TScriptStatement Faulted(TScriptStatement statement, std::string message) {
  statement.What = Kind::Fault;
  statement.Error = std::move(message);
  return statement;
}

// Reads the statement's words; conversion errors escape to the caller.
TScriptStatement ReadWords(TScriptStatement statement, bool sbepMode) {
  const Words words = SplitWords(statement.Line);
  const std::string keyword = LowerAscii(words.First);
  if (keyword == "sbep" && words.HasSecond) {
    statement.What = Kind::EnterSbep;
    statement.DevAddr = static_cast<uint8_t>(StrToInt(words.Second) & 0xFF);
  } else if (keyword == "sb9600") {
    statement.What = Kind::LeaveSbep;
  } else if (keyword == "delay" && words.HasSecond) {
    statement.DelayMs = StrToInt(words.Second);
    if (statement.DelayMs < 0) return Faulted(std::move(statement), kNegativeDelay);
    statement.What = Kind::Delay;
  } else {
    const std::vector<uint8_t> bytes = ParseCommandBytes(NormalizeCommandText(statement.Line));
    if (sbepMode && bytes.empty()) return Faulted(std::move(statement), kNoBytesToSend);
    statement.Packet = WithCheckByte(bytes, sbepMode);
    statement.What = Kind::Send;
  }
  return statement;
}

bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= ' '; }

// Carries out one statement on the engine.
// Carries out one statement; false when it did not go through.
bool Perform(TOperationContext& context, const TScriptStatement& statement) {
  TSb9600& engine = context.Engine;
  switch (statement.What) {
    case Kind::Blank: return true;
    case Kind::EnterSbep: return engine.EnterSbepMode(statement.DevAddr);
    case Kind::LeaveSbep: engine.LeaveSbepMode(); return true;
    case Kind::Delay: context.Pause(statement.DelayMs); return true;
    case Kind::Send: {
      const bool sbep = engine.SbepMode;
      return engine.SendRepeatAndWait(statement.Packet) && (!sbep || engine.SbepResp() == 0x50);
    }
    case Kind::Fault: context.Log(statement.FaultText()); return false;
  }
  return false;
}

// Which statement a trimmed line is by its words alone, before any of them
// is converted.
enum class LineRole { Blank, EnterSbep, LeaveSbep, Delay, Bytes };

LineRole RoleOf(const std::string& trimmed) {
  if (trimmed.empty()) return LineRole::Blank;
  const Words words = SplitWords(trimmed);
  const std::string keyword = LowerAscii(words.First);
  if (keyword == "sbep" && words.HasSecond) return LineRole::EnterSbep;
  if (keyword == "sb9600") return LineRole::LeaveSbep;
  if (keyword == "delay" && words.HasSecond) return LineRole::Delay;
  return LineRole::Bytes;
}

int RunLines(TOperationContext& context, int lineCount, const TScriptLineSource& lineAt) {
  int failed = 0;
  // After an SBEP entry that failed, the byte lines up to the next sb9600
  // were written as SBEP packets: sent with an SB9600 check byte they would
  // be other commands (a write request would open memory access).
  bool sbepRefused = false;
  for (int i = 0; i < lineCount && !context.Stopping(); ++i) {
    const std::string trimmed = TrimScriptLine(lineAt(i));
    const LineRole role = RoleOf(trimmed);
    if (role == LineRole::Bytes && sbepRefused) {
      context.Log(trimmed + ": " + kSbepNotEntered);
      ++failed;
      continue;
    }
    bool done = false;
    try {
      done = Perform(context, ReadScriptLine(trimmed, context.Engine.SbepMode));
    } catch (const std::exception& e) {
      context.Log(trimmed + ": " + e.what());
    }
    if (!done) ++failed;
    if (role == LineRole::EnterSbep) sbepRefused = !done;
    if (role == LineRole::LeaveSbep) sbepRefused = false;
    // An unplugged adapter: every further line would fail the same way.
    if (context.Engine.PortLost()) {
      context.Log("the port was lost: the script ends");
      return failed + (lineCount - 1 - i);
    }
  }
  return failed;
}

}  // namespace

std::vector<std::string> SplitScriptLines(const std::string& text) {
  static constexpr std::string_view kLineSeparator = "\xE2\x80\xA8";       // U+2028
  static constexpr std::string_view kParagraphSeparator = "\xE2\x80\xA9";  // U+2029
  std::vector<std::string> lines(1);
  const std::string_view view = text;
  for (size_t i = 0; i < view.size(); ++i) {
    const std::string_view rest = view.substr(i);
    if (rest.starts_with(kLineSeparator) || rest.starts_with(kParagraphSeparator)) {
      i += kLineSeparator.size() - 1;
    } else if (view[i] == '\r') {
      if (rest.starts_with("\r\n")) ++i;
    } else if (view[i] != '\n') {
      lines.back() += view[i];
      continue;
    }
    lines.emplace_back();
  }
  return lines;
}

std::string TrimScriptLine(const std::string& line) {
  size_t begin = 0;
  size_t end = line.size();
  while (begin < end && IsBlankOrControl(line[begin])) ++begin;
  while (end > begin && IsBlankOrControl(line[end - 1])) --end;
  return line.substr(begin, end - begin);
}

TScriptStatement ReadScriptLine(const std::string& line, bool sbepMode) {
  TScriptStatement statement;
  statement.Line = TrimScriptLine(line);
  if (statement.Line.empty()) return statement;
  try {
    return ReadWords(statement, sbepMode);
  } catch (const EConvertError& e) {
    return Faulted(std::move(statement), e.what());
  }
}

std::vector<uint8_t> WithCheckByte(std::vector<uint8_t> bytes, bool sbepMode) {
  const auto n = static_cast<int32_t>(bytes.size());
  if (sbepMode) {
    if (bytes.empty()) throw std::invalid_argument(kNoBytesToSend);
    bytes.back() = InvertedByteSum(bytes.data(), n - 1);
  } else if (n >= 5) {
    bytes[4] = Crc16(bytes.data(), 4, 0x00FF);
  }
  return bytes;
}

int RunPacketScript(TOperationContext& context, int lineCount, const TScriptLineSource& lineAt) {
  // Whatever a previous run or a stray handler left, this run starts from
  // SB9600 as far as the console is concerned.
  context.Engine.SbepMode = false;
  int failed = 0;
  try {
    failed = RunLines(context, lineCount, lineAt);
  } catch (...) {
    context.Engine.LeaveSbepMode();
    throw;
  }
  context.Engine.LeaveSbepMode();
  return failed;
}

}  // namespace kestrune
