// What the frei0r filter works out about the frames a host hands it beyond what frei0r says:
// the row stride of ffmpeg 5.1's frames, and MLT's frames cut into slices.
#ifndef SHIMMERLY_FREI0R_HOST_LAYOUT_H
#define SHIMMERLY_FREI0R_HOST_LAYOUT_H

#include <cstdint>

namespace shimmerly::frei0r {

// What the code at `caller` (a return address inside the host) passes for frames `width`
// pixels wide: the row stride in bytes, width * 4 as frei0r says except for ffmpeg 5.1's frei0r
// filter (libavfilter 8.44 to 8.x), which rounds its rows up to 16 pixels; and whether the
// caller is MLT's frei0r module, the one host that may cut frames into slices.
struct CallerLayout {
  int64_t rowBytes = 0;
  bool mlt = false;
};
CallerLayout callerLayout(const void* caller, int64_t width);

// libavfilter's version (major, minor) and the width give the stride: the rule above, apart
// from finding the library, for tests.
int64_t rowBytesForLibavfilter(unsigned version, int64_t width);

// Watches the frames one instance is given for the pattern of a frame cut into slices (MLT's
// `threads` property): calls whose input and output both lie a whole number of the instance's
// frames apart from the previous call's, as the slices of one host frame do.
class SliceWatch {
 public:
  explicit SliceWatch(int64_t frameBytes) : frameBytes_(frameBytes) {}
  // True once a call's buffers show slices; stays true.
  bool sliced(const void* in, const void* out);

 private:
  int64_t frameBytes_;
  const uint8_t* lastIn_ = nullptr;
  const uint8_t* lastOut_ = nullptr;
  bool sliced_ = false;
};

}  // namespace shimmerly::frei0r

#endif
