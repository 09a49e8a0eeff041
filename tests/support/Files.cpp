#include "tests/support/Files.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace kestrune::test {

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(path_, ignored);
}

void ScratchDir::Write(const std::string& name, const std::string& bytes) const {
  WriteFile(path_ / name, bytes);
}

std::string ScratchDir::Read(const std::string& name) const { return ReadFile(path_ / name); }

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

bool WaitForText(const fs::path& file, const std::string& text,
                 std::chrono::milliseconds patience) {
  FileWatch watch;
  watch.Add(file.parent_path());
  return watch.WaitFor([&] { return ReadFile(file).find(text) != std::string::npos; }, patience);
}

namespace {

bool IsTimeOfDay(const std::string& line) {
  if (line.size() < 10) return false;
  for (size_t i : {0, 1, 3, 4, 6, 7})
    if (line[i] < '0' || line[i] > '9') return false;
  return line[2] == ':' && line[5] == ':' && line.compare(8, 2, "  ") == 0;
}

}  // namespace

std::vector<std::string> LogTexts(const std::string& text, LineEnd end) {
  std::vector<std::string> texts;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    const bool hasCr = !line.empty() && line.back() == '\r';
    if (hasCr) line.pop_back();
    if (!IsTimeOfDay(line) || hasCr != (end == LineEnd::CrLf))
      texts.push_back("not a log line: " + line);
    else
      texts.push_back(line.substr(10));
  }
  return texts;
}

}  // namespace kestrune::test
