// Fuzz target: the image readers of the `shimmerly` host. The whole input is read as an image
// file (PNG or PAM by its first bytes) from an in-memory file; then as a raw frame stream whose
// frame size comes from its first two bytes; and its first line as a raw size text. Readers may
// refuse the input with their one-line error; they must not crash, and an image they accept must
// hold exactly width × height × 4 bytes.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "cli/image_io.h"
#include "cli/raw_pipe.h"
#include "fuzz_support.h"

using namespace shimmerly;

namespace {

void readAsImageFile(const uint8_t* data, size_t size) {
  static const int fd = memfd_create("shimmerly-image", 0);
  if (fd < 0) std::abort();
  if (ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != static_cast<ssize_t>(size))
    std::abort();
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  try {
    const cli::Image image = cli::readImage(path);
    if (image.width <= 0 || image.height <= 0 ||
        image.rgba.size() != static_cast<size_t>(image.width) * image.height * 4)
      std::abort();
  } catch (const std::runtime_error&) {
  }
}

void readAsRawFrames(const uint8_t* data, size_t size) {
  fuzzing::InputReader input(data, size);
  cli::RawSize frame{input.small(1, 16), input.small(1, 16)};
  FILE* stream = fmemopen(const_cast<uint8_t*>(input.rest()), input.remaining(), "rb");
  if (!stream) return;  // fmemopen refuses an empty buffer on some C libraries
  std::vector<PF_Pixel> pixels(static_cast<size_t>(frame.width) * frame.height);
  try {
    cli::RawFrameReader reader(stream, frame);
    while (reader.read(pixels.data(), static_cast<int64_t>(frame.width) * 4)) {
    }
  } catch (const std::runtime_error&) {
  }
  std::fclose(stream);
}

void readAsRawSize(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  text = text.substr(0, text.find('\n'));
  try {
    const cli::RawSize parsed = cli::parseRawSize(text);
    if (parsed.width < 1 || parsed.width > 65535 || parsed.height < 1 || parsed.height > 65535)
      std::abort();
  } catch (const std::invalid_argument&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  readAsImageFile(data, size);
  readAsRawFrames(data, size);
  readAsRawSize(data, size);
  return 0;
}
