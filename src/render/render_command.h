// The render command: reads the controls into the frame's RenderSettings, lets target extraction
// fill the glow and target rasters, then writes the output frame (8-bit PF_Pixel, straight
// colour, top row first) as the target preview, the glow alone, or the glow blended onto the
// layer. Both rasters are released on every way out; the host is polled once per row.
#pragma once

#include <cstdint>

#include "glow/extract.h"
#include "glow/glow_bounds.h"
#include "host/host_api.h"
#include "render/raster.h"

namespace shimmerly {

// Per-frame values of the output passes.
struct CompositeSettings {
  double softness = 0.8;            // s: Softness × 0.01
  double boost = 1.0;               // b: 1 + Trans/Boost × 0.01
  int32_t blendMode = 1;            // 1..8; any other value leaves the input in place
  bool compositeOnOriginal = true;  // false under Show Effect Only
};

// Asks the host, through the record of the command in progress, whether to stop. True means
// stop; the host's code is then in *code. Without a current host record it never stops.
bool checkInterrupt(int32_t current, int32_t total, int32_t* code);

// PF_Cmd_RENDER. Returns 0, the host's interrupt code, or target extraction's non-zero result.
PF_Err render(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output);

// The composite pass over the input's width × height: softness, trans/boost and blending of the
// glow raster within bounds (raster coordinates). Returns 0 or the interrupt code.
int32_t compositePass(const CompositeSettings& settings, const Raster& glow, GlowBounds bounds,
                      const PF_LayerDef& input, PF_LayerDef& output,
                      const InterruptCheck& interrupt);

// The show-target preview: the target raster's alpha in green (50, 200, 20) inside the extent
// (host pixels from the top, inclusive, already clamped into the frame), transparent black
// outside. Returns 0 or the interrupt code.
int32_t previewPass(bool compositeOnOriginal, const Raster& target, const PF_Rect& extent,
                    const PF_LayerDef& input, PF_LayerDef& output, const InterruptCheck& interrupt);

}  // namespace shimmerly
