// Where the settings file, the log folder and later per-run files live; one
// lookup the window and kestrune-cli share.
//
// Portable when it can be: a program folder the user may write (judged from
// its permission bits, see FolderWritableByUser), or one that holds a
// settings.ini the user may write, keeps everything beside the program.
// Otherwise the XDG places:
//   $XDG_CONFIG_HOME/kestrune/settings.ini   (default ~/.config)
//   $XDG_STATE_HOME/kestrune/logs/           (default ~/.local/state)
//   $XDG_STATE_HOME/kestrune/backups/
// In that mode a settings.ini beside the program (a system-wide one, read
// only) gives the defaults until the user's own file exists.
// KESTRUNE_SETTINGS=FILE names the settings file in either mode.
#pragma once

#include <map>
#include <string>

namespace kestrune {

// The variables the lookup reads: HOME, XDG_CONFIG_HOME, XDG_STATE_HOME,
// KESTRUNE_SETTINGS. An empty value counts as unset.
using TEnvironment = std::map<std::string, std::string>;
TEnvironment ProcessEnvironment();

struct TFilePlaces {
  bool Portable = true;
  std::string SettingsFile;  // where the settings are written
  std::string DefaultsFile;  // read instead while SettingsFile is missing; may be empty
  std::string StateDir;      // per-run files (backups/ and the like), trailing '/'
  std::string LogDir;        // StateDir + "logs/"
  std::string BackupDir;     // StateDir + "backups/": the radio's memory before each write

  // The file the settings are read from now.
  const std::string& ReadFile() const;
};

// programDir: the folder of the running program, with or without a trailing '/'.
TFilePlaces LocateFiles(const std::string& programDir, const TEnvironment& environment);

// Before the settings are written: makes the settings file's folder and, on
// first use, starts the file as a copy of the defaults file (so sections the
// program only reads, such as [devices], are kept). Best effort: a failure
// shows when the file itself is written.
void PrepareSettingsFile(const TFilePlaces& places);

// The folder of the running program, with a trailing '/'; "./" when unknown.
// One half per platform (FilePlaces_posix.cpp).
std::string ExecutableDir();

// True when the permission bits let the effective user write path: the owner
// bits for its owner, the group bits for a member, else the others bits.
// Bits, not access(2): root may write anywhere, and would otherwise always
// run portable; a prefix made read-only (chmod a-w) counts as read-only for
// root too.
bool WritableByUser(const std::string& path);

}  // namespace kestrune
