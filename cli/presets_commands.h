// The `shimmerly presets` group: each of its subcommands (show, list, save, ...) lives in its own
// file and registers itself here with a PresetsCommandRegistration, the way top-level
// subcommands register with CommandRegistration. The group adds "--presets-home DIR", which
// points HOME at another folder before a subcommand runs, unless the host already offers it.
#pragma once

#include <string>
#include <vector>

#include "cli/command_registry.h"

namespace shimmerly::cli {

std::vector<CommandEntry>& presetsCommandRegistry();

struct PresetsCommandRegistration {
  PresetsCommandRegistration(std::string name, std::string description, CommandSetup setup) {
    presetsCommandRegistry().push_back({std::move(name), std::move(description), std::move(setup)});
  }
};

}  // namespace shimmerly::cli
