// A temporary folder that lives for one test.
#include "support/temp_dir.h"

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <system_error>

namespace shimmerly::testing {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "shimmerly-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary folder");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

}  // namespace shimmerly::testing
