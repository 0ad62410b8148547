// `shimmerly render INPUT -o OUTPUT [options]`: renders one image, an image sequence or raw
// frames from a pipe through the plug-in, with the controls set by the options (keyframed ones
// taking their value at each frame). The work is done by renderSequence.
#include <memory>

#include "cli/command_registry.h"
#include "cli/sequence_render.h"

namespace shimmerly::cli {
namespace {

const CommandRegistration registration{
    "render",
    "Render INPUT (an image, a frame pattern or - for raw frames) through the plug-in into OUTPUT",
    [](CLI::App& app, const GlobalOptions& global) -> CommandAction {
      auto args = std::make_shared<SequenceArgs>();
      addSequenceOptions(app, *args);
      return [args, &global] { return renderSequence(*args, global); };
    }};

}  // namespace
}  // namespace shimmerly::cli
