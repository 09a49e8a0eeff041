// Text files: any bytes decode and encode back to themselves; any text
// written in any encoding reads back as the same text.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "console/core/TextFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kestrune;
  using namespace kestrune::fuzz;
  const std::string bytes(reinterpret_cast<const char*>(data), size);

  TextEncoding encoding{};
  const std::string text = DecodeText(bytes, encoding);
  TextEncoding again = encoding;
  Require(EncodeText(text, again) == bytes, "bytes decode and encode back to themselves");
  Require(again == encoding, "the encoding is kept");

  // The same text written in another encoding, with whole-file line ends.
  FuzzedDataProvider input(data, size);
  TTextFile file = DecodeTextFile(bytes);
  file.Encoding = static_cast<TextEncoding>(input.ConsumeIntegralInRange(0, 4));
  static const char* const kLineEnds[] = {"\r\n", "\n", "\r", "\r\r\n"};
  file.LineEnd = kLineEnds[input.ConsumeIntegralInRange(0, 3)];
  const std::string written = EncodeTextFile(file);
  const TTextFile read = DecodeTextFile(written);
  Require(read.Text == file.Text, "written text reads back the same");
  Require(EncodeTextFile(read) == written, "a second write changes nothing");
  return 0;
}
