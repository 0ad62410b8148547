// A temporary folder that lives for one test.
#include "support/temp_dir.h"

#include <cstdlib>
#include <random>
#include <stdexcept>
#include <string>
#include <system_error>

namespace shimmerly::testing {

#ifdef _WIN32
// mingw has no mkdtemp: try random names until create_directory makes a new folder.
TempDir::TempDir() {
  std::random_device seed;
  std::mt19937 rng(seed());
  const std::filesystem::path base = std::filesystem::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::filesystem::path candidate = base / ("shimmerly-test-" + std::to_string(rng()));
    std::error_code error;
    if (std::filesystem::create_directory(candidate, error)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary folder");
}
#else
TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "shimmerly-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary folder");
  path_ = pattern;
}
#endif

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

}  // namespace shimmerly::testing
