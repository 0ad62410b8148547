// The terminal backend: boxes drawn as lines of text on a terminal device and answered key by
// key. Texts may break lines with carriage returns, line feeds or both; each break is drawn as
// one new line. The terminal's settings are restored whenever a box closes.
#include "ui/terminal_backend.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

namespace shimmerly {
namespace {

constexpr int kEndOfInput = -1;  // the terminal hung up or failed
constexpr int kTimedOut = -3;
constexpr int kIgnoredKey = -2;  // a cursor key or another sequence that boxes do not use
constexpr int kEscape = 0x1b;
constexpr int kCtrlC = 0x03;
constexpr int kCtrlU = 0x15;
constexpr int kBackspace = 0x08;
constexpr int kDelete = 0x7f;
// Bytes of an escape sequence arrive together; a lone Escape key is followed by silence.
constexpr int kSequenceGapMs = 40;
constexpr size_t kMaxFieldBytes = 255;

// One open box: the terminal in key-at-a-time mode without echo, signal keys or output
// translation.
class Terminal {
 public:
  explicit Terminal(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0) return;
    if (tcgetattr(fd_, &saved_) != 0) {
      close();
      return;
    }
    termios raw = saved_;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG | IEXTEN);
    raw.c_iflag &= ~static_cast<tcflag_t>(ICRNL | INLCR | IGNCR | IXON);
    raw.c_oflag &= ~static_cast<tcflag_t>(OPOST);  // line ends are written as "\r\n" here
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    if (tcsetattr(fd_, TCSANOW, &raw) != 0) {
      close();
      return;
    }
    restore_ = true;
  }
  ~Terminal() { close(); }
  Terminal(const Terminal&) = delete;
  Terminal& operator=(const Terminal&) = delete;

  bool ok() const { return fd_ >= 0; }

  void write(std::string_view bytes) {
    while (!bytes.empty()) {
      ssize_t n = ::write(fd_, bytes.data(), bytes.size());
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return;
      bytes.remove_prefix(static_cast<size_t>(n));
    }
  }

  // Writes text with every line break (CR, LF or the pair) drawn as one new line.
  void writeText(const char* text) {
    std::string out;
    for (const char* p = text; *p; ++p) {
      if (*p == '\r' || *p == '\n') {
        if (*p == '\r' && p[1] == '\n') ++p;
        out += "\r\n";
      } else {
        out += *p;
      }
    }
    write(out);
  }

  // The next key: a byte, kEscape for the Escape key alone, kIgnoredKey for a sequence such as
  // a cursor key, kEndOfInput when the terminal gives no more input.
  int readKey() {
    int b = pending_ >= 0 ? std::exchange(pending_, -1) : readByte(-1);
    if (b != kEscape) return b;
    int next = readByte(kSequenceGapMs);
    if (next == kTimedOut) return kEscape;
    if (next == '[') {
      // Control sequence: parameters, then one final byte from '@' to '~'.
      for (;;) {
        int c = readByte(kSequenceGapMs);
        if (c < 0) return kIgnoredKey;
        if (c >= 0x40 && c <= 0x7e) return kIgnoredKey;
      }
    }
    if (next == 'O') {
      readByte(kSequenceGapMs);
      return kIgnoredKey;
    }
    pending_ = next;  // Escape pressed just before another key: keep that key for later
    return kEscape;
  }

  int columns() const {
    winsize size{};
    if (ioctl(fd_, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return 80;
  }

 private:
  void close() {
    if (fd_ < 0) return;
    if (restore_) tcsetattr(fd_, TCSANOW, &saved_);
    ::close(fd_);
    fd_ = -1;
  }

  // One byte, kEndOfInput, or kTimedOut when timeoutMs (if not negative) passes first.
  int readByte(int timeoutMs) {
    if (timeoutMs >= 0) {
      pollfd p{fd_, POLLIN, 0};
      int r;
      do r = ::poll(&p, 1, timeoutMs);
      while (r < 0 && errno == EINTR);
      if (r == 0) return kTimedOut;
      if (r < 0) return kEndOfInput;
    }
    unsigned char c;
    for (;;) {
      ssize_t n = ::read(fd_, &c, 1);
      if (n == 1) return c;
      if (n < 0 && errno == EINTR) continue;
      return kEndOfInput;
    }
  }

  int fd_ = -1;
  bool restore_ = false;
  termios saved_{};
  int pending_ = -1;
};

bool isEnter(int key) {
  return key == '\r' || key == '\n';
}

int lowerAscii(int c) {
  return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c;
}

// Removes the last character of a UTF-8 text, continuation bytes included.
void popCharacter(std::string& text) {
  while (!text.empty()) {
    unsigned char last = static_cast<unsigned char>(text.back());
    text.pop_back();
    if ((last & 0xc0) != 0x80) return;
  }
}

}  // namespace

TerminalUiBackend::TerminalUiBackend(std::string terminalPath)
    : terminalPath_(std::move(terminalPath)) {}

void TerminalUiBackend::showMessage(const char* text) {
  Terminal terminal(terminalPath_);
  if (!terminal.ok()) return headlessUiBackend().showMessage(text);
  terminal.write("\r\n-- Attention ! --\r\n");
  terminal.writeText(text);
  terminal.write("\r\n[ OK ]  (press Enter)");
  for (;;) {
    int key = terminal.readKey();
    if (isEnter(key) || key == ' ' || key == kEscape || key == kCtrlC || key == kEndOfInput) break;
  }
  terminal.write("\r\n");
}

int TerminalUiBackend::askQuestion(void*, const char* text, const char* first, const char* second,
                                   const char* third, const char* caption) {
  Terminal terminal(terminalPath_);
  if (!terminal.ok()) return -1;
  const char* labels[3] = {first, second, third};

  // A button's letter key: its first character, unless another shown button starts alike.
  int letters[3] = {0, 0, 0};
  for (int i = 0; i < 3; ++i) {
    if (!labels[i] || !std::isalnum(static_cast<unsigned char>(labels[i][0]))) continue;
    letters[i] = lowerAscii(static_cast<unsigned char>(labels[i][0]));
    for (int j = 0; j < 3; ++j) {
      if (j != i && labels[j] && lowerAscii(static_cast<unsigned char>(labels[j][0])) == letters[i])
        letters[i] = 0;
    }
  }

  terminal.write("\r\n-- ");
  terminal.writeText(caption && *caption ? caption : "Brindlex");
  terminal.write(" --\r\n");
  terminal.writeText(text);
  terminal.write("\r\n");
  // Left to right as in the dialog: third, second, then the default first button.
  std::string buttons, keys;
  for (int i = 2; i >= 0; --i) {
    if (!labels[i]) continue;
    buttons += i == 0 ? std::string("[ ") + labels[i] + " ]" : std::string("  ") + labels[i] + "  ";
    buttons += ' ';
  }
  for (int i = 0; i < 3; ++i) {
    if (!labels[i]) continue;
    if (!keys.empty()) keys += ", ";
    keys += letters[i] ? std::string(1, static_cast<char>(letters[i])) : std::to_string(i + 1);
    keys += " = ";
    keys += labels[i];
  }
  terminal.write(buttons + " (" + keys + "; Enter = " + (labels[0] ? labels[0] : "") + ")");

  int answer = -1;
  while (answer == -1) {
    int key = terminal.readKey();
    if (key == kEndOfInput) break;
    if (key == kEscape || key == kCtrlC) {
      answer = 2;  // the cancel command closes the box as the second button does
    } else if (isEnter(key) && labels[0]) {
      answer = 1;
    } else if (key >= '1' && key <= '3' && labels[key - '1']) {
      answer = key - '0';
    } else {
      for (int i = 0; i < 3; ++i)
        if (letters[i] && lowerAscii(key) == letters[i]) answer = i + 1;
    }
  }
  if (answer >= 1 && answer <= 3 && labels[answer - 1]) {
    terminal.write(" ");
    terminal.writeText(labels[answer - 1]);
  }
  terminal.write("\r\n");
  return answer;
}

int TerminalUiBackend::runTextPrompt(const TextPrompt& prompt, char* result) {
  Terminal terminal(terminalPath_);
  if (!terminal.ok()) return -1;
  terminal.write("\r\n");
  if (prompt.caption[0]) {
    terminal.writeText(prompt.caption);
    terminal.write("\r\n");
  }

  std::string text = prompt.initialText;
  bool selected = !text.empty();
  const std::string label = std::string(prompt.label) + ' ';
  auto draw = [&] {
    // The field scrolls: when the text does not fit beside the label, its end is shown.
    size_t room = static_cast<size_t>(terminal.columns()) - 1;
    room = room > label.size() + 8 ? room - label.size() : 8;
    std::string shown = text;
    if (shown.size() > room) shown = "<" + shown.substr(shown.size() - (room - 1));
    std::string line = "\r" + label;
    line += selected ? "\x1b[7m" + shown + "\x1b[27m" : shown;
    line += "\x1b[K";
    terminal.write(line);
  };
  draw();

  for (;;) {
    int key = terminal.readKey();
    if (key == kEndOfInput || key == kEscape || key == kCtrlC) {
      terminal.write("\r\n");
      return -1;
    }
    if (isEnter(key)) {
      size_t n = text.size() < kMaxFieldBytes ? text.size() : kMaxFieldBytes;
      std::memcpy(result, text.data(), n);
      result[n] = '\0';
      terminal.write("\r\n");
      return 0;
    }
    if (key == kBackspace || key == kDelete) {
      if (selected)
        text.clear();
      else
        popCharacter(text);
      selected = false;
    } else if (key == kCtrlU) {
      text.clear();
      selected = false;
    } else if (key == kIgnoredKey) {
      selected = false;  // a cursor key drops the selection, as in an edit field
    } else if (key >= 0x20) {
      if (selected) text.clear();
      selected = false;
      if (text.size() < kMaxFieldBytes) text += static_cast<char>(key);
    } else {
      continue;  // other control keys do nothing
    }
    draw();
  }
}

}  // namespace shimmerly
