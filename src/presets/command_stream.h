// CommandStream: writes records as text ("begin <class>", one command per line, "end <class>",
// every line followed by an empty line) and reads them back token by token, letting the command
// handlers of the record on top of its stack consume their values. Statuses: 0 success, -1
// error, -3 end of stream. Diagnostics go to the process-wide lastStreamError() only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "presets/stream_record.h"

namespace shimmerly {

class FileHandle;

// The latest diagnostic of the command stream (empty when there is none). It holds the longest
// text the stream produces; a longer one would be cut, never overrun.
const char* lastStreamError();
void clearLastStreamError();
// Formats a diagnostic into lastStreamError, cut to its store.
void setLastStreamError(const char* format, ...) __attribute__((format(printf, 1, 2)));

class CommandStream {
 public:
  static constexpr size_t kLineBufferSize = 50000;
  static constexpr size_t kDefaultChunkSize = 50000;
  // Tokens are at most kTokenBufferSize - 1 bytes whatever the caller's buffer; longer ones are
  // cut and their remainder consumed.
  static constexpr size_t kTokenBufferSize = 1024;

  // chunkSize is the input chunk: up to chunkSize - 1 bytes are read at a time (at least 1).
  explicit CommandStream(StreamRecord* root, size_t chunkSize = kDefaultChunkSize);
  CommandStream(const CommandStream&) = delete;
  CommandStream& operator=(const CommandStream&) = delete;

  // Attach an open file; the stream never closes it.
  void setInput(FileHandle* file);
  void setOutput(FileHandle* file);

  void push(StreamRecord* record) { stack_.push_back(record); }
  void pop() {
    if (!stack_.empty()) stack_.pop_back();
  }
  int32_t depth() const { return static_cast<int32_t>(stack_.size()); }
  StreamRecord* top() const { return stack_.empty() ? nullptr : stack_.back(); }

  // The line buffer that emitLine writes; formatLine fills it printf-style (cut to its size).
  char* lineBuffer() { return line_.data(); }
  void formatLine(const char* format, ...) __attribute__((format(printf, 2, 3)));
  // Writes depth spaces, the line buffer's text and one line feed: 0, or -1 when the output is
  // missing or a write failed (remembered in outputFailed).
  int32_t emitLine();
  bool outputFailed() const { return outputFailed_; }

  // Whether an input is attached and not exhausted.
  bool hasInput() const { return input_ != nullptr; }
  // Zero-based offset of the last input byte consumed; -1 before the first.
  int32_t position() const { return position_; }

  // The next token into buffer, cut to size - 1 bytes plus a terminating zero: 0, or -3 when the
  // input ends first (a token still open at the end of the input is discarded). Blanks are
  // space, tab, line feed and carriage return; "#" starts a comment up to the line end; a double
  // quote starts a quoted token in which backslash + quote stands for a quote. A zero byte in the
  // input acts as a blank outside quotes and is dropped inside a quoted token or a comment.
  int32_t readToken(char* buffer, size_t size);
  // One token parsed with "%lf"; -1 (value untouched) when there is no token, no number or the
  // number is not finite.
  int32_t readReal(double& value);
  // n tokens parsed with "%f" in turn; -1 at the first token that is missing, not a number or
  // not finite (it and later values untouched), else 0.
  int32_t readFloats(float* values, int n);
  // One token: "on" is 1, "off" is 0, otherwise a decimal integer as "%d" reads it; -1 (value
  // untouched) when there is no token, no number or the number does not fit 32 bits.
  int32_t readSwitch(int32_t& value);

  // Carries out one command of the record on top of the stack; -1 with a diagnostic when the
  // stack is empty.
  int32_t processTop();

 private:
  // The next input byte (0-255) without consuming it, refilling the chunk as needed; -1 when
  // the input is exhausted, which drops the input.
  int peekByte();
  void consumeByte();

  std::vector<StreamRecord*> stack_;
  std::vector<char> line_;
  FileHandle* output_ = nullptr;
  bool outputFailed_ = false;
  FileHandle* input_ = nullptr;
  std::vector<char> chunk_;
  size_t chunkLength_ = 0;
  size_t cursor_ = 0;
  int32_t position_ = -1;
};

}  // namespace shimmerly
