// The Windows plug-in loader: LoadLibraryA, GetProcAddress of `main`, FreeLibrary on release.
// The module's path is the loader's own full path of it (backslashes), which the host hands to
// the plug-in through get_platform_data. The default plug-in lies beside the running program.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <stdexcept>

#include "cli/plugin_library.h"

namespace shimmerly::cli {
namespace {

class WindowsLibrary final : public PluginLibrary {
 public:
  WindowsLibrary(HMODULE module, PF_EntryPoint entry, std::string path)
      : module_(module), entry_(entry), path_(std::move(path)) {}
  ~WindowsLibrary() override { FreeLibrary(module_); }
  PF_EntryPoint entryPoint() const override { return entry_; }
  const std::string& path() const override { return path_; }

 private:
  HMODULE module_;
  PF_EntryPoint entry_;
  std::string path_;
};

std::string systemMessage(DWORD code) {
  char text[512] = {};
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, code, 0, text, sizeof text, nullptr);
  std::string message(text, length);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                              message.back() == ' ' || message.back() == '.'))
    message.pop_back();
  return message.empty() ? "error " + std::to_string(code) : message;
}

std::string modulePath(HMODULE module) {
  char path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameA(module, path, MAX_PATH);
  return length > 0 && length < MAX_PATH ? std::string(path, length) : std::string();
}

}  // namespace

std::unique_ptr<PluginLibrary> loadPluginLibrary(const std::string& path) {
  // A bare file name would make LoadLibrary search the system folders; always name a file.
  std::string file = path.find_first_of("\\/") == std::string::npos ? ".\\" + path : path;
  HMODULE module = LoadLibraryA(file.c_str());
  if (!module)
    throw std::runtime_error("cannot load the plug-in " + path + ": " +
                             systemMessage(GetLastError()));
  FARPROC symbol = GetProcAddress(module, "main");
  if (!symbol) {
    FreeLibrary(module);
    throw std::runtime_error("the plug-in " + path + " exports no entry point `main`");
  }
  auto entry = reinterpret_cast<PF_EntryPoint>(reinterpret_cast<void*>(symbol));
  std::string loaded = modulePath(module);
  return std::make_unique<WindowsLibrary>(module, entry, loaded.empty() ? path : loaded);
}

const char* pluginFileName() {
  return "Shimmerly.aex";
}

std::string besideExecutable(const std::string& name) {
  std::string self = modulePath(nullptr);
  const size_t slash = self.find_last_of("\\/");
  if (slash == std::string::npos) return name;
  return self.substr(0, slash + 1) + name;
}

std::string defaultPluginPath() {
  return besideExecutable(pluginFileName());
}

}  // namespace shimmerly::cli
