// The fixture the whole-file cases share: a scratch folder with a settings
// file in it, and the text of a refused write.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <string>

#include "console/core/TextFile.h"
#include "tests/support/Files.h"

namespace kestrune {

class WholeFiles : public ::testing::Test {
 protected:
  test::ScratchDir folder_;
  std::string path_ = folder_.File("settings.ini");

  std::string WriteError(const std::string& path, const std::string& bytes) {
    try {
      WriteWholeFile(path, bytes);
    } catch (const EFileError& e) {
      return e.what();
    }
    return "(written)";
  }

  long FilesInFolder() const {
    return static_cast<long>(std::distance(std::filesystem::directory_iterator(folder_.Path()),
                                           std::filesystem::directory_iterator()));
  }
};

}  // namespace kestrune
