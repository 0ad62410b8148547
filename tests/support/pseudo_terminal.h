// A pseudo-terminal for tests of terminal dialogue: the test plays the user on the master side
// (reads what was drawn, types keys) while the code under test opens the slave device by path,
// or runs as a child process whose controlling terminal it is.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

namespace shimmerly::testing {

class PseudoTerminal {
 public:
  PseudoTerminal();  // throws std::runtime_error when no pseudo-terminal can be had
  ~PseudoTerminal();
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  const std::string& slavePath() const { return slavePath_; }
  // The slave side, kept open by the harness so that the terminal survives between boxes.
  int slaveFd() const { return slaveFd_; }

  // Types bytes as the user would.
  void send(std::string_view keys);
  // Reads what is drawn until needle appears after the previous match (or timeoutMs passes);
  // true when it appeared.
  bool waitFor(std::string_view needle, int timeoutMs = 5000);
  // Reads what is drawn for up to timeoutMs (so that a box drawing a lot never blocks); false
  // when nothing came.
  bool drain(int timeoutMs);
  // Reads everything drawn so far and forgets it for waitFor: the next match must be drawn
  // later (so that the redraws of a closed box cannot be taken for the next box).
  void skipDrawn();
  // Everything drawn so far.
  const std::string& output() const { return output_; }

  // Runs argv in a child process whose controlling terminal and standard streams are this
  // terminal, with extra environment entries ("NAME=value") added; returns its process id.
  pid_t spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env = {});
  // Waits for a spawned child while draining its output; its exit status, or -1 when it had to
  // be killed after timeoutMs.
  int waitExit(pid_t child, int timeoutMs = 20000);

 private:
  int masterFd_ = -1;
  int slaveFd_ = -1;
  std::string slavePath_;
  std::string output_;
  size_t matched_ = 0;
};

}  // namespace shimmerly::testing
