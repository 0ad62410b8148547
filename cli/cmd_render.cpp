// `shimmerly render INPUT -o OUTPUT [options]`: renders one image through the plug-in with the
// controls set by the options and writes the result. Ctrl-C cancels the render; nothing is
// written then.
#include <cstdio>
#include <memory>
#include <string>

#include "cli/command_registry.h"
#include "cli/control_options.h"
#include "cli/image_io.h"
#include "cli/plugin_host.h"
#include "cli/session.h"

namespace shimmerly::cli {
namespace {

struct RenderArgs {
  std::string input;
  std::string output;
  ControlOptions controls;
};

int runRender(const RenderArgs& args, const GlobalOptions& global) {
  // Check everything the user typed before the plug-in does any work.
  FrameSettings frame = frameSettingsFrom(args.controls);
  outputFormatFor(args.output);
  Image image = readImage(args.input);

  std::unique_ptr<PluginHost> host = openSession(global);
  applyControls(*host, args.controls);

  std::vector<PF_Pixel> inputPixels = toHostPixels(image);
  std::vector<PF_Pixel> outputPixels(inputPixels.size());
  PF_LayerDef input{};
  input.width = image.width;
  input.height = image.height;
  input.rowbytes = image.width * 4;
  input.data = inputPixels.data();
  input.pix_aspect_ratio = frame.pixelAspect;
  PF_LayerDef output = input;
  output.data = outputPixels.data();

  installCancelHandler();
  PF_Err err = host->render(input, output, frame);
  if (err == PF_Interrupt_CANCEL || cancelRequested()) {
    std::fprintf(stderr, "shimmerly: render cancelled; %s was not written\n", args.output.c_str());
    return kExitCancelled;
  }
  if (err != PF_Err_NONE)
    throw PluginError("the render failed with code " + std::to_string(err), err);
  host->finish();
  writeImage(args.output,
             fromHostPixels(outputPixels.data(), image.width, image.height, image.width));
  return kExitOk;
}

const CommandRegistration registration{
    "render", "Render INPUT through the plug-in into OUTPUT (PNG or PAM)",
    [](CLI::App& app, const GlobalOptions& global) -> CommandAction {
      auto args = std::make_shared<RenderArgs>();
      app.add_option("INPUT", args->input, "input image (PNG or PAM)")->required();
      app.add_option("-o,--output", args->output, "output image; .png or .pam")->required();
      addControlOptions(app, args->controls);
      return [args, &global] { return runRender(*args, global); };
    }};

}  // namespace
}  // namespace shimmerly::cli
