// shimmerly_gegl_render: the GEGL operation's properties onto shimmerly::Controls, on top of the
// chosen preset, and the frame through a node's own shimmerly::Engine, reporting what it cannot
// use once per node and value.
#include "gegl/glow_render.h"

#include <cmath>
#include <cstdio>
#include <exception>
#include <mutex>
#include <set>
#include <string>
#include <string_view>

#include "shimmerly/shimmerly.h"

struct ShimmerlyGeglInstance {
  shimmerly::Engine engine;
  std::mutex mutex;                // one frame at a time per node
  std::set<std::string> reported;  // the messages this node has given
};

namespace {

constexpr const char* kOperation = "shimmerly:glow";

// Prints `message` on standard error unless this node has said it before.
void reportOnce(ShimmerlyGeglInstance& instance, std::string message) {
  if (!instance.reported.insert(message).second) return;
  std::fprintf(stderr, "%s: %s\n", kOperation, message.c_str());
  std::fflush(stderr);
}

// The public library's messages start with its own name; the node's name replaces it.
std::string withoutLibraryName(std::string_view message) {
  constexpr std::string_view prefix = "shimmerly: ";
  if (message.substr(0, prefix.size()) == prefix) message.remove_prefix(prefix.size());
  return std::string(message);
}

// A property's value when it is a number, else the control's default (GEGL clamps a property
// into its range but lets NaN through).
double finiteOr(ShimmerlyGeglInstance& instance, const char* name, double value, double dephault) {
  if (std::isfinite(value)) return value;
  reportOnce(instance, std::string(name) + ": expected a number, got " + std::to_string(value) +
                           "; using " + std::to_string(dephault));
  return dephault;
}

shimmerly::Controls changedControls(ShimmerlyGeglInstance& instance,
                                    const ShimmerlyGeglProperties& p) {
  const shimmerly::Controls d;
  shimmerly::Controls c;
  c.mask = p.mask;
  c.brightCutoff = finiteOr(instance, "bright_cutoff", p.bright_cutoff, d.brightCutoff);
  c.darkCutoff = finiteOr(instance, "dark_cutoff", p.dark_cutoff, d.darkCutoff);
  c.showTarget = p.show_target != 0;
  c.glowStyle = p.glow_style;
  c.glowSize = finiteOr(instance, "glow_size", p.glow_size, d.glowSize);
  c.softness = finiteOr(instance, "softness", p.softness, d.softness);
  c.colorFrom = p.color_from;
  for (int i = 0; i < 3; ++i) c.color[i] = p.color[i];
  c.transBoost = finiteOr(instance, "trans_boost", p.trans_boost, d.transBoost);
  c.blend = p.blend;
  c.effectOnly = p.effect_only != 0;
  return c;
}

// The preset's controls, or the defaults when there is none or it does not load.
shimmerly::Controls baseControls(ShimmerlyGeglInstance& instance, const char* preset) {
  if (preset == nullptr || *preset == '\0') return {};
  try {
    return shimmerly::presetControls(preset);
  } catch (const std::exception& e) {
    reportOnce(instance, withoutLibraryName(e.what()) + "; rendering without the preset");
    return {};
  }
}

}  // namespace

extern "C" ShimmerlyGeglInstance* shimmerly_gegl_instance_new(void) {
  try {
    return new ShimmerlyGeglInstance;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: %s\n", kOperation, e.what());
    return nullptr;
  }
}

extern "C" void shimmerly_gegl_instance_free(ShimmerlyGeglInstance* instance) {
  delete instance;
}

extern "C" int shimmerly_gegl_render(ShimmerlyGeglInstance* instance,
                                     const ShimmerlyGeglProperties* properties, uint8_t* pixels,
                                     int64_t width, int64_t height, int64_t row_bytes) {
  if (instance == nullptr || properties == nullptr) return 0;
  const std::lock_guard<std::mutex> lock(instance->mutex);
  try {
    const shimmerly::Controls controls = shimmerly::overlaidControls(
        baseControls(*instance, properties->preset), changedControls(*instance, *properties));
    shimmerly::RenderOptions options;
    options.lowQuality = properties->low_quality != 0;
    const shimmerly::ImageView frame{pixels, width, height, row_bytes};
    instance->engine.render(frame, frame, controls, options);
    return 1;
  } catch (const std::exception& e) {
    reportOnce(*instance, withoutLibraryName(e.what()) + "; the frame passes through unchanged");
    return 0;
  }
}
