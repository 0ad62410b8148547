// `shimmerly presets show NAME-or-FILE [--json]`: loads one preset the way the plug-in does and
// prints its settings. A NAME is looked up in the preset folder; an argument that contains a
// path separator or ends in ".smr" is read as a file.
#include <cstdio>
#include <memory>
#include <string>

#include "cli/preset_report.h"
#include "cli/presets_commands.h"
#include "presets/command_stream.h"
#include "presets/glow_unit.h"
#include "presets/preset_library.h"

namespace shimmerly::cli {
namespace {

struct ShowOptions {
  std::string preset;
  bool json = false;
};

int runShow(const ShowOptions& options) {
  GlowUnit unit("GlowUnit");
  const int32_t status = isPresetFileArgument(options.preset)
                             ? loadPresetFile(options.preset, unit)
                             : loadPreset("Shimmerly", options.preset.c_str(), unit);
  const std::string diagnostic = lastStreamError();
  if (options.json) {
    // The object carries the status; a preset that does not load is still a result.
    std::printf("%s\n", presetJson(status, unit, diagnostic).c_str());
    return kExitOk;
  }
  std::fputs(presetText(status, unit, diagnostic).c_str(), stdout);
  if (status != 0) {
    std::fprintf(stderr, "shimmerly: preset %s did not load (status %d)\n",
                 jsonString(options.preset).c_str(), status);
    return kExitFailure;
  }
  return kExitOk;
}

const PresetsCommandRegistration registration{
    "show", "Print the settings of one preset (by name, or a .smr file)",
    [](CLI::App& app, const GlobalOptions&) -> CommandAction {
      auto options = std::make_shared<ShowOptions>();
      app.add_option("preset", options->preset, "preset name, or the path of a preset file")
          ->required();
      app.add_flag("--json", options->json,
                   "one JSON object: status, the thirteen fields and the stream diagnostic");
      return [options] { return runShow(*options); };
    }};

}  // namespace
}  // namespace shimmerly::cli
