// The POSIX plug-in loader: dlopen with local symbols, dlsym of `main`, dlclose on release. The
// default plug-in lies in the folder of the running executable (/proc/self/exe).
#include <dlfcn.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>

#include "cli/plugin_library.h"

namespace shimmerly::cli {
namespace {

class DlLibrary final : public PluginLibrary {
 public:
  DlLibrary(void* handle, PF_EntryPoint entry, std::string path)
      : handle_(handle), entry_(entry), path_(std::move(path)) {}
  ~DlLibrary() override { dlclose(handle_); }
  PF_EntryPoint entryPoint() const override { return entry_; }
  const std::string& path() const override { return path_; }

 private:
  void* handle_;
  PF_EntryPoint entry_;
  std::string path_;
};

}  // namespace

std::unique_ptr<PluginLibrary> loadPluginLibrary(const std::string& path) {
  // A bare file name would make dlopen search the library path; always name a file.
  std::string file = path.find('/') == std::string::npos ? "./" + path : path;
  void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* why = dlerror();
    throw std::runtime_error("cannot load the plug-in " + path + ": " + (why ? why : "unknown"));
  }
  dlerror();
  void* symbol = dlsym(handle, "main");
  if (!symbol) {
    dlclose(handle);
    throw std::runtime_error("the plug-in " + path + " exports no entry point `main`");
  }
  auto entry = reinterpret_cast<PF_EntryPoint>(symbol);
  std::error_code ec;
  std::string absolute = std::filesystem::absolute(path, ec).string();
  return std::make_unique<DlLibrary>(handle, entry, ec ? path : absolute);
}

const char* pluginFileName() {
  return "Shimmerly.so";
}

std::string besideExecutable(const std::string& name) {
  std::error_code ec;
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return name;
  return (self.parent_path() / name).string();
}

std::string defaultPluginPath() {
  return besideExecutable(pluginFileName());
}

}  // namespace shimmerly::cli
