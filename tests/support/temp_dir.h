// A temporary folder that lives for one test and is removed with everything in it.
#pragma once

#include <filesystem>
#include <string>

namespace shimmerly::testing {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string str() const { return path_.string(); }

 private:
  std::filesystem::path path_;
};

}  // namespace shimmerly::testing
