// srec_cat (Debian package srecord), the independent reader and writer of
// S-records that the suites check the program's files against.
#pragma once

#include <filesystem>
#include <string>

namespace kestrune::test {

// Whether srec_cat can be run; a suite skips its checks when it cannot.
bool HaveSrecCat();

// srec_cat with its arguments (quoted as a shell would need them), run in
// dir with its messages discarded; true when it succeeded.
bool SrecCat(const std::filesystem::path& dir, const std::string& args);

}  // namespace kestrune::test
