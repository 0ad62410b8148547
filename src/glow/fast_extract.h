// Target extraction and the inner and outer glow computed fast: the same target values, rasters,
// bounds and glow size as the reference extraction, with the rows split into bands over the
// render's threads and the processing step run on the fast spread. The host is still asked once
// per source row, in order, on the calling thread; an interrupt at row r leaves exactly the
// rows before r extracted.
#pragma once

#include <cstdint>

#include "core/pixel.h"

#include "glow/extract.h"
#include "glow/fast_spread.h"

namespace shimmerly {

// What a row's target values are made from: the settings, the source and the frame, as the
// extraction has them.
struct TargetSource {
  const RenderSettings* settings = nullptr;
  const uint32_t* source = nullptr;  // host pixel words, top row first
  int64_t stride = 0;                // pixels from one source row to the next
  int32_t width = 0, height = 0;
  double aspect = 1.0;
  bool lowQuality = false;
  // The brightness masks' cutoffs as whole luminances: dark ≤ l ≤ bright exactly when
  // lumaLow ≤ l ≤ lumaHigh, for l from 0 to 255 (lumaLow > lumaHigh when none is).
  int32_t lumaLow = 256, lumaHigh = -1;
};

// The last step of an In-Glow or Out-Glow of the layer's colours, left to the caller so that it
// runs on each row just before the row is read: within `region` (raster rows and columns) the
// glow raster's alphas still hold the spread alpha, and finishEdgeRow gives a row the edge
// glow's alpha from it and from the row's target values, recomputed from the source. The
// settings must stay as they were until every row is finished, and each source row until its
// own raster row is: finishing raster row y reads source row height − 1 − y alone, so a
// composite that writes into the source itself may replace each row once it is done with it.
struct PendingEdgeGlow {
  bool pending = false;
  bool inner = false;
  PixelBox region;
  TargetSource values;  // what the target values are recomputed from
};

// Finishes raster row y of the glow raster, `row` being its first pixel: nothing outside the
// region's rows, else the region's columns.
void finishEdgeRow(const PendingEdgeGlow& edge, int64_t y, uint32_t* row);

// The same request and results as extractTarget. Rasters of another size than the layer are
// handed to the reference extraction unchanged.
//
// pendingEdge, when given, lets an In-Glow or Out-Glow of the layer's colours (without Show
// Target) leave its last step to the caller: pendingEdge->pending then says so, and the glow
// raster is complete only once finishEdgeRow has run on every row. Otherwise pending is false.
//
// glowAlpha, when given, lets a glow of the custom colour be delivered as its alphas alone, for
// a caller that never shows the colour of a glow pixel of zero alpha: with no processing or the
// Out-Glow, *glowAlpha is then the plane of fastSpreadAlphaPlane and the glow raster is not
// written. Otherwise (also when that spread declines, and always when the extraction is
// stopped), *glowAlpha is null and the glow raster holds the glow.
int32_t fastExtractTarget(const ExtractionRequest& request, const FastContext& context,
                          const uint8_t** glowAlpha = nullptr,
                          PendingEdgeGlow* pendingEdge = nullptr);

// Whether fastExtractTarget reads or writes the target raster's pixels for these settings, with
// or without a glow raster. Where it does not, the raster need only have the layer's size: its
// pixels may be a block too small for the layer, and are never touched.
bool fastExtractionUsesTargetRaster(const RenderSettings& settings, bool glowRaster);

// innerGlow and outerGlow on the fast spread; savedCopy, when given, has the raster's size.
// uniformColour as for fastSpread.
int fastInnerGlow(Raster& raster, double radius, GlowBounds& bounds, bool lowQuality,
                  Raster* savedCopy, const FastContext& context,
                  std::optional<uint32_t> uniformColour = std::nullopt);
int fastOuterGlow(Raster& raster, double radius, GlowBounds& bounds, bool lowQuality,
                  Raster* savedCopy, const FastContext& context,
                  std::optional<uint32_t> uniformColour = std::nullopt);

// The edge glow's new alphas for columns [x0, x1] of a row: alpha from the spread word's alpha
// and the kept alpha (byte (keep >> keepShift) & 0xFF), exactly innerGlowAlpha / outerGlowAlpha,
// with the spread word's colour bytes. out may be spread itself.
void fastEdgeAlphaRow(bool inner, const uint32_t* spread, const uint32_t* keep, int keepShift,
                      uint32_t* out, int64_t x0, int64_t x1);

}  // namespace shimmerly
