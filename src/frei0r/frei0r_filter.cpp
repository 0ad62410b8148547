// The frei0r filter "shimmerly": the f0r_* entry points over one Instance per host instance.
// Every entry point catches everything, so that no exception reaches the host; a value or frame
// the filter cannot use gives one line on standard error, once per instance and problem.
// frei0r.h declares the entry points without C linkage of its own.
extern "C" {
#include <frei0r.h>
}

#include <cstdio>
#include <cstring>
#include <exception>
#include <mutex>
#include <new>
#include <string>

#include "frei0r/filter_params.h"
#include "frei0r/host_layout.h"
#include "shimmerly/shimmerly.h"

namespace shimmerly::frei0r {
namespace {

// One host instance: its frame size, its parameters and the engine it renders on. A host may
// call one instance from several threads (MLT's slices); the mutex keeps them in turn.
struct Instance {
  Instance(int64_t w, int64_t h) : width(w), height(h), slices(w * h * 4) {}

  // Writes `message` to standard error unless this instance has written it already.
  void report(int slot, const std::string& message) {
    if (message.empty() || reported[slot] == message) return;
    reported[slot] = message;
    std::fprintf(stderr, "%s\n", message.c_str());
    std::fflush(stderr);
  }

  std::mutex mutex;
  int64_t width, height;
  FilterSettings settings;
  Engine engine;
  SliceWatch slices;
  const void* layoutCaller = nullptr;  // the caller `layout` was found for
  CallerLayout layout;
  bool refusing = false;  // the frames come in slices: passed through unchanged
  // The last message written per parameter, then for the frame.
  std::string reported[kParamCount + 1];
};

constexpr int kFrameSlot = kParamCount;

void copyFrame(const uint8_t* in, uint8_t* out, int64_t rowBytes, int64_t width, int64_t height) {
  if (in == out) return;
  for (int64_t y = 0; y < height; ++y)
    std::memmove(out + y * rowBytes, in + y * rowBytes, static_cast<size_t>(width) * 4);
}

void renderFrame(Instance& instance, const void* caller, const uint32_t* inframe,
                 uint32_t* outframe) {
  const std::lock_guard<std::mutex> lock(instance.mutex);
  if (inframe == nullptr || outframe == nullptr || instance.width == 0 || instance.height == 0)
    return;
  if (caller != instance.layoutCaller) {
    instance.layout = callerLayout(caller, instance.width);
    instance.layoutCaller = caller;
  }
  const auto* in = reinterpret_cast<const uint8_t*>(inframe);
  auto* out = reinterpret_cast<uint8_t*>(outframe);
  const int64_t rowBytes = instance.layout.rowBytes;
  if (instance.layout.mlt && !instance.refusing && instance.slices.sliced(in, out)) {
    instance.refusing = true;
    instance.report(kFrameSlot,
                    "shimmerly: MLT cuts the frames into slices (the filter's `threads` "
                    "property is set), which would leave seams in the glow; passing the frames "
                    "through unchanged. Remove `threads` to render whole frames");
  }
  if (instance.refusing) {
    copyFrame(in, out, rowBytes, instance.width, instance.height);
    return;
  }
  try {
    instance.engine.render(ConstImageView(in, instance.width, instance.height, rowBytes),
                           ImageView{out, instance.width, instance.height, rowBytes},
                           instance.settings.controls(), instance.settings.options());
  } catch (const std::exception& e) {
    // The host still gets a whole frame: the input as it came.
    instance.report(kFrameSlot, std::string(e.what()) + "; passing the frame through unchanged");
    copyFrame(in, out, rowBytes, instance.width, instance.height);
  }
}

}  // namespace
}  // namespace shimmerly::frei0r

using shimmerly::frei0r::Instance;
using shimmerly::frei0r::kParamCount;
using shimmerly::frei0r::ParamKind;

extern "C" {

// Exported by name: the hosts find the entry points with dlsym.
#define SHIMMERLY_F0R_EXPORT __attribute__((visibility("default")))

SHIMMERLY_F0R_EXPORT int f0r_init() {
  return 1;
}

SHIMMERLY_F0R_EXPORT void f0r_deinit() {}

SHIMMERLY_F0R_EXPORT void f0r_get_plugin_info(f0r_plugin_info_t* info) {
  if (info == nullptr) return;
  info->name = "shimmerly";
  info->author = "Shimmerly";
  info->plugin_type = F0R_PLUGIN_TYPE_FILTER;
  info->color_model = F0R_COLOR_MODEL_RGBA8888;
  info->frei0r_version = FREI0R_MAJOR_VERSION;
  info->major_version = 2;
  info->minor_version = 0;
  info->num_params = kParamCount;
  info->explanation = "A glow on the bright or opaque parts of the image (straight alpha)";
}

SHIMMERLY_F0R_EXPORT void f0r_get_param_info(f0r_param_info_t* info, int index) {
  if (info == nullptr || index < 0 || index >= kParamCount) return;
  const shimmerly::frei0r::ParamInfo& param = shimmerly::frei0r::paramInfo(index);
  info->name = param.name;
  info->type = static_cast<int>(param.kind);
  info->explanation = param.explanation;
}

SHIMMERLY_F0R_EXPORT f0r_instance_t f0r_construct(unsigned int width, unsigned int height) {
  try {
    return new Instance(width, height);
  } catch (...) {
    std::fprintf(stderr, "shimmerly: out of memory making a filter instance\n");
    return nullptr;
  }
}

SHIMMERLY_F0R_EXPORT void f0r_destruct(f0r_instance_t instance) {
  delete static_cast<Instance*>(instance);
}

SHIMMERLY_F0R_EXPORT void f0r_set_param_value(f0r_instance_t handle, f0r_param_t param, int index) {
  auto* instance = static_cast<Instance*>(handle);
  if (instance == nullptr || param == nullptr || index < 0 || index >= kParamCount) return;
  try {
    const std::lock_guard<std::mutex> lock(instance->mutex);
    shimmerly::frei0r::FilterSettings& settings = instance->settings;
    std::string message;
    switch (shimmerly::frei0r::paramInfo(index).kind) {
      case ParamKind::Bool:
      case ParamKind::Double:
        message = settings.setNumber(index, *static_cast<const double*>(param));
        break;
      case ParamKind::Color: {
        const auto* color = static_cast<const f0r_param_color_t*>(param);
        message = settings.setColor(index, color->r, color->g, color->b);
        break;
      }
      case ParamKind::Text:
        message = settings.setText(index, *static_cast<const f0r_param_string*>(param));
        break;
    }
    instance->report(index, message);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "shimmerly: %s: %s\n", shimmerly::frei0r::paramInfo(index).name, e.what());
  }
}

SHIMMERLY_F0R_EXPORT void f0r_get_param_value(f0r_instance_t handle, f0r_param_t param, int index) {
  auto* instance = static_cast<Instance*>(handle);
  if (instance == nullptr || param == nullptr || index < 0 || index >= kParamCount) return;
  const std::lock_guard<std::mutex> lock(instance->mutex);
  const shimmerly::frei0r::FilterSettings& settings = instance->settings;
  switch (shimmerly::frei0r::paramInfo(index).kind) {
    case ParamKind::Bool:
    case ParamKind::Double:
      *static_cast<double*>(param) = settings.number(index);
      break;
    case ParamKind::Color: {
      const std::array<float, 3> color = settings.color();
      *static_cast<f0r_param_color_t*>(param) = {color[0], color[1], color[2]};
      break;
    }
    case ParamKind::Text:
      // The instance keeps the text until the parameter is set again.
      *static_cast<f0r_param_string*>(param) = const_cast<char*>(settings.text(index).c_str());
      break;
  }
}

// Time is ignored: hosts animate the parameters themselves, and ffmpeg passes milliseconds where
// the others pass seconds.
SHIMMERLY_F0R_EXPORT __attribute__((noinline)) void f0r_update(f0r_instance_t instance,
                                                               double /*time*/,
                                                               const uint32_t* inframe,
                                                               uint32_t* outframe) {
  if (instance == nullptr) return;
  try {
    shimmerly::frei0r::renderFrame(*static_cast<Instance*>(instance), __builtin_return_address(0),
                                   inframe, outframe);
  } catch (...) {
  }
}

// GStreamer calls this form when the filter exports it; a filter uses the first input only.
SHIMMERLY_F0R_EXPORT __attribute__((noinline)) void f0r_update2(
    f0r_instance_t instance, double /*time*/, const uint32_t* inframe1,
    const uint32_t* /*inframe2*/, const uint32_t* /*inframe3*/, uint32_t* outframe) {
  if (instance == nullptr) return;
  try {
    shimmerly::frei0r::renderFrame(*static_cast<Instance*>(instance), __builtin_return_address(0),
                                   inframe1, outframe);
  } catch (...) {
  }
}

}  // extern "C"
