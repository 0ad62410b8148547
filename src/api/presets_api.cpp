// shimmerly::presetNames and shimmerly::presetControls: the user's preset library as the
// plug-in keeps it (product "Shimmerly"), seeded on first use from the factory presets beside
// this library's file, as the plug-in seeds it from the folder beside its module.
#include <mutex>
#include <string>
#include <vector>

#include "presets/command_stream.h"
#include "presets/glow_unit.h"
#include "presets/preset_controls.h"
#include "presets/preset_folder.h"
#include "presets/preset_library.h"
#include "shimmerly/shimmerly.h"

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace shimmerly {
namespace {

constexpr const char* kProduct = "Shimmerly";

// The file this library was loaded from: the shared library, or the program it is linked into.
std::string libraryPath() {
#if defined(_WIN32)
  HMODULE module = nullptr;
  if (!GetModuleHandleExA(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCSTR>(&libraryPath), &module))
    return {};
  char path[MAX_PATH + 1] = {};
  const DWORD length = GetModuleFileNameA(module, path, MAX_PATH);
  return length > 0 && length < MAX_PATH ? std::string(path, length) : std::string();
#else
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&libraryPath), &info) == 0 || info.dli_fname == nullptr)
    return {};
  return info.dli_fname;
#endif
}

// The preset library's functions share process-wide state (the command registries, the stream
// diagnostic, the folder cache): one caller at a time.
std::mutex& libraryMutex() {
  static std::mutex mutex;
  return mutex;
}

// Makes sure the user's preset folder exists, seeding it the first time, as the plug-in does at
// every start.
void prepareLibrary() {
  static const bool connected = [] {
    setModulePathSource(libraryPath);
    return true;
  }();
  (void)connected;
  ensurePresetFolder(kProduct);
}

}  // namespace

std::vector<std::string> presetNames() {
  const std::lock_guard<std::mutex> lock(libraryMutex());
  prepareLibrary();
  PresetNameList names;
  listPresets(kProduct, names);
  return names;
}

Controls presetControls(const std::string& nameOrPath) {
  const std::lock_guard<std::mutex> lock(libraryMutex());
  prepareLibrary();
  PresetNameList names;
  listPresets(kProduct, names);
  bool listed = false;
  for (const std::string& name : names) listed = listed || name == nameOrPath;
  if (!listed && !isPresetFileArgument(nameOrPath)) {
    std::string available;
    for (const std::string& name : names) available += (available.empty() ? "" : ", ") + name;
    throw Error(
        "shimmerly: no preset named \"" + nameOrPath + "\"; " +
        (names.empty() ? std::string("no presets are available") : "available: " + available));
  }
  GlowUnit unit("GlowUnit");
  const int32_t status =
      listed ? loadPreset(kProduct, nameOrPath.c_str(), unit) : loadPresetFile(nameOrPath, unit);
  if (status != 0) {
    std::string diagnostic = lastStreamError();
    for (char& c : diagnostic)
      if (c == '\n' || c == '\r') c = ' ';
    throw Error("shimmerly: preset \"" + nameOrPath + "\" did not load (status " +
                std::to_string(status) + (diagnostic.empty() ? "" : ": " + diagnostic) + ")");
  }
  return appliedPreset(unit, Controls{});
}

}  // namespace shimmerly
