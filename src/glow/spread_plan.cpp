// The plan of a box pass (see spread_plan.h): how far a pass grows the bounds, its weights, the
// edge table of reciprocals for the boxes the frame's sides cut, and the bands with the column
// sums one pass carries to the next.
#include "glow/spread_plan.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "glow/frame_slots.h"

namespace shimmerly::spread_kernels {

// Grows the bounds as one box pass of radius x does (x already capped); false when the pass
// does nothing at all (x ≤ 0 or NaN). An empty box grows into one that covers no pixel.
bool growForPass(float x, GlowBounds& bounds) {
  if (!(x > 0.0f)) return false;
  const double grow = static_cast<double>(static_cast<int64_t>(x)) + 1.0;
  bounds.include(bounds.x0 - grow, bounds.y0 - grow);
  bounds.include(bounds.x1 + grow, bounds.y1 + grow);
  return true;
}

// A bound on the box areas a pass of radius x (already capped) meets in a width × height
// raster: its boxes are at most 2r + 3 wide and tall, r = B div 2, and no wider or taller than
// the raster.
int64_t boxAreaBound(float x, int64_t width, int64_t height) {
  const int64_t r = static_cast<int64_t>(x) / 2;
  return std::min(2 * r + 3, width) * std::min(2 * r + 3, height);
}

bool alphaAverageIsQuotient(uint32_t area) {
  static const std::vector<bool> quotient = [] {
    std::vector<bool> q(kSingleAverageMaxArea + 1, true);
    q[0] = false;
    for (uint32_t a = 1; a <= kSingleAverageMaxArea; ++a) {
      const double r = 1.0 / a;
      for (uint32_t k = 1; k <= 255 && q[a]; ++k)
        q[a] = static_cast<uint32_t>(static_cast<double>(k * a) * r) == k;
    }
    return q;
  }();
  return area < quotient.size() && quotient[area];
}

uint32_t blendedWord(uint32_t c, double wIn, double f) {
  uint32_t word = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    const double v = static_cast<double>((c >> shift) & 0xFFu);
    word |= (static_cast<uint32_t>(static_cast<int32_t>(v * wIn + v * f)) & 0xFFu) << shift;
  }
  return word;
}

// The outer box's weight f of a pass of radius x (already capped): (x − 2r) × 0.5, r = B div 2.
double outerWeight(float x) {
  const double r = static_cast<double>(static_cast<int64_t>(x) / 2);
  return (static_cast<double>(x) - 2.0 * r) * 0.5;
}

// The edge table: for every box height h a pass meets and every column whose boxes a side of
// the frame cuts, R[w × h], w the width of the column's inner box. A pass of wide boxes
// otherwise divides for each such column in each row near the top and bottom; the table is
// made once for the three passes of a smooth spread and kept for the next frames of the same
// size and radius. The outer box of a column is as wide as the inner box of its neighbour
// towards the middle, so one row of the table serves both boxes, read one column apart: half
// the size of a table for each box, which at the widest boxes keeps it in cache. It serves
// frames where each cut box reaches only one side (w = px + rc on the left, W − 1 + lc − px
// on the right); where boxes reach across the frame, passes divide.
//
// Layout: a header of eight integers (width, height, rc, rv, left, right, stride, heights),
// then `heights` rows of `stride` values: columns 0 to left, then right − 1 to W − 1. Columns
// [left, right) are cut by neither side.
constexpr size_t kEdgeTableMaxBytes = size_t{16} << 20;

void useEdgeTable(PassPlan& p, FrameMemory& memory) {
  const int64_t W = p.width, H = p.height;
  p.edgeTable = nullptr;
  if (W <= 0) return;
  auto widthI = [&](int64_t px) {
    return std::min(px + p.rc, W - 1) - std::max<int64_t>(px - p.lc, 0);
  };
  auto widthO = [&](int64_t px) {
    return std::min(px + p.rc + 1, W - 1) - std::max<int64_t>(px - p.lc - 1, 0);
  };
  // The longest run of columns where both widths stay the same.
  int64_t left = 0, right = std::min<int64_t>(W, 1), from = 0;
  for (int64_t px = 1; px <= W; ++px) {
    if (px == W || widthI(px) != widthI(from) || widthO(px) != widthO(from)) {
      if (px - from > right - left) {
        left = from;
        right = px;
      }
      from = px;
    }
  }
  if (left == 0 && right == W) return;  // no side cuts a box
  auto leftWidth = [&](int64_t px) { return px + p.rc; };
  auto rightWidth = [&](int64_t px) { return W - 1 + p.lc - px; };
  for (int64_t px = 0; px < left; ++px)
    if (widthI(px) != leftWidth(px) || widthO(px) != leftWidth(px + 1)) return;
  for (int64_t px = right; px < W; ++px)
    if (widthI(px) != rightWidth(px) || widthO(px) != rightWidth(px - 1)) return;
  const int64_t stride = (left + 1) + (W - right + 1);
  const int64_t heights = std::min(2 * p.rv + 3, H - 1) + 1;
  const size_t bytes = 64 + static_cast<size_t>(heights * stride) * sizeof(double);
  if (bytes > kEdgeTableMaxBytes) return;
  auto* header = static_cast<int64_t*>(memory.block(kSlotEdgeReciprocals, bytes));
  double* table = reinterpret_cast<double*>(header + 8);
  const int64_t expected[8] = {W, H, p.rc, p.rv, left, right, stride, heights};
  if (memory.key(kSlotEdgeReciprocals) == 0 ||
      std::memcmp(header, expected, sizeof(expected)) != 0) {
    for (int64_t h = 0; h < heights; ++h) {
      double* row = table + h * stride;
      for (int64_t px = 0; px <= left; ++px) row[px] = reciprocalOf(leftWidth(px) * h);
      for (int64_t px = right - 1; px < W; ++px)
        row[left + 1 + (px - (right - 1))] = reciprocalOf(rightWidth(px) * h);
    }
    std::memcpy(header, expected, sizeof(expected));
    memory.setKey(kSlotEdgeReciprocals, 1);
  }
  p.edgeTable = table;
  p.edgeLeft = left;
  p.edgeRight = right;
  p.edgeStride = stride;
  p.wInteriorI = widthI(left);
  p.wInteriorO = widthO(left);
}

// The first rows of the bands of a pass over the rows [y0, y0 + rows), and its end. Before its
// first row, each band sums the source rows that row's boxes reach, about a tenth of a row's
// work each: up to lv + rv + 1 rows for a band inside the frame, fewer where the frame's top or
// bottom cuts them, as for the first band of a region at the top. The rows are shared so that
// every band has the same work, those that sum more taking fewer rows, rather than the same
// number of rows, which at wide radii leaves the threads of the other bands waiting. Bands whose
// starting sums were added up by the plane's writer (carried) start at no cost.
std::vector<int64_t> bandStarts(const PassPlan& p, int64_t y0, int64_t rows, int parts,
                                bool carried) {
  constexpr double kSumRowWork = 0.1;
  auto summed = [&](int64_t first) {
    return std::max<int64_t>(
        std::min(first + p.rv, p.height - 1) - std::max<int64_t>(first - p.lv, 1) + 1, 0);
  };
  std::vector<double> extra(static_cast<size_t>(parts));
  double work = static_cast<double>(rows);
  for (int k = 0; k < parts; ++k) {
    extra[k] = carried ? 0.0 : kSumRowWork * static_cast<double>(summed(y0 + rows * k / parts));
    work += extra[k];
  }
  std::vector<int64_t> starts(static_cast<size_t>(parts) + 1);
  starts[0] = y0;
  for (int k = 0; k < parts; ++k) {
    const int64_t share = std::llround(std::max(work / parts - extra[k], 0.0));
    starts[k + 1] = k == parts - 1 ? y0 + rows : std::min(starts[k] + share, y0 + rows);
  }
  return starts;
}

// The bands of a pass over `rows` rows: each band starts by summing a box's worth of rows, so
// bands are few and large.
int bandCount(int64_t rows, int workers) {
  return static_cast<int>(std::clamp<int64_t>(rows / 16, 1, workers));
}

// Plans the sums a pass adds up for the next one (see CarriedSums), which runs with the same
// radius over the region of bounds grown once more, and sets each band's part in targets. The
// pass's own bands start at starts. Gives up (ready stays false) when some next band's rows come
// from more than two bands.
void planCarry(const PassPlan& p, float x, GlowBounds bounds, const std::vector<int64_t>& starts,
               int workers, FrameMemory& memory, CarriedSums& carry,
               std::vector<std::vector<CarryTarget>>& targets) {
  carry.ready = false;
  if (!growForPass(x, bounds)) return;
  const PixelBox next =
      regionOf(bounds, static_cast<int32_t>(p.width), static_cast<int32_t>(p.height));
  if (next.empty()) return;
  const int64_t rows = next.y1 - next.y0 + 1;
  const int parts = bandCount(rows, workers);
  carry.starts = bandStarts(p, next.y0, rows, parts, true);
  const size_t count = static_cast<size_t>(2 * parts * p.width);
  carry.sums = memory.array<uint32_t>(carry.slot, count);
  std::memset(carry.sums, 0, count * 4);
  for (auto& t : targets) t.clear();
  const int ownParts = static_cast<int>(starts.size()) - 1;
  for (int k = 0; k < parts; ++k) {
    const int64_t first = std::max<int64_t>(carry.starts[k] - p.lv, 1);
    const int64_t last = std::min(carry.starts[k] + p.rv, p.height - 1);
    int part = 0;
    for (int j = 0; j < ownParts; ++j) {
      const int64_t from = std::max(first, starts[j]), to = std::min(last, starts[j + 1] - 1);
      if (from > to) continue;
      if (part == 2) {
        for (auto& t : targets) t.clear();
        return;
      }
      targets[j].push_back({from, to, carry.sums + (2 * k + part) * p.width});
      ++part;
    }
  }
  carry.ready = true;
}

}  // namespace shimmerly::spread_kernels
