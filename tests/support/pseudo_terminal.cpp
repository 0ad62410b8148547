// The pseudo-terminal harness: a master side read with timeouts, a slave path, child processes
// started as session leaders on the slave.
#include "support/pseudo_terminal.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <stdexcept>

namespace shimmerly::testing {

PseudoTerminal::PseudoTerminal() {
  masterFd_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (masterFd_ < 0 || grantpt(masterFd_) != 0 || unlockpt(masterFd_) != 0)
    throw std::runtime_error("no pseudo-terminal available");
  const char* name = ptsname(masterFd_);
  if (!name) throw std::runtime_error("no pseudo-terminal name");
  slavePath_ = name;
  slaveFd_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slaveFd_ < 0) throw std::runtime_error("cannot open the pseudo-terminal");
  winsize size{};
  size.ws_row = 24;
  size.ws_col = 80;
  ioctl(masterFd_, TIOCSWINSZ, &size);
}

PseudoTerminal::~PseudoTerminal() {
  if (slaveFd_ >= 0) ::close(slaveFd_);
  if (masterFd_ >= 0) ::close(masterFd_);
}

void PseudoTerminal::send(std::string_view keys) {
  while (!keys.empty()) {
    ssize_t n = ::write(masterFd_, keys.data(), keys.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw std::runtime_error("cannot type into the pseudo-terminal");
    keys.remove_prefix(static_cast<size_t>(n));
  }
}

bool PseudoTerminal::drain(int timeoutMs) {
  pollfd p{masterFd_, POLLIN, 0};
  if (::poll(&p, 1, timeoutMs) <= 0 || !(p.revents & POLLIN)) return false;
  char buffer[4096];
  ssize_t n = ::read(masterFd_, buffer, sizeof buffer);
  if (n <= 0) return false;
  output_.append(buffer, static_cast<size_t>(n));
  return true;
}

void PseudoTerminal::skipDrawn() {
  while (drain(0)) {
  }
  matched_ = output_.size();
}

bool PseudoTerminal::waitFor(std::string_view needle, int timeoutMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    size_t at = output_.find(needle, matched_);
    if (at != std::string::npos) {
      matched_ = at + needle.size();
      return true;
    }
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    drain(static_cast<int>(left.count() < 50 ? left.count() : 50));
  }
}

pid_t PseudoTerminal::spawn(const std::vector<std::string>& argv,
                            const std::vector<std::string>& env) {
  pid_t child = fork();
  if (child < 0) throw std::runtime_error("cannot start a child process");
  if (child == 0) {
    setsid();
    int tty = ::open(slavePath_.c_str(), O_RDWR);  // becomes the controlling terminal
    if (tty < 0) _exit(127);
    ioctl(tty, TIOCSCTTY, 0);
    dup2(tty, 0);
    dup2(tty, 1);
    dup2(tty, 2);
    if (tty > 2) ::close(tty);
    for (const std::string& entry : env) putenv(const_cast<char*>(entry.c_str()));
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  return child;
}

int PseudoTerminal::waitExit(pid_t child, int timeoutMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    int status = 0;
    pid_t done = waitpid(child, &status, WNOHANG);
    if (done == child) {
      while (drain(0)) {
      }
      return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    if (std::chrono::steady_clock::now() > deadline) {
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
      return -1;
    }
    drain(20);
  }
}

}  // namespace shimmerly::testing
