// `shimmerly presets list` and `shimmerly presets save [NAME]`: the plug-in's presets as a host
// meets them. `list` prints the names of the presets popup after set-up, one per line. `save`
// without a name runs the plug-in's own Save... flow, whose prompt and questions appear on the
// terminal; with a name it answers that prompt itself (for scripts): the plug-in's name rules
// and messages apply, and an existing preset is replaced only with --force.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>

#include "cli/command_registry.h"
#include "cli/control_options.h"
#include "cli/plugin_host.h"
#include "cli/preset_access.h"
#include "cli/session.h"
#include "host/params.h"

namespace shimmerly::cli {
namespace {

struct SaveArgs {
  std::string name;
  bool force = false;
  ControlOptions controls;
};

int runList(const GlobalOptions& global) {
  std::unique_ptr<PluginHost> host = openSession(global);
  for (const std::string& name : popupPresetNames(*host)) std::printf("%s\n", name.c_str());
  host->finish();
  return kExitOk;
}

bool haveTerminal() {
  int fd = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

int runSave(const SaveArgs& args, const GlobalOptions& global, bool named) {
  if (named && args.name.empty()) throw std::runtime_error("NAME: a preset needs a name");
  if (args.name.size() > 255)
    throw std::runtime_error("NAME: a preset name holds at most 255 bytes");
  if (!named && !haveTerminal())
    throw std::runtime_error("no terminal to ask for the preset's name: give NAME");
  std::unique_ptr<PluginHost> host = openSession(global);
  applyControls(*host, args.controls);

  if (!named) {
    // The plug-in's own flow: its boxes draw themselves on the terminal.
    host->param(PARAM_PRESETS).u.pd.value = 3;  // "Save..."
    PF_Err err = host->userChangedParam(PARAM_PRESETS);
    host->finish();
    if (err != PF_Err_NONE)
      throw PluginError("the plug-in failed to save (code " + std::to_string(err) + ")", err);
    return kExitOk;
  }

  SaveOutcome outcome = savePresetAs(*host, args.name, args.force);
  host->finish();
  if (outcome.nameTaken)
    throw std::runtime_error("This name is already taken as a preset: \"" + args.name +
                             "\" (give --force to replace it)");
  if (!outcome.saved) {
    std::string text;
    for (const std::string& message : outcome.messages) text += (text.empty() ? "" : " ") + message;
    throw std::runtime_error(text.empty() ? "the preset was not saved" : text);
  }
  if (outcome.replaced)
    std::printf("Replaced preset \"%s\".\n", args.name.c_str());
  else
    std::printf("Saved preset \"%s\". %s\n", args.name.c_str(), outcome.messages.front().c_str());
  return kExitOk;
}

const CommandRegistration registration{
    "presets", "List the presets of the presets popup, or save the controls as a preset",
    [](CLI::App& app, const GlobalOptions& global) -> CommandAction {
      app.require_subcommand(1);
      app.fallthrough();  // --plugin, --presets-home, ... also after `list` or `save`
      CLI::App* list = app.add_subcommand("list", "Print the preset names in popup order");
      CLI::App* save = app.add_subcommand(
          "save",
          "Save the controls as a preset: with NAME directly, without it through the plug-in's "
          "own prompt on the terminal");
      auto args = std::make_shared<SaveArgs>();
      save->add_option("NAME", args->name, "the preset's name (default: ask on the terminal)");
      save->add_flag("--force", args->force, "replace a preset of that name");
      addControlOptions(*save, args->controls);
      return [list, save, args, &global] {
        if (list->parsed()) return runList(global);
        if (save->parsed()) return runSave(*args, global, save->count("NAME") > 0);
        return kExitUsage;
      };
    }};

}  // namespace
}  // namespace shimmerly::cli
