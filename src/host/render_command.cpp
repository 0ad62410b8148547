// The render command: reads the controls and the host's frame settings into a frame request and
// hands it to the plug-in's engine. The host is polled once before the frame and once per row,
// and told afterwards what rendered the frame when it asks to be (report_render).
#include "host/render_command.h"

#include "core/isa_dispatch.h"
#include "engine/frame_render.h"
#include "engine/render_engine.h"
#include "host/host_services.h"
#include "host/params.h"
#include "host/plugin_state.h"

namespace shimmerly {
namespace {

double ratio(const PF_RationalScale& scale) {
  // A zero denominator would make every size infinite; treat it as no scaling.
  if (scale.den == 0) return 1.0;
  return static_cast<double>(scale.num) / static_cast<double>(scale.den);
}

}  // namespace

bool checkInterrupt(int32_t current, int32_t total, int32_t* code) {
  PF_InData* in_data = pluginState().currentInData;
  if (!in_data) return false;
  PF_Err err = in_data->inter.progress(in_data->effect_ref, current, total);
  if (err == 0) err = in_data->inter.abort(in_data->effect_ref);
  if (err == 0) return false;
  *code = err;
  return true;
}

Controls controlsOf(PF_ParamDef* params[]) {
  Controls c;
  c.mask = params[PARAM_MASK]->u.pd.value;
  c.brightCutoff = readSliderValue(params[PARAM_BRIGHT_CUTOFF]);
  c.darkCutoff = readSliderValue(params[PARAM_DARK_CUTOFF]);
  c.showTarget = params[PARAM_SHOW_TARGET]->u.bd.value != 0;
  c.glowStyle = params[PARAM_GLOW_STYLE]->u.pd.value;
  c.glowSize = readSliderValue(params[PARAM_GLOW_SIZE]);
  c.softness = readSliderValue(params[PARAM_SOFTNESS]);
  c.colorFrom = params[PARAM_GLOW_COLOR_FROM]->u.pd.value;
  const PF_Pixel& custom = params[PARAM_CUSTOM_COLOR]->u.cd.value;
  c.color[0] = custom.red;
  c.color[1] = custom.green;
  c.color[2] = custom.blue;
  c.transBoost = readSliderValue(params[PARAM_TRANS_BOOST]);
  c.blend = params[PARAM_BLEND_MODE]->u.pd.value;
  c.effectOnly = params[PARAM_SHOW_EFFECT_ONLY]->u.bd.value != 0;
  return c;
}

PF_Err render(PF_InData* in_data, PF_OutData*, PF_ParamDef* params[], PF_LayerDef* output) {
  const PF_LayerDef& input = params[PARAM_INPUT]->u.ld;
  FrameRequest request;
  request.frame = FrameView{input.data,           input.rowbytes / 4, output->data,
                            output->rowbytes / 4, input.width,        input.height};
  request.controls = controlsOf(params);
  request.lowQuality = in_data->quality == PF_Quality_LO;
  request.downsample = ratio(in_data->downsample_x);
  request.pixelAspect = ratio(in_data->pixel_aspect_ratio);
  const PF_Rect& hint = in_data->extent_hint;
  request.extent = PixelBox{hint.left, hint.right, hint.top, hint.bottom};
  request.interrupt = [](int32_t current, int32_t total, int32_t* code) {
    return checkInterrupt(current, total, code);
  };

  int32_t code = 0;
  if (checkInterrupt(0, 0, &code)) return code;
  RenderEngine& engine = renderEngine();
  const PF_Err err = renderFrame(engine, request);
  PF_ShimmerlyHostServices services;
  if (err == PF_Err_NONE && queryHostServices(services) && services.report_render) {
    const bool fast = engine.fastPath();
    services.report_render(services.refcon, fast ? kernelIsaName(activeKernelIsa()) : "reference",
                           fast ? engine.threadCount() : 1, engine.lastFramePeakBytes());
  }
  return err;
}

}  // namespace shimmerly
