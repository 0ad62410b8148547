// `shimmerly contact-sheet INPUT -o sheet.png [--blend-modes]`: renders the input once per
// factory preset (the "Shimmerly Presets" folder beside the plug-in), or once per blend mode,
// and lays the results out as labelled thumbnails in one image. Presets are applied the way a
// host applies them: by choosing them in the plug-in's "Effect Presets" popup.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "cli/command_registry.h"
#include "cli/contact_sheet.h"
#include "cli/control_options.h"
#include "cli/image_io.h"
#include "cli/plugin_host.h"
#include "cli/preset_access.h"
#include "cli/progress.h"
#include "cli/session.h"
#include "host/param_indices.h"

namespace shimmerly::cli {
namespace {

namespace fs = std::filesystem;

struct SheetArgs {
  std::string input;
  std::string output;
  bool blendModes = false;
  int32_t tileSize = 320;
  int32_t columns = 0;
  bool overwrite = false;
  bool quiet = false;
  ControlOptions controls;
};

struct Variant {
  std::string label;
  std::function<void(PluginHost&)> apply;
};

std::vector<std::string> splitChoices(const char* names) {
  std::vector<std::string> items;
  std::string text = names ? names : "";
  size_t start = 0;
  while (true) {
    size_t bar = text.find('|', start);
    items.push_back(text.substr(start, bar - start));
    if (bar == std::string::npos) break;
    start = bar + 1;
  }
  return items;
}

// The factory presets beside the plug-in: those the index file lists, in its order, then the
// other preset files by name.
std::vector<std::string> factoryPresetNames(const std::string& pluginPath) {
  fs::path folder = fs::absolute(pluginPath).parent_path() / "Shimmerly Presets";
  std::error_code ec;
  if (!fs::is_directory(folder, ec))
    throw std::runtime_error("no factory presets: folder '" + folder.string() +
                             "' does not exist (try --blend-modes)");
  std::vector<std::string> files;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder, ec))
    if (entry.path().extension() == ".smr") files.push_back(entry.path().stem().string());
  std::sort(files.begin(), files.end());
  std::vector<std::string> names;
  std::ifstream index(folder / "Shimmerly Presets.idx");
  for (std::string line; std::getline(index, line);) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
    if (std::find(files.begin(), files.end(), line) != files.end() &&
        std::find(names.begin(), names.end(), line) == names.end())
      names.push_back(line);
  }
  for (const std::string& name : files)
    if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
  if (names.empty())
    throw std::runtime_error("no factory presets in '" + folder.string() + "' (try --blend-modes)");
  return names;
}

std::vector<Variant> blendModeVariants(PluginHost& host) {
  std::vector<std::string> names = splitChoices(host.param(PARAM_BLEND_MODE).u.pd.names);
  std::vector<Variant> variants;
  for (size_t i = 0; i < names.size(); ++i)
    variants.push_back({names[i], [i](PluginHost& h) {
                          h.param(PARAM_BLEND_MODE).u.pd.value = static_cast<int32_t>(i + 1);
                        }});
  return variants;
}

std::vector<Variant> presetVariants(PluginHost& host) {
  std::vector<std::string> popup = popupPresetNames(host);
  if (popup.empty())
    throw std::runtime_error(
        "the plug-in lists no presets (was its preset folder in the documents folder set up?); "
        "try --blend-modes");
  std::vector<Variant> variants;
  std::string missing;
  for (const std::string& name : factoryPresetNames(host.pluginPath())) {
    if (std::find(popup.begin(), popup.end(), name) == popup.end()) {
      missing += (missing.empty() ? "\"" : ", \"") + name + "\"";
      continue;
    }
    variants.push_back({name, [name](PluginHost& h) { applyPreset(h, name); }});
  }
  if (variants.empty())
    throw std::runtime_error("none of the factory presets is in the plug-in's preset list");
  if (!missing.empty())
    std::cerr << "shimmerly: not in the plug-in's preset list, left out: " << missing << "\n";
  return variants;
}

int runContactSheet(const SheetArgs& args, const GlobalOptions& global) {
  FrameSettings settings = frameSettingsFrom(args.controls);
  outputFormatFor(args.output);
  std::error_code ec;
  if (!args.overwrite && fs::exists(args.output, ec))
    throw std::runtime_error("output '" + args.output +
                             "' exists already; add --overwrite to replace it");
  if (args.tileSize < 16 || args.tileSize > 4096)
    throw std::runtime_error("--tile-size: expected 16 to 4096 pixels");
  Image image = readImage(args.input);
  std::vector<PF_Pixel> inputPixels = toHostPixels(image);
  std::vector<PF_Pixel> outputPixels(inputPixels.size());
  const PF_LayerDef input = layerOver(inputPixels, image.width, image.height, settings.pixelAspect);
  PF_LayerDef output = layerOver(outputPixels, image.width, image.height, settings.pixelAspect);

  std::unique_ptr<PluginHost> host = openSession(global);
  applyControls(*host, args.controls, 1);
  std::vector<Variant> variants =
      args.blendModes ? blendModeVariants(*host) : presetVariants(*host);

  int32_t tileW = 0, tileH = 0;
  thumbnailSize(image.width, image.height, args.tileSize, tileW, tileH);
  SheetLayout layout =
      layoutSheet(static_cast<int32_t>(variants.size()), tileW, tileH, args.columns);
  Canvas sheet = makeSheet(layout);

  ProgressReporter progress(chooseProgressMode(args.quiet, false, ::isatty(STDERR_FILENO) == 1),
                            std::cerr, static_cast<int64_t>(variants.size()));
  host->progressHook = [&progress](int32_t current, int32_t total) {
    progress.rowProgress(current, total);
    return PF_Err_NONE;
  };
  installCancelHandler();
  for (size_t i = 0; i < variants.size(); ++i) {
    applyControls(*host, args.controls, 1);
    variants[i].apply(*host);
    progress.frameStarted(static_cast<Frame>(i + 1));
    PF_Err err = host->render(input, output, settings);
    if (err == PF_Interrupt_CANCEL || cancelRequested()) {
      progress.interrupted();
      host->finish();
      std::fprintf(stderr, "shimmerly: interrupted; %s was not written\n", args.output.c_str());
      return kExitCancelled;
    }
    if (err != PF_Err_NONE)
      throw PluginError(variants[i].label + ": the render failed with code " + std::to_string(err),
                        err);
    Canvas tile = shrinkImage(outputPixels.data(), image.width, image.height,
                              static_cast<int64_t>(image.width) * 4, tileW, tileH);
    placeTile(sheet, layout, static_cast<int32_t>(i), tile, variants[i].label);
    progress.frameDone(static_cast<Frame>(i + 1), variants[i].label);
  }
  progress.finish();
  host->finish();
  writeImage(args.output,
             fromHostPixels(sheet.pixels.data(), sheet.width, sheet.height, sheet.width));
  return kExitOk;
}

const CommandRegistration registration{
    "contact-sheet",
    "Render INPUT once per factory preset (or per blend mode) into a labelled grid",
    [](CLI::App& app, const GlobalOptions& global) -> CommandAction {
      auto args = std::make_shared<SheetArgs>();
      app.add_option("INPUT", args->input, "input image (PNG or PAM)")->required();
      app.add_option("-o,--output", args->output, "the sheet; .png or .pam")->required();
      app.add_flag("--blend-modes", args->blendModes,
                   "one tile per blend mode instead of one per factory preset");
      app.add_option("--tile-size", args->tileSize, "longest side of a tile in pixels")
          ->capture_default_str();
      app.add_option("--columns", args->columns, "tiles per row (default: a near-square grid)");
      app.add_flag("--overwrite", args->overwrite, "replace the sheet if it exists");
      app.add_flag("-q,--quiet", args->quiet, "no progress output");
      addControlOptions(app, args->controls);
      return [args, &global] { return runContactSheet(*args, global); };
    }};

}  // namespace
}  // namespace shimmerly::cli
