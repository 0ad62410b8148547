// `shimmerly presets save [NAME] [control options] [--force]`: stores the controls as a preset
// through the plug-in's own Save... flow. Without NAME the plug-in's prompt and questions appear
// on the terminal; with NAME the host answers the prompt itself (for scripts): the plug-in's
// name rules and messages apply, and an existing preset is replaced only with --force.
#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>

#include "cli/control_options.h"
#include "cli/plugin_host.h"
#include "cli/preset_access.h"
#include "cli/presets_commands.h"
#include "cli/session.h"
#include "host/param_indices.h"

namespace shimmerly::cli {
namespace {

struct SaveArgs {
  std::string name;
  bool named = false;
  bool force = false;
  ControlOptions controls;
};

// On POSIX the plug-in's prompt needs the controlling terminal; Windows shows dialogs.
bool canPrompt() {
#ifdef _WIN32
  return true;
#else
  int fd = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  ::close(fd);
  return true;
#endif
}

int runSave(const SaveArgs& args, const GlobalOptions& global) {
  if (args.named && args.name.empty()) throw std::runtime_error("NAME: a preset needs a name");
  if (args.name.size() > 255)
    throw std::runtime_error("NAME: a preset name holds at most 255 bytes");
  if (!args.named && !canPrompt())
    throw std::runtime_error("no terminal to ask for the preset's name: give NAME");
  std::unique_ptr<PluginHost> host = openSession(global);
  applyControls(*host, args.controls);

  if (!args.named) {
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

const PresetsCommandRegistration registration{
    "save",
    "Save the controls as a preset: with NAME directly, without it through the plug-in's own "
    "prompt",
    [](CLI::App& app, const GlobalOptions& global) -> CommandAction {
      auto args = std::make_shared<SaveArgs>();
      CLI::Option* name =
          app.add_option("NAME", args->name, "the preset's name (default: ask on the terminal)");
      app.add_flag("--force", args->force, "replace a preset of that name");
      addControlOptions(app, args->controls);
      return [args, name, &global] {
        args->named = name->count() > 0;
        return runSave(*args, global);
      };
    }};

}  // namespace
}  // namespace shimmerly::cli
