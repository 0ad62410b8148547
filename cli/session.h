// Opening a plug-in session for a subcommand: the plug-in chosen by --plugin (or the one beside
// the executable), the host version chosen by --host-version, and global, parameter and sequence
// set-up already done.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "cli/command_registry.h"
#include "cli/plugin_host.h"

namespace shimmerly::cli {

// "MAJOR.MINOR" with both parts 0..32767; throws std::runtime_error naming --host-version.
PF_SpecVersion parseHostVersion(const std::string& text);

// Loads the plug-in with the host version chosen, after pointing HOME at --presets-home when it
// is given (the plug-in finds the documents folder, and so the presets, under HOME); throws
// std::runtime_error.
std::unique_ptr<PluginHost> loadPlugin(const GlobalOptions& global);

// Sets the plug-in's render threads for this process before it is loaded: N threads (the
// plug-in takes at most 16), or 0 for one per processor. The plug-in reads SHIMMERLY_THREADS
// when it makes its thread pool, so this sets or clears that variable.
void useRenderThreads(int threads);

// Loads the plug-in and runs start(); throws std::runtime_error or PluginError.
std::unique_ptr<PluginHost> openSession(const GlobalOptions& global);

}  // namespace shimmerly::cli
