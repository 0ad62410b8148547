// The command stream: line writing, the tokeniser over input chunks, typed reads, and the
// command loop of StreamRecord with its recovery from unknown tokens.
#include "presets/command_stream.h"

#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "presets/file_handle.h"
#include "presets/registry.h"

namespace shimmerly {
namespace {

// Room for the longest diagnostic: a 255-byte command, a class name and a position.
char streamError[1024] = {};

constexpr int kUnrecognisedLimit = 100;

bool isBlank(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

}  // namespace

const char* lastStreamError() {
  return streamError;
}

void clearLastStreamError() {
  streamError[0] = '\0';
}

void setLastStreamError(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vsnprintf(streamError, sizeof streamError, format, args);
  va_end(args);
}

CommandStream::CommandStream(StreamRecord* root, size_t chunkSize)
    : line_(kLineBufferSize, '\0'), chunk_(chunkSize < 2 ? 2 : chunkSize, '\0') {
  push(root);
}

void CommandStream::setInput(FileHandle* file) {
  input_ = file;
  chunkLength_ = 0;
  cursor_ = 0;
}

void CommandStream::setOutput(FileHandle* file) {
  output_ = file;
}

void CommandStream::formatLine(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vsnprintf(line_.data(), line_.size(), format, args);
  va_end(args);
}

int32_t CommandStream::emitLine() {
  std::string text(static_cast<size_t>(depth()), ' ');
  text += line_.data();
  text += '\n';
  const auto size = static_cast<int64_t>(text.size());
  if (!output_ || output_->write(text.data(), size) != size) {
    outputFailed_ = true;
    return -1;
  }
  return 0;
}

int CommandStream::peekByte() {
  if (cursor_ >= chunkLength_) {
    if (!input_) return -1;
    const int64_t got = input_->read(chunk_.data(), static_cast<int64_t>(chunk_.size() - 1));
    if (got <= 0) {
      input_ = nullptr;  // exhausted: no input from now on
      chunkLength_ = 0;
      cursor_ = 0;
      return -1;
    }
    chunkLength_ = static_cast<size_t>(got);
    chunk_[chunkLength_] = '\0';
    cursor_ = 0;
  }
  return static_cast<unsigned char>(chunk_[cursor_]);
}

void CommandStream::consumeByte() {
  ++cursor_;
  if (position_ < std::numeric_limits<int32_t>::max()) ++position_;
}

int32_t CommandStream::readToken(char* buffer, size_t size) {
  if (buffer && size > 0) buffer[0] = '\0';
  if (!input_) return -3;
  const size_t limit = (size < kTokenBufferSize ? size : kTokenBufferSize) - (size > 0 ? 1 : 0);
  size_t length = 0;
  auto keep = [&](int c) {
    if (length < limit) buffer[length++] = static_cast<char>(c);
  };

  // Blanks, zero bytes and comments before the token.
  for (;;) {
    int c = peekByte();
    if (c < 0) return -3;
    if (isBlank(c) || c == 0) {
      consumeByte();
      continue;
    }
    if (c != '#') break;
    consumeByte();
    while ((c = peekByte()) != '\n' && c != '\r') {
      if (c < 0) return -3;
      consumeByte();
    }
  }

  if (peekByte() == '"') {
    consumeByte();
    for (;;) {
      const int c = peekByte();
      if (c < 0) return -3;  // an unclosed quote at the end of the input is discarded
      consumeByte();
      if (c == '"') break;
      if (c == '\\') {
        const int next = peekByte();
        if (next < 0) return -3;
        if (next == '"') {
          consumeByte();
          keep('"');
        } else {
          keep('\\');
        }
        continue;
      }
      if (c != 0) keep(c);
    }
  } else {
    for (;;) {
      const int c = peekByte();
      if (c < 0) return -3;  // a plain token must end with a blank
      consumeByte();
      if (isBlank(c) || c == 0) break;
      keep(c);
    }
  }
  if (size > 0) buffer[length] = '\0';
  return 0;
}

int32_t CommandStream::readReal(double& value) {
  char token[256];
  double parsed = 0.0;
  if (readToken(token, sizeof token) != 0 || std::sscanf(token, "%lf", &parsed) != 1 ||
      !std::isfinite(parsed)) {
    return -1;
  }
  value = parsed;
  return 0;
}

int32_t CommandStream::readFloats(float* values, int n) {
  for (int i = 0; i < n; ++i) {
    char token[256];
    float parsed = 0.0f;
    if (readToken(token, sizeof token) != 0 || std::sscanf(token, "%f", &parsed) != 1 ||
        !std::isfinite(parsed)) {
      return -1;
    }
    values[i] = parsed;
  }
  return 0;
}

int32_t CommandStream::readSwitch(int32_t& value) {
  char token[256];
  if (readToken(token, sizeof token) != 0) return -1;
  if (std::strcmp(token, "on") == 0) {
    value = 1;
    return 0;
  }
  if (std::strcmp(token, "off") == 0) {
    value = 0;
    return 0;
  }
  // "%d" without its undefined overflow: the same leading blanks, sign and digits.
  char* end = nullptr;
  errno = 0;
  const long long parsed = std::strtoll(token, &end, 10);
  if (end == token || errno == ERANGE || parsed < std::numeric_limits<int32_t>::min() ||
      parsed > std::numeric_limits<int32_t>::max()) {
    return -1;
  }
  value = static_cast<int32_t>(parsed);
  return 0;
}

int32_t CommandStream::processTop() {
  if (stack_.empty()) {
    setLastStreamError("Error processing command stack while loading scene.");
    return -1;
  }
  return stack_.back()->processCommand(*this);
}

int32_t StreamRecord::registerCommand(const char* name, CommandHandler handler) {
  commandRegistry().findOrAdd(name, handler);
  return 0;
}

int32_t StreamRecord::writeRecord(CommandStream& stream) {
  stream.formatLine("begin %s\n", className());
  stream.emitLine();
  stream.push(this);
  const int32_t status = writeBody(stream);
  stream.pop();
  stream.formatLine("end %s\n", className());
  stream.emitLine();
  return status;
}

int32_t StreamRecord::processCommand(CommandStream& stream) {
  clearLastStreamError();
  Registry& registry = commandRegistry();
  char token[256];
  for (int unrecognised = 1;; ++unrecognised) {
    if (stream.readToken(token, sizeof token) == -3) return 0;
    if (std::strcmp(token, "**EndOfStream**") == 0) return -3;

    Registry::Entry* entry = registry.findOrAdd(token, nullptr);
    if (entry->handler) {
      const int32_t status = entry->handler(stream, *this);
      if (status == -1) {
        setLastStreamError("Error processing scene command <<%s>> for class <<%s>> at byte %d.",
                           token, className(), stream.position());
      }
      registry.release(entry);
      return status;
    }

    if (lastStreamError()[0] == '\0') {
      setLastStreamError(
          "Warning: Recovering from scene data error for command <<%s>> for class <<%s>> at "
          "byte %d.",
          token, className(), stream.position());
    }
    registry.release(entry);
    if (unrecognised == kUnrecognisedLimit) {
      setLastStreamError("Scene error: unknown command <<%s>> for class <<%s>> at byte %d.", token,
                         className(), stream.position());
      return -1;
    }
  }
}

}  // namespace shimmerly
