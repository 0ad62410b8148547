// FileHandle: a thin file object over the platform's file services, opened and closed within one
// preset operation; and ReplacingFile, which writes a new file beside its target and renames it
// over the target only once every byte was written. Paths are complete system paths.
#pragma once

#include <cstdint>
#include <string>

#include "platform/files.h"

namespace shimmerly {

class FileHandle {
 public:
  FileHandle() = default;
  explicit FileHandle(std::string path) : path_(std::move(path)) {}
  ~FileHandle() { close(); }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;

  const std::string& path() const { return path_; }
  void setPath(std::string path) { path_ = std::move(path); }

  // Opens an existing regular file for reading: 0, or nonzero on failure (also for an empty path
  // or a folder).
  int32_t openRead();
  // Creates the file for writing, replacing an existing one: 0, or nonzero on failure.
  int32_t create();
  // Closes the handle if there is one: 0, or nonzero when the system reported a failure.
  int32_t close();
  bool isOpen() const { return file_ != platform::kNoFile; }

  // The file's size in bytes; 0 when not open.
  int64_t size() const;
  // Reads up to n bytes: the count read, 0 on failure or at the end.
  int64_t read(void* buffer, int64_t n);
  // Writes n bytes: the count written, less than n on failure (remembered in writeFailed).
  int64_t write(const void* data, int64_t n);
  // True once any write since create() came up short.
  bool writeFailed() const { return writeFailed_; }
  // Flushes written data to the storage device: 0, or nonzero on failure.
  int32_t flush();

  // Reads one line of at most n bytes into buffer (room for n + 1 bytes) and returns its length;
  // 0 at the end of the file. Line feeds and carriage returns end a line; empty lines are skipped;
  // a longer line comes back in pieces of n bytes. Reads ahead in blocks; read() takes the bytes
  // read ahead first.
  int32_t readLine(char* buffer, int32_t n);

 private:
  // The next byte of the file through the read-ahead block; false at the end.
  bool nextByte(char& byte);

  std::string path_;
  platform::NativeFile file_ = platform::kNoFile;
  bool writeFailed_ = false;
  std::string readAhead_;  // bytes read from the file and not yet handed out, from readAheadAt_
  size_t readAheadAt_ = 0;
};

// Writes a file under a temporary name in the target's folder ("." + the target's name + ".tmp",
// which folder listings skip; the name cut so that the whole stays within 255 bytes) and renames
// it over the target on commit. Until then an earlier file of the target's name stays as it was;
// an uncommitted temporary is deleted.
class ReplacingFile {
 public:
  explicit ReplacingFile(const std::string& target);
  ~ReplacingFile() { discard(); }
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;

  // Creates the temporary file: 0, or nonzero on failure.
  int32_t create();
  FileHandle& file() { return file_; }
  // Checks that every write succeeded, flushes and closes the file and renames it over the
  // target: 0, or nonzero (the temporary is then deleted and the target untouched).
  int32_t commit();
  // Closes and deletes the temporary file, if any.
  void discard();

 private:
  std::string target_;
  FileHandle file_;
  bool created_ = false;
};

}  // namespace shimmerly
