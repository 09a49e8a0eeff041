// A pseudo-terminal for the simulated radio, with a stable symbolic link to
// its program side, so that settings can name one path across runs.
//
// The radio serves the master side. It keeps a descriptor of the slave side
// open itself, so that the master never sees a hang-up while the program has
// the port closed: the program may close and re-open the link as often as it
// likes, and the radio's loop keeps sleeping in poll() in between.
#pragma once

#include <string>

namespace kestrune::sim {

class PtyLine {
 public:
  // Creates the pseudo-terminal in raw mode and points `linkPath` at its
  // slave (no link for an empty path). An existing symbolic link there is
  // replaced; any other file is left alone and refused. Throws
  // std::system_error or std::runtime_error.
  explicit PtyLine(const std::string& linkPath);
  // Removes the link if it still points at this terminal; closes both sides.
  ~PtyLine();
  PtyLine(const PtyLine&) = delete;
  PtyLine& operator=(const PtyLine&) = delete;

  int MasterFd() const { return master_; }
  const std::string& SlavePath() const { return slavePath_; }
  const std::string& LinkPath() const { return linkPath_; }

 private:
  void MakeLink();
  void Cleanup();

  int master_ = -1;
  int heldSlave_ = -1;
  std::string slavePath_;
  std::string linkPath_;
};

}  // namespace kestrune::sim
