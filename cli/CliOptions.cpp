#include "cli/CliOptions.h"

#include "cli/CliPlatform.h"
#include "console/core/LineSettings.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <functional>

namespace kestrune::cli {

namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

bool IsNegativeNumber(const std::string& word) {
  return word.size() > 1 && word[0] == '-' && std::isdigit(static_cast<unsigned char>(word[1]));
}

bool LooksLikeOption(const std::string& word) {
  return word.size() > 1 && word[0] == '-' && !IsNegativeNumber(word);
}

// "--name=value" split in two; other words come back whole.
std::pair<std::string, std::optional<std::string>> SplitOption(const std::string& word) {
  const auto eq = word.find('=');
  if (word.starts_with("--") && eq != std::string::npos)
    return {word.substr(0, eq), word.substr(eq + 1)};
  return {word, std::nullopt};
}

// "COM" and a number from 1 to HighestComPort(), without leading zeros.
std::optional<int> ComNumber(const std::string& name) {
  if (name.size() < 4 || name.size() > 6 || !name.starts_with("com") || name[3] == '0')
    return std::nullopt;
  int number = 0;
  for (size_t i = 3; i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9') return std::nullopt;
    number = number * 10 + (name[i] - '0');
  }
  if (number > HighestComPort()) return std::nullopt;
  return number;
}

std::string PortChoices() {
  if (HighestComPort() == 4) return "COM1, COM2, COM3 or COM4";
  return "COM1 to COM" + std::to_string(HighestComPort());
}

std::string PortName(const std::string& text) {
  if (const auto number = ComNumber(Lower(text))) return "COM" + std::to_string(*number);
  throw EUsageError("--port takes " + PortChoices() + " (or use --device PATH), not '" + text +
                    "'");
}

int32_t ListIndex(const std::string& option, const std::string& text,
                  const std::vector<std::vector<std::string>>& names) {
  const std::string wanted = Lower(text);
  for (size_t i = 0; i < names.size(); ++i)
    for (const std::string& name : names[i])
      if (wanted == name) return static_cast<int32_t>(i);
  std::string choices;
  for (const auto& alternatives : names) choices += (choices.empty() ? "" : ", ") + alternatives[0];
  throw EUsageError(option + " takes one of " + choices + ", not '" + text + "'");
}

using LineSetter = std::function<void(TLineOptions&, const std::string&)>;

// The window's check of the same value, so both refuse it with one message.
int32_t CheckedLineValue(int32_t (*check)(const std::string&), const std::string& option,
                         const std::string& text) {
  try {
    return check(text);
  } catch (const std::exception& e) {
    throw EUsageError(option + ": " + e.what());
  }
}

struct TLineOptionRule {
  bool takesValue;
  LineSetter set;
};

const std::map<std::string, TLineOptionRule>& LineOptionRules() {
  static const std::map<std::string, TLineOptionRule> rules{
      {"--port", {true, [](TLineOptions& o, const std::string& v) { o.Port = PortName(v); }}},
      {"--device",
       {true,
        [](TLineOptions& o, const std::string& v) {
          if (v.empty()) throw EUsageError("--device needs a device path");
          o.Device = v;
        }}},
      {"--settings",
       {true,
        [](TLineOptions& o, const std::string& v) {
          if (v.empty()) throw EUsageError("--settings needs a file name");
          o.Settings = v;
        }}},
      {"--baud",
       {true, [](TLineOptions& o,
                 const std::string& v) { o.Baud = CheckedLineValue(CheckedBaud, "--baud", v); }}},
      {"--bits",
       {true, [](TLineOptions& o,
                 const std::string& v) { o.Bits = CheckedLineValue(CheckedBits, "--bits", v); }}},
      {"--stop-bits",
       {true,
        [](TLineOptions& o, const std::string& v) {
          o.StopBits = ListIndex("--stop-bits", v, {{"1"}, {"1.5"}, {"2"}});
        }}},
      {"--parity",
       {true,
        [](TLineOptions& o, const std::string& v) {
          o.Parity =
              ListIndex("--parity", v, {{"none", "no"}, {"odd"}, {"even"}, {"mark"}, {"space"}});
        }}},
      {"--dump", {false, [](TLineOptions& o, const std::string&) { o.Dump = true; }}},
      {"--log",
       {true,
        [](TLineOptions& o, const std::string& v) {
          if (v.empty()) throw EUsageError("--log needs a file name");
          o.LogFile = v;
        }}},
  };
  return rules;
}

// The value of an option: the part after "=", or the next word.
std::string TakeValue(const std::string& name, const std::optional<std::string>& inlineValue,
                      const std::vector<std::string>& args, size_t& i, const std::string& command) {
  if (inlineValue) return *inlineValue;
  if (i + 1 >= args.size())
    throw EUsageError(
        (command.empty() ? "" : command + ": ") + "option '" + name + "' needs a value", command);
  return args[++i];
}

}  // namespace

EUsageError::EUsageError(const std::string& message, std::string command)
    : std::runtime_error(message), command_(std::move(command)) {}

TCommandLine ParseCommandLine(const std::vector<std::string>& args) {
  TCommandLine line;
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& word = args[i];
    if (!optionsEnded && word == "--") {
      optionsEnded = true;
      if (!line.Command.empty()) line.Args.push_back(word);
      continue;
    }
    if (!optionsEnded && (word == "--help" || word == "-h")) {
      line.Help = true;
      continue;
    }
    const auto [name, inlineValue] = SplitOption(word);
    const auto rule = optionsEnded ? LineOptionRules().end() : LineOptionRules().find(name);
    if (rule != LineOptionRules().end()) {
      if (!rule->second.takesValue && inlineValue)
        throw EUsageError("option '" + name + "' takes no value");
      rule->second.set(line.Line, rule->second.takesValue
                                      ? TakeValue(name, inlineValue, args, i, "")
                                      : std::string());
      continue;
    }
    if (line.Command.empty()) {
      if (!optionsEnded && LooksLikeOption(word))
        throw EUsageError("unknown option '" + word + "'");
      line.Command = word;
      if (optionsEnded) line.Args.push_back("--");
      continue;
    }
    line.Args.push_back(word);
  }
  if (!line.Line.Port.empty() && !line.Line.Device.empty())
    throw EUsageError("--port and --device name the line twice; give one of them");
  if (line.Command == "help") {
    line.Help = true;
    line.Command.clear();
    for (const std::string& word : line.Args)
      if (word != "--") {
        line.Command = word;
        break;
      }
    line.Args.clear();
  }
  return line;
}

std::optional<std::string> TCommandArgs::Value(const std::string& name) const {
  const auto found = Options.find(name);
  if (found == Options.end()) return std::nullopt;
  return found->second;
}

TCommandArgs ScanCommandArgs(const std::string& command, const std::vector<std::string>& args,
                             const std::map<std::string, bool>& known) {
  TCommandArgs scanned;
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& word = args[i];
    if (!optionsEnded && word == "--") {
      optionsEnded = true;
      continue;
    }
    if (optionsEnded || !LooksLikeOption(word)) {
      scanned.Words.push_back(word);
      continue;
    }
    const auto [name, inlineValue] = SplitOption(word);
    const auto rule = known.find(name);
    if (rule == known.end())
      throw EUsageError(command + ": unknown option '" + word + "'", command);
    if (!rule->second && inlineValue)
      throw EUsageError(command + ": option '" + name + "' takes no value", command);
    // Which of two values was meant is a guess; for -o it decides which file
    // is overwritten.
    if (rule->second && scanned.Has(name))
      throw EUsageError(command + ": option '" + name + "' is given twice", command);
    scanned.Options[name] =
        rule->second ? TakeValue(name, inlineValue, args, i, command) : std::string();
  }
  return scanned;
}

int64_t ParseDecimal(const std::string& text, int64_t min, int64_t max, const std::string& what,
                     const std::string& command) {
  const std::string prefix = command.empty() ? "" : command + ": ";
  int64_t value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || stop != end ||
      (error != std::errc{} && error != std::errc::result_out_of_range))
    throw EUsageError(prefix + "the " + what + " '" + text + "' is not a decimal number", command);
  if (error == std::errc::result_out_of_range || value < min || value > max)
    throw EUsageError(prefix + "the " + what + " " + text + " is out of range (" +
                          std::to_string(min) + " to " + std::to_string(max) + ")",
                      command);
  return value;
}

uint32_t ParseHex(const std::string& text, uint32_t max, const std::string& what,
                  const std::string& command) {
  const std::string prefix = command.empty() ? "" : command + ": ";
  std::string digits = text;
  if (digits.starts_with("0x") || digits.starts_with("0X"))
    digits.erase(0, 2);
  else if (digits.starts_with("$"))
    digits.erase(0, 1);
  uint64_t value = 0;
  const char* end = digits.data() + digits.size();
  const auto [stop, error] = std::from_chars(digits.data(), end, value, 16);
  if (digits.empty() || stop != end ||
      (error != std::errc{} && error != std::errc::result_out_of_range))
    throw EUsageError(prefix + "the " + what + " '" + text + "' is not a hexadecimal number",
                      command);
  if (error == std::errc::result_out_of_range || value > max) {
    char limit[16];
    std::snprintf(limit, sizeof limit, "%X", max);
    throw EUsageError(prefix + "the " + what + " " + text + " is out of range (0 to " + limit + ")",
                      command);
  }
  return static_cast<uint32_t>(value);
}

}  // namespace kestrune::cli
