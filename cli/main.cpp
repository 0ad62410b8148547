// The `shimmerly` command-line host: parses the command line with CLI11, hands control to the
// chosen subcommand (each registered in its own file) and turns every failure into one line on
// standard error and a non-zero exit code.
#include <cstdio>
#include <exception>
#include <map>

#include <CLI/CLI.hpp>

#include "cli/command_registry.h"

namespace shimmerly::cli {

std::vector<CommandEntry>& commandRegistry() {
  static std::vector<CommandEntry> entries;
  return entries;
}

int run(int argc, char** argv) {
  CLI::App app{"shimmerly: renders images through the Shimmerly glow plug-in", "shimmerly"};
  app.set_version_flag("--version", std::string("shimmerly ") + SHIMMERLY_VERSION);
  app.require_subcommand(1);
  // Options begin with '-' everywhere: on Windows CLI11 would also take "/path/file" for one.
  app.allow_windows_style_options(false);
  GlobalOptions global;
  std::map<CLI::App*, CommandAction> actions;
  for (const CommandEntry& entry : commandRegistry()) {
    CLI::App* sub = app.add_subcommand(entry.name, entry.description);
    sub->add_option("--plugin", global.pluginPath,
                    "plug-in module to load (default: the one beside shimmerly)");
    sub->add_option("--host-version", global.hostVersion,
                    "effect-API version MAJOR.MINOR the host reports")
        ->capture_default_str();
#ifndef _WIN32  // the documents folder comes from HOME only on POSIX systems
    sub->add_option("--presets-home", global.presetsHome,
                    "home folder whose Documents folder holds the presets (sets HOME)")
        ->type_name("DIR");
#endif
    actions[sub] = entry.setup(*sub, global);
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e);
  }
  try {
    for (auto& [sub, action] : actions)
      if (sub->parsed()) return action();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "shimmerly: %s\n", e.what());
    return kExitFailure;
  }
  return kExitUsage;
}

}  // namespace shimmerly::cli

int main(int argc, char** argv) {
  return shimmerly::cli::run(argc, argv);
}
