// POSIX file services of the preset folder tree: the documents folder is the home folder ($HOME,
// else the password database) plus "/Documents"; listings are sorted byte by byte; files are
// plain descriptors carried in a NativeFile.
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "platform/files.h"

namespace shimmerly::platform {

bool documentsFolder(std::string& path) {
  std::string home;
  const char* fromEnvironment = std::getenv("HOME");
  if (fromEnvironment && fromEnvironment[0] != '\0') {
    home = fromEnvironment;
  } else {
    const passwd* entry = getpwuid(getuid());
    if (!entry || !entry->pw_dir || entry->pw_dir[0] == '\0') return false;
    home = entry->pw_dir;
  }
  while (home.size() > 1 && home.back() == '/') home.pop_back();
  if (home == "/") home.clear();
  path = home + "/Documents";
  return true;
}

void createFolder(const std::string& path) {
  if (!path.empty()) mkdir(path.c_str(), 0777);
}

bool listFolder(const std::string& path, std::vector<std::string>& names) {
  names.clear();
  if (path.empty()) return false;
  DIR* folder = opendir(path.c_str());
  if (!folder) return false;
  while (const dirent* entry = readdir(folder)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    names.push_back(name);
  }
  closedir(folder);
  std::sort(names.begin(), names.end());  // std::string compares bytes as unsigned char
  return true;
}

NativeFile openFileForReading(const char* path) {
  if (!path || path[0] == '\0') return kNoFile;
  // Non-blocking open so that a named pipe cannot stall the host; only regular files pass.
  const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return kNoFile;
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return kNoFile;
  }
  const int flags = fcntl(fd, F_GETFL);
  if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  return fd;
}

NativeFile createFileForWriting(const char* path) {
  if (!path || path[0] == '\0') return kNoFile;
  const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  return fd < 0 ? kNoFile : fd;
}

int64_t fileSize(NativeFile file) {
  struct stat info;
  if (file == kNoFile || fstat(static_cast<int>(file), &info) != 0) return 0;
  return static_cast<int64_t>(info.st_size);
}

int64_t readFile(NativeFile file, void* buffer, int64_t n) {
  if (file == kNoFile || n <= 0) return 0;
  for (;;) {
    const ssize_t got = ::read(static_cast<int>(file), buffer, static_cast<size_t>(n));
    if (got >= 0) return got;
    if (errno != EINTR) return 0;
  }
}

int64_t writeFile(NativeFile file, const void* data, int64_t n) {
  if (file == kNoFile || n <= 0) return 0;
  const char* bytes = static_cast<const char*>(data);
  int64_t done = 0;
  while (done < n) {
    const ssize_t put =
        ::write(static_cast<int>(file), bytes + done, static_cast<size_t>(n - done));
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) break;
    done += put;
  }
  return done;
}

bool flushFile(NativeFile file) {
  if (file == kNoFile) return false;
  if (fsync(static_cast<int>(file)) == 0) return true;
  // Files that cannot be synchronised at all (special files, some network file systems) have
  // nothing more to push; only a real write-back failure counts.
  return errno == EINVAL || errno == ENOTSUP;
}

bool closeFile(NativeFile file) {
  if (file == kNoFile) return true;
  // After a failed close the descriptor is gone on Linux; retrying could close another one.
  return ::close(static_cast<int>(file)) == 0;
}

bool deleteFile(const char* path) {
  return path && path[0] != '\0' && unlink(path) == 0;
}

bool replaceFile(const char* from, const char* to) {
  return from && to && std::rename(from, to) == 0;
}

}  // namespace shimmerly::platform
