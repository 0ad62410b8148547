// `shimmerly presets list`: the names of the presets popup after global and parameter set-up,
// one per line in popup order, as a host shows them.
#include <cstdio>
#include <memory>
#include <string>

#include "cli/plugin_host.h"
#include "cli/preset_access.h"
#include "cli/presets_commands.h"
#include "cli/session.h"

namespace shimmerly::cli {
namespace {

int runList(const GlobalOptions& global) {
  std::unique_ptr<PluginHost> host = openSession(global);
  for (const std::string& name : popupPresetNames(*host)) std::printf("%s\n", name.c_str());
  host->finish();
  return kExitOk;
}

const PresetsCommandRegistration registration{
    "list", "Print the preset names of the presets popup, in popup order",
    [](CLI::App&, const GlobalOptions& global) -> CommandAction {
      return [&global] { return runList(global); };
    }};

}  // namespace
}  // namespace shimmerly::cli
