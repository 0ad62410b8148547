// `shimmerly presets SUBCOMMAND`: the group of preset subcommands registered through
// PresetsCommandRegistration, with "--presets-home DIR" to work on another home folder's presets.
#include <cstdlib>
#include <map>
#include <memory>
#include <string>

#include "cli/presets_commands.h"

namespace shimmerly::cli {

std::vector<CommandEntry>& presetsCommandRegistry() {
  static std::vector<CommandEntry> entries;
  return entries;
}

namespace {

CommandAction setupPresets(CLI::App& app, const GlobalOptions& global) {
  app.require_subcommand(1);
  auto home = std::make_shared<std::string>();
#ifndef _WIN32  // the documents folder comes from HOME only on POSIX systems
  if (!app.get_option_no_throw("--presets-home")) {
    app.add_option("--presets-home", *home,
                   "home folder whose Documents folder holds the presets (sets HOME)")
        ->type_name("DIR");
  }
#endif
  auto actions = std::make_shared<std::map<CLI::App*, CommandAction>>();
  for (const CommandEntry& entry : presetsCommandRegistry()) {
    CLI::App* sub = app.add_subcommand(entry.name, entry.description);
    sub->fallthrough();  // group options may follow the subcommand's own arguments
    (*actions)[sub] = entry.setup(*sub, global);
  }
  return [&app, actions, home]() -> int {
#ifndef _WIN32
    const CLI::Option* homeOption = app.get_option_no_throw("--presets-home");
    if (homeOption && homeOption->count() > 0) {
      setenv("HOME", homeOption->as<std::string>().c_str(), 1);
    }
#endif
    for (auto& [sub, action] : *actions) {
      if (sub->parsed()) return action();
    }
    return kExitUsage;
  };
}

const CommandRegistration registration{"presets", "Show, list and save effect presets",
                                       setupPresets};

}  // namespace
}  // namespace shimmerly::cli
