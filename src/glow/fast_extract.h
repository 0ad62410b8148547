// Target extraction and the inner and outer glow computed fast: the same target values, rasters,
// bounds and glow size as the reference extraction, with the rows split into bands over the
// render's threads and the processing step run on the fast spread. The host is still asked once
// per source row, in order, on the calling thread; an interrupt at row r leaves exactly the
// rows before r extracted.
#pragma once

#include <cstdint>

#include "glow/extract.h"
#include "glow/fast_spread.h"

namespace shimmerly {

// The same request and results as extractTarget. Rasters of another size than the layer are
// handed to the reference extraction unchanged.
//
// glowAlpha, when given, lets a glow of the custom colour be delivered as its alphas alone, for
// a caller that never shows the colour of a glow pixel of zero alpha: with no processing or the
// Out-Glow, *glowAlpha is then the plane of fastSpreadAlphaPlane and the glow raster is not
// written. Otherwise (also when that spread declines, and always when the extraction is
// stopped), *glowAlpha is null and the glow raster holds the glow.
int32_t fastExtractTarget(const ExtractionRequest& request, const FastContext& context,
                          const uint8_t** glowAlpha = nullptr);

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
