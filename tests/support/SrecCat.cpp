#include "tests/support/SrecCat.h"

#include <cstdlib>

namespace kestrune::test {

bool HaveSrecCat() { return std::system("srec_cat --version >/dev/null 2>&1") == 0; }

bool SrecCat(const std::filesystem::path& dir, const std::string& args) {
  const std::string command = "cd '" + dir.string() + "' && srec_cat " + args + " 2>/dev/null";
  return std::system(command.c_str()) == 0;
}

}  // namespace kestrune::test
