// Temporary home folders, the fake host and file helpers of the preset tests. The documents
// folder (HOME on POSIX, the user's shell folder on Windows), the plug-in folder cache and the
// host record are process-wide, so every helper restores them.
#include "preset_test_support.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#ifdef _WIN32
#include <windows.h>
#endif

#include "host/plugin_state.h"
#include "presets/preset_folder.h"

namespace shimmerly::testing {

#ifdef _WIN32
namespace {

// Where Windows keeps the user's shell folders; "Personal" is the documents folder, which
// SHGetSpecialFolderPath reads from here on every call (folder redirection).
constexpr const char* kShellFolders =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

// The documents folder's registry value, or false when there is none.
bool readDocumentsValue(std::string& value) {
  char buffer[MAX_PATH * 2] = {};
  DWORD size = sizeof buffer - 1;
  if (RegGetValueA(HKEY_CURRENT_USER, kShellFolders, "Personal",
                   RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, buffer,
                   &size) != ERROR_SUCCESS)
    return false;
  value = buffer;
  return true;
}

void writeDocumentsValue(const std::string* value) {
  HKEY key;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, kShellFolders, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS)
    return;
  if (value) {
    RegSetValueExA(key, "Personal", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(value->c_str()),
                   static_cast<DWORD>(value->size() + 1));
  } else {
    RegDeleteValueA(key, "Personal");
  }
  RegCloseKey(key);
}

}  // namespace

TempHome::TempHome() {
  hadHome_ = readDocumentsValue(savedHome_);
  // The shell names a documents folder only when it exists.
  std::filesystem::create_directories(home() / "Documents");
  const std::string documents = (home() / "Documents").string();
  writeDocumentsValue(&documents);
  resetPluginFolderCache();
  pluginState().currentInData = nullptr;
}

TempHome::~TempHome() {
  writeDocumentsValue(hadHome_ ? &savedHome_ : nullptr);
  resetPluginFolderCache();
  pluginState().currentInData = nullptr;
}
#else
TempHome::TempHome() {
  if (const char* home = std::getenv("HOME")) {
    hadHome_ = true;
    savedHome_ = home;
  }
  setenv("HOME", dir_.str().c_str(), 1);
  resetPluginFolderCache();
  pluginState().currentInData = nullptr;
}

TempHome::~TempHome() {
  if (hadHome_) {
    setenv("HOME", savedHome_.c_str(), 1);
  } else {
    unsetenv("HOME");
  }
  resetPluginFolderCache();
  pluginState().currentInData = nullptr;
}
#endif

std::filesystem::path TempHome::productFolder() const {
  return home() / "Documents" / "Brindlex" / "Shimmerly";
}

std::filesystem::path TempHome::presetFolder() const {
  return productFolder() / "Shimmerly Presets";
}

FakeHost::FakeHost(std::string pluginPath) : pluginPath_(std::move(pluginPath)) {
  utils_.get_platform_data = &FakeHost::getPlatformData;
  inData_.utils = &utils_;
  inData_.effect_ref = this;
  pluginState().currentInData = &inData_;
}

FakeHost::~FakeHost() {
  pluginState().currentInData = nullptr;
}

PF_Err FakeHost::getPlatformData(PF_ProgPtr ref, int32_t which, void* data) {
  auto* host = static_cast<FakeHost*>(ref);
  ++host->calls_;
  if (which != PF_PlatData_EXE_FILE_PATH) return PF_Err_BAD_CALLBACK_PARAM;
  std::memcpy(data, host->pluginPath_.c_str(), host->pluginPath_.size() + 1);
  return PF_Err_NONE;
}

std::string readBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::string> treeOf(const std::filesystem::path& root) {
  std::vector<std::string> paths;
  std::error_code ignored;
  for (auto it = std::filesystem::recursive_directory_iterator(root, ignored);
       it != std::filesystem::recursive_directory_iterator(); ++it) {
    paths.push_back(std::filesystem::relative(it->path(), root).string());
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

}  // namespace shimmerly::testing
