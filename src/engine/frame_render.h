// One frame through the engine: a request in, the output pixels out. The request carries the
// host pixels, the twelve controls in the units a user sees, and the host's frame settings; the
// engine turns the controls into the glow's own settings, extracts the target, makes the glow
// and writes the output rows, on the fast kernels or on the literal reference ones. Every host
// (the plug-in's render command, the public library) renders through here.
#pragma once

#include <cstdint>

#include "composite/composite_pass.h"
#include "core/interrupt.h"
#include "core/pixel.h"
#include "shimmerly/shimmerly.h"

namespace shimmerly {

class RenderEngine;

struct FrameRequest {
  FrameView frame;    // host pixels in and out, the same width and height
  Controls controls;  // as the host holds them; values outside the controls' ranges are
                      // rendered as the plug-in renders them, never refused
  bool lowQuality = false;
  double downsample = 1.0;  // scales the glow size
  double pixelAspect = 1.0;
  PixelBox extent;           // the preview's part of the frame, host rows from the top; clamped
  InterruptCheck interrupt;  // asked before each row of extraction and output; may be empty
};

// Renders the request on the engine's threads and working memory. Returns 0, or the code of the
// interrupt that stopped it (the output rows before the stop are written, the rest not). Raises
// the "bad allocation" failure when memory runs out.
int32_t renderFrame(RenderEngine& engine, const FrameRequest& request);

}  // namespace shimmerly
