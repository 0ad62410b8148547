// FileHandle and ReplacingFile over the platform's file services. A FileHandle remembers any
// short write, so that a replacing save can refuse to rename an incomplete file over its target.
#include "presets/file_handle.h"

#include <cstring>

namespace shimmerly {

int32_t FileHandle::openRead() {
  close();
  file_ = platform::openFileForReading(path_.c_str());
  return isOpen() ? 0 : -1;
}

int32_t FileHandle::create() {
  close();
  writeFailed_ = false;
  file_ = platform::createFileForWriting(path_.c_str());
  return isOpen() ? 0 : -1;
}

int32_t FileHandle::close() {
  readAhead_.clear();
  readAheadAt_ = 0;
  if (!isOpen()) return 0;
  const bool closed = platform::closeFile(file_);
  file_ = platform::kNoFile;
  return closed ? 0 : -1;
}

int64_t FileHandle::size() const {
  return isOpen() ? platform::fileSize(file_) : 0;
}

int64_t FileHandle::read(void* buffer, int64_t n) {
  if (!isOpen() || n <= 0) return 0;
  const size_t ahead = readAhead_.size() - readAheadAt_;
  if (ahead > 0) {
    const size_t taken = static_cast<uint64_t>(n) < ahead ? static_cast<size_t>(n) : ahead;
    std::memcpy(buffer, readAhead_.data() + readAheadAt_, taken);
    readAheadAt_ += taken;
    return static_cast<int64_t>(taken);
  }
  return platform::readFile(file_, buffer, n);
}

bool FileHandle::nextByte(char& byte) {
  if (readAheadAt_ == readAhead_.size()) {
    // One system call per block rather than per byte: an index file may hold megabytes.
    constexpr size_t kBlock = 65536;
    readAhead_.resize(kBlock);
    const int64_t got = isOpen() ? platform::readFile(file_, readAhead_.data(), kBlock) : 0;
    readAhead_.resize(got > 0 ? static_cast<size_t>(got) : 0);
    readAheadAt_ = 0;
    if (readAhead_.empty()) return false;
  }
  byte = readAhead_[readAheadAt_++];
  return true;
}

int64_t FileHandle::write(const void* data, int64_t n) {
  const int64_t written = isOpen() ? platform::writeFile(file_, data, n) : 0;
  if (written != n) writeFailed_ = true;
  return written;
}

int32_t FileHandle::flush() {
  return isOpen() && platform::flushFile(file_) ? 0 : -1;
}

int32_t FileHandle::readLine(char* buffer, int32_t n) {
  int32_t count = 0;
  char byte = 0;
  while (count < n && nextByte(byte)) {
    if (byte == '\n' || byte == '\r') {
      if (count > 0) break;
      continue;  // empty lines and the second byte of a line break pair vanish
    }
    buffer[count++] = byte;
  }
  buffer[count] = '\0';
  return count;
}

namespace {

// The longest file name the file systems take (one folder entry, in bytes).
constexpr size_t kMaxFileNameBytes = 255;

// "<folder>/.<name>.tmp": hidden from listings, and never the file of a preset (those end in
// ".smr"), not even of one whose name begins with ".". The name is cut so that the temporary's
// name stays within kMaxFileNameBytes: a target whose own name just fits must not fail for its
// temporary's sake.
std::string temporaryBeside(const std::string& target) {
  size_t cut = target.size();
  while (cut > 0 && !platform::isPathSeparator(target[cut - 1])) --cut;
  const std::string suffix = ".tmp";
  return target.substr(0, cut) + "." + target.substr(cut, kMaxFileNameBytes - 1 - suffix.size()) +
         suffix;
}

}  // namespace

ReplacingFile::ReplacingFile(const std::string& target)
    : target_(target), file_(target.empty() ? std::string() : temporaryBeside(target)) {}

int32_t ReplacingFile::create() {
  discard();
  if (target_.empty() || file_.path().size() > platform::kMaxPathBytes) return -1;
  if (file_.create() != 0) return -1;
  created_ = true;
  return 0;
}

int32_t ReplacingFile::commit() {
  if (!created_) return -1;
  const bool complete = !file_.writeFailed() && file_.flush() == 0 && file_.close() == 0;
  if (!complete || !platform::replaceFile(file_.path().c_str(), target_.c_str())) {
    discard();
    return -1;
  }
  created_ = false;
  return 0;
}

void ReplacingFile::discard() {
  if (!created_) return;
  file_.close();
  platform::deleteFile(file_.path().c_str());
  created_ = false;
}

}  // namespace shimmerly
