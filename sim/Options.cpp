#include "sim/Options.h"

#include <charconv>
#include <functional>
#include <map>

#include "sim/Frames.h"

namespace kestrune::sim {
namespace {

std::optional<long> ParseNumber(const std::string& text, long min, long max) {
  long value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc{} || end != text.data() + text.size() || value < min || value > max)
    return std::nullopt;
  return value;
}

// A 20-bit address in hexadecimal, with or without "0x" in front.
std::optional<uint32_t> ParseHexAddress(std::string text) {
  if (text.starts_with("0x") || text.starts_with("0X")) text.erase(0, 2);
  uint32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
  if (text.empty() || error != std::errc{} || end != text.data() + text.size() ||
      value >= kMemorySpaceSize)
    return std::nullopt;
  return value;
}

// "all" or a count of occurrences.
std::optional<int> ParseCount(const std::string& text) {
  if (text == "all") return kEveryTime;
  const auto n = ParseNumber(text, 0, 1'000'000);
  return n ? std::optional<int>(static_cast<int>(*n)) : std::nullopt;
}

using Setter = std::function<bool(SimOptions&, const std::string&)>;

struct OptionRule {
  bool takesValue;
  Setter set;
};

bool SetMilliseconds(std::optional<milliseconds>& field, const std::string& text) {
  const auto n = ParseNumber(text, 0, 60'000);
  if (n) field = milliseconds{*n};
  return n.has_value();
}

bool SetCount(int& field, const std::string& text) {
  const auto n = ParseCount(text);
  if (n) field = *n;
  return n.has_value();
}

const std::map<std::string, OptionRule>& OptionRules() {
  static const std::map<std::string, OptionRule> rules{
      {"--link",
       {true,
        [](SimOptions& o, const std::string& v) {
          o.linkPath = v;
          return true;
        }}},
      {"--device",
       {true,
        [](SimOptions& o, const std::string& v) {
          o.devicePath = v;
          return !v.empty();
        }}},
      {"--baud",
       {true,
        [](SimOptions& o, const std::string& v) {
          const auto n = ParseNumber(v, 1, 4'000'000);
          if (n) o.radio.baudRate = static_cast<int32_t>(*n);
          return n.has_value();
        }}},
      {"--eeprom",
       {true,
        [](SimOptions& o, const std::string& v) {
          o.eepromFile = v;
          return !v.empty();
        }}},
      {"--ack-delay",
       {true,
        [](SimOptions& o, const std::string& v) { return SetMilliseconds(o.radio.ackDelay, v); }}},
      {"--frame-gap",
       {true,
        [](SimOptions& o, const std::string& v) {
          return SetMilliseconds(o.radio.frameGap, v) && o.radio.frameGap->count() > 0;
        }}},
      {"--pacing",
       {false, [](SimOptions& o, const std::string&) { return o.radio.faults.pacing = true; }}},
      {"--silent",
       {false, [](SimOptions& o, const std::string&) { return o.radio.faults.silent = true; }}},
      {"--drop-echo",
       {true,
        [](SimOptions& o, const std::string& v) { return SetCount(o.radio.faults.dropEcho, v); }}},
      {"--refuse-ack",
       {true,
        [](SimOptions& o, const std::string& v) { return SetCount(o.radio.faults.refuseAck, v); }}},
      {"--corrupt-reply",
       {true, [](SimOptions& o,
                 const std::string& v) { return SetCount(o.radio.faults.corruptReply, v); }}},
      {"--garbage",
       {true,
        [](SimOptions& o, const std::string& v) {
          const auto bytes = ParseHexBytes(v);
          if (bytes && !bytes->empty()) o.radio.faults.garbageBeforeEcho = *bytes;
          return bytes && !bytes->empty();
        }}},
      {"--corrupt-write",
       {true,
        [](SimOptions& o, const std::string& v) {
          const auto address = ParseHexAddress(v);
          if (address) o.radio.faults.corruptWriteAddress = *address;
          return address.has_value();
        }}},
      {"--spontaneous",
       {true,
        [](SimOptions& o, const std::string& v) {
          const auto n = ParseNumber(v, 1, 3'600'000);
          if (n) o.radio.faults.spontaneousPeriod = milliseconds{*n};
          return n.has_value();
        }}},
      {"--quiet", {false, [](SimOptions& o, const std::string&) { return o.quiet = true; }}},
  };
  return rules;
}

const std::map<std::string, std::string> kShortNames{
    {"-l", "--link"}, {"-d", "--device"}, {"-b", "--baud"}, {"-q", "--quiet"}};

ParsedOptions Failure(const std::string& message) {
  return {std::nullopt, 2, "kestrune-sim: " + message + "\nTry 'kestrune-sim --help'.\n"};
}

}  // namespace

ParsedOptions ParseOptions(const std::vector<std::string>& args) {
  SimOptions options;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    std::optional<std::string> value;
    if (name == "-h" || name == "--help") return {std::nullopt, 0, HelpText()};
    if (const auto eq = name.find('='); name.starts_with("--") && eq != std::string::npos) {
      value = name.substr(eq + 1);
      name.resize(eq);
    }
    if (const auto shortName = kShortNames.find(name); shortName != kShortNames.end())
      name = shortName->second;
    const auto rule = OptionRules().find(name);
    if (rule == OptionRules().end()) return Failure("unknown option '" + args[i] + "'");
    if (rule->second.takesValue && !value) {
      if (i + 1 == args.size()) return Failure("option '" + name + "' needs a value");
      value = args[++i];
    }
    if (!rule->second.takesValue && value) return Failure("option '" + name + "' takes no value");
    if (!rule->second.set(options, value.value_or("")))
      return Failure("invalid value '" + *value + "' for option '" + name + "'");
  }
  return {std::move(options), 0, ""};
}

std::string HelpText() {
  return std::string(R"(Usage: kestrune-sim [options]

A simulated radio for Kestrune. It creates a pseudo-terminal (or serves a
serial device), behaves as the radio on the other end of the bus and prints
every frame, packet and acknowledge on the bus, one line each, on standard
output. Stop it with Ctrl+C or SIGTERM; it then removes its link.

Point Kestrune at it in settings.ini:   [devices]  COM1=)") +
         kDefaultLinkPath + R"(

Line:
  -l, --link PATH        symbolic link to the pseudo-terminal
                         (default )" +
         kDefaultLinkPath + R"(); the first line printed names it
  -d, --device PATH      serve an existing serial device instead, for example one
                         end of a null-modem cable (8N1, raw)
  -b, --baud N           baud rate of the device and of --pacing (default 9600)

Radio:
      --eeprom FILE      EEPROM content from a raw image (up to 1 MiB, from address
                         0). Default: a fixed pattern with core length 0B00 at 0002
                         and bonus length 0035 at 02A6, so "eeprom default" reads
                         0B35 bytes
      --ack-delay MS     on a pseudo-terminal or device, which carries no DTR: how
                         long after the SBEP entry request the radio acknowledges
                         (default 286 at 9600 baud: the program's post-send pause
                         of 96 ms and its 40 ms DTR pulse must be over before it
                         listens, plus 150 ms to spare)
      --frame-gap MS     idle time after which a half-received frame is dropped
                         (default 50, or 4 byte times below 960 baud)

Faults (N is a count of occurrences, or "all"):
      --silent           radio switched off: no echo, no acknowledge, no reply
      --drop-echo N      leave out the echo of the next N frames
      --refuse-ack N     acknowledge the next N packets (and SBEP entries) with 60
      --corrupt-reply N  send the next N reply packets with a wrong checksum
      --corrupt-write ADDR
                         store a written byte at address ADDR (hex, any space)
                         with its bits inverted; the write is still accepted
      --garbage HEX      send these bytes ahead of every echo, e.g. "7E 00"
      --spontaneous MS   send an unsolicited SB9600 frame (CHANNEL NUMBER) every MS
                         milliseconds while in SB9600 mode
      --pacing           send at the baud rate, 12 bit times per byte, instead of
                         all at once

Output:
  -q, --quiet            no bus trace
  -h, --help             this text

Leaving SBEP mode: the program drops DTR, which a pseudo-terminal does not
carry. The radio therefore also leaves SBEP mode when a valid SB9600 frame
arrives where no SBEP packet it knows starts (a known start is header 1F or
an extended opcode it answers), such as the MEMORY ACCESS message that ends
a memory transfer or the next SBEP entry request.
)";
}

}  // namespace kestrune::sim
