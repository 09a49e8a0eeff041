#include "console/core/FilePlaces.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace kestrune {

namespace fs = std::filesystem;

namespace {

std::string Value(const TEnvironment& environment, const std::string& name) {
  const auto it = environment.find(name);
  return it == environment.end() ? std::string() : it->second;
}

std::string WithSlash(std::string dir) {
  if (dir.empty() || dir.back() != '/') dir += '/';
  return dir;
}

// $VAR, or HOME + fallback; a relative value is ignored, as XDG asks.
std::string XdgDir(const TEnvironment& environment, const std::string& name,
                   const std::string& fallback) {
  const std::string value = Value(environment, name);
  if (!value.empty() && value.front() == '/') return WithSlash(value);
  return WithSlash(Value(environment, "HOME")) + fallback;
}

bool IsFile(const std::string& path) {
  std::error_code error;
  return fs::is_regular_file(path, error);
}

// A program folder <prefix>/bin of an installed tree (cmake --install, the
// package) is never written to, even by a user whose bits allow it (root in
// /usr/bin): the installed files are the package manager's.
bool InstalledTree(const std::string& programDir) {
  const fs::path dir = fs::path(programDir).parent_path();
  if (dir.filename() != "bin") return false;
  std::error_code error;
  return fs::exists(dir.parent_path() / "share/doc/kestrune", error);
}

}  // namespace

TEnvironment ProcessEnvironment() {
  TEnvironment environment;
  for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME", "KESTRUNE_SETTINGS"})
    if (const char* value = std::getenv(name)) environment[name] = value;
  return environment;
}

const std::string& TFilePlaces::ReadFile() const {
  return !DefaultsFile.empty() && !IsFile(SettingsFile) ? DefaultsFile : SettingsFile;
}

TFilePlaces LocateFiles(const std::string& programDir, const TEnvironment& environment) {
  const std::string dir = WithSlash(programDir);
  const std::string besideProgram = dir + "settings.ini";
  TFilePlaces places;
  places.Portable = (!InstalledTree(dir) && WritableByUser(dir)) ||
                    (IsFile(besideProgram) && WritableByUser(besideProgram));
  if (places.Portable) {
    places.SettingsFile = besideProgram;
    places.StateDir = dir;
  } else {
    places.SettingsFile =
        XdgDir(environment, "XDG_CONFIG_HOME", ".config/") + "kestrune/settings.ini";
    places.StateDir = XdgDir(environment, "XDG_STATE_HOME", ".local/state/") + "kestrune/";
    if (IsFile(besideProgram)) places.DefaultsFile = besideProgram;
  }
  const std::string chosen = Value(environment, "KESTRUNE_SETTINGS");
  if (!chosen.empty()) {
    places.SettingsFile = chosen;
    places.DefaultsFile.clear();
  }
  places.LogDir = places.StateDir + "logs/";
  places.BackupDir = places.StateDir + "backups/";
  return places;
}

void PrepareSettingsFile(const TFilePlaces& places) {
  std::error_code error;
  const fs::path file(places.SettingsFile);
  if (file.has_parent_path()) fs::create_directories(file.parent_path(), error);
  if (places.DefaultsFile.empty() || fs::exists(file, error)) return;
  // The bytes, not the file: a copy would keep the read-only bits.
  std::ifstream in(places.DefaultsFile, std::ios::binary);
  std::ofstream out(file, std::ios::binary);
  if (in && out) out << in.rdbuf();
}

}  // namespace kestrune
