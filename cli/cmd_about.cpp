// `shimmerly about [--details]`: the plug-in's about text, after global set-up as a host shows
// it. --details asks for the detailed text that a desktop host gets with Shift held (the
// plug-in asks the host through the Shimmerly host-services query). Line breaks of the text
// (carriage returns) print as new lines.
#include <cstdio>
#include <memory>
#include <string>

#include "cli/command_registry.h"
#include "cli/plugin_host.h"
#include "cli/preset_access.h"
#include "cli/session.h"

namespace shimmerly::cli {
namespace {

int runAbout(const GlobalOptions& global, bool details) {
  std::unique_ptr<PluginHost> host = loadPlugin(global);
  host->globalSetup();
  requestAboutDetails(*host, details);
  std::string text = host->about();
  host->globalSetdown();
  for (char& c : text)
    if (c == '\r') c = '\n';
  std::printf("%s\n", text.c_str());
  return kExitOk;
}

const CommandRegistration registration{
    "about", "Print the plug-in's about text",
    [](CLI::App& app, const GlobalOptions& global) -> CommandAction {
      auto details = std::make_shared<bool>(false);
      app.add_flag("--details", *details,
                   "the detailed text (plug-in file name and build number) a host shows with "
                   "Shift held");
      return [details, &global] { return runAbout(global, *details); };
    }};

}  // namespace
}  // namespace shimmerly::cli
