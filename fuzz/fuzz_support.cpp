// Private documents folder and file writes of the fuzz targets (see fuzz_support.h).
#include "fuzz_support.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace shimmerly::fuzzing {
namespace {

[[noreturn]] void die(const char* what, const std::string& path) {
  std::fprintf(stderr, "fuzz set-up failed: %s %s\n", what, path.c_str());
  std::abort();
}

void makeFolder(const std::string& path) {
  if (mkdir(path.c_str(), 0700) != 0) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) die("cannot create", path);
  }
}

}  // namespace

const std::string& privatePresetFolder() {
  static const std::string folder = [] {
    std::string pattern = access("/dev/shm", W_OK) == 0 ? "/dev/shm/shimmerly-fuzz-XXXXXX"
                                                        : "/tmp/shimmerly-fuzz-XXXXXX";
    if (!mkdtemp(pattern.data())) die("cannot create", pattern);
    setenv("HOME", pattern.c_str(), 1);
    static std::string home = pattern;
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(home, ignored);
    });
    std::string path = pattern;
    for (const char* part : {"Documents", "Brindlex", "Shimmerly", "Shimmerly Presets"}) {
      path += "/";
      path += part;
      makeFolder(path);
    }
    return path;
  }();
  return folder;
}

void writeWholeFile(const std::string& path, const uint8_t* data, size_t size) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) die("cannot write", path);
  if (size > 0 && std::fwrite(data, 1, size, file) != size) die("cannot write", path);
  if (std::fclose(file) != 0) die("cannot write", path);
}

void writeWholeFile(const std::string& path, const std::string& text) {
  writeWholeFile(path, reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

}  // namespace shimmerly::fuzzing
