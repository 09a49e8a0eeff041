// The settings file: any bytes load; unchanged, they are written back as
// they were; after the program's own writes, what is written loads back with
// the same sections, keys and values, and writing it again changes nothing.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "console/core/IniFile.h"
#include "console/core/TextFile.h"

namespace kestrune::fuzz {
namespace {

// Text as the window hands it over: valid UTF-8.
std::string WindowText(FuzzedDataProvider& input) {
  TextEncoding ignored{};
  return DecodeText(input.ConsumeRandomLengthString(64), ignored);
}

// Writes as the window's close does: single keys, and a button section that
// is erased and written anew.
void WriteAsTheProgramDoes(TIniFile& ini, FuzzedDataProvider& input) {
  static const char* const kKeys[][2] = {{"port", "Baud"},           {"port", "index"},
                                         {"log", "transmit"},        {"sett", "minfreq"},
                                         {"favorites", "403000000"}, {"PORT", "baud"}};
  const int writes = input.ConsumeIntegralInRange(0, 6);
  for (int i = 0; i < writes; ++i) {
    const auto& key = kKeys[input.ConsumeIntegralInRange<size_t>(0, std::size(kKeys) - 1)];
    ini.WriteString(key[0], key[1], WindowText(input));
  }
  if (input.ConsumeBool()) {
    ini.EraseSection("buttons1");
    for (int k = 0; k < 10; ++k)
      ini.WriteString("buttons1", "ButtonP1_" + std::to_string(k), WindowText(input));
  }
}

void RequireSameContents(const TIniFile& a, const TIniFile& b) {
  Require(a.Sections() == b.Sections(), "the same sections");
  for (const std::string& section : a.Sections()) {
    const std::vector<std::string> keys = a.ReadSection(section);
    Require(keys == b.ReadSection(section), "the same keys");
    for (const std::string& key : keys)
      Require(a.ReadString(section, key, "\x01") == b.ReadString(section, key, "\x02"),
              "the same values");
  }
}

}  // namespace
}  // namespace kestrune::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kestrune;
  using namespace kestrune::fuzz;
  FuzzedDataProvider input(data, size);
  const std::string fileBytes = input.ConsumeRandomLengthString(size);

  TIniFile loaded = TIniFile::FromBytes("settings.ini", fileBytes);
  Require(loaded.FileBytes() == fileBytes, "an unchanged file is written back byte for byte");

  WriteAsTheProgramDoes(loaded, input);
  const std::string saved = loaded.FileBytes();
  const TIniFile reloaded = TIniFile::FromBytes("settings.ini", saved);
  RequireSameContents(loaded, reloaded);
  Require(reloaded.FileBytes() == saved, "a second save changes nothing");
  return 0;
}
