// The row stride of the frames of ffmpeg's frei0r filter, found from the libavfilter the call
// comes from, and the recognition of frames cut into slices.
#include "frei0r/host_layout.h"

#include <dlfcn.h>

#include <cstring>

namespace shimmerly::frei0r {

int64_t rowBytesForLibavfilter(unsigned version, int64_t width) {
  const unsigned major = version >> 16, minor = (version >> 8) & 0xff;
  // ffmpeg 5.1 (libavfilter 8.44) copies each frame into a buffer whose rows are aligned to 16
  // pixels; 6.0 (libavfilter 9) aligns them to 1, as frei0r asks. Before 5.1 the frames came as
  // decoded, with a stride no filter can know.
  if (major == 8 && minor >= 44) return (width + 15) / 16 * 16 * 4;
  return width * 4;
}

CallerLayout callerLayout(const void* caller, int64_t width) {
  CallerLayout layout{width * 4, false};
  Dl_info info{};
  if (caller == nullptr || dladdr(caller, &info) == 0 || info.dli_fname == nullptr) return layout;
  const char* slash = std::strrchr(info.dli_fname, '/');
  const char* file = slash ? slash + 1 : info.dli_fname;
  layout.mlt = std::strncmp(file, "libmltfrei0r", 12) == 0;
  if (std::strncmp(file, "libavfilter", 11) != 0) return layout;
  // The library is loaded already; this only takes another reference to find its version.
  void* library = dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD);
  if (library == nullptr) return layout;
  using VersionFunction = unsigned (*)();
  if (const auto avfilterVersion =
          reinterpret_cast<VersionFunction>(dlsym(library, "avfilter_version")))
    layout.rowBytes = rowBytesForLibavfilter(avfilterVersion(), width);
  dlclose(library);
  return layout;
}

bool SliceWatch::sliced(const void* in, const void* out) {
  const auto* inBytes = static_cast<const uint8_t*>(in);
  const auto* outBytes = static_cast<const uint8_t*>(out);
  if (!sliced_ && lastIn_ != nullptr && frameBytes_ > 0 && inBytes != lastIn_) {
    const auto step = reinterpret_cast<intptr_t>(inBytes) - reinterpret_cast<intptr_t>(lastIn_);
    const auto outStep =
        reinterpret_cast<intptr_t>(outBytes) - reinterpret_cast<intptr_t>(lastOut_);
    // Slices of one frame: the same step for input and output, a few instance frames long.
    sliced_ = step == outStep && step % frameBytes_ == 0 && step / frameBytes_ >= -64 &&
              step / frameBytes_ <= 64;
  }
  lastIn_ = inBytes;
  lastOut_ = outBytes;
  return sliced_;
}

}  // namespace shimmerly::frei0r
