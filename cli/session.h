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

// Loads the plug-in and runs start(); throws std::runtime_error or PluginError.
std::unique_ptr<PluginHost> openSession(const GlobalOptions& global);

}  // namespace shimmerly::cli
