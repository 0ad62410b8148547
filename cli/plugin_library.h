// Loading the plug-in module at run time and finding its exported `main`. One implementation per
// platform (dlopen here; LoadLibrary on Windows) behind the same small interface.
#pragma once

#include <memory>
#include <string>

#include "host/host_api.h"

namespace shimmerly::cli {

class PluginLibrary {
 public:
  virtual ~PluginLibrary() = default;
  // The module's `main`.
  virtual PF_EntryPoint entryPoint() const = 0;
  // The path the module was loaded from.
  virtual const std::string& path() const = 0;
};

// Loads the module at path and looks up `main`; throws std::runtime_error with one clear line
// when either fails.
std::unique_ptr<PluginLibrary> loadPluginLibrary(const std::string& path);

// The module's file name on this platform ("Shimmerly.so").
const char* pluginFileName();

// The plug-in installed or built beside the running executable.
std::string defaultPluginPath();

// The path of the file `name` in the folder of the running executable (`name` alone when that
// folder cannot be found).
std::string besideExecutable(const std::string& name);

}  // namespace shimmerly::cli
