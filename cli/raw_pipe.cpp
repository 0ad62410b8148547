// Reading and writing raw RGBA frames one row at a time.
#include "cli/raw_pipe.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <stdexcept>
#include <string>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace shimmerly::cli {
namespace {

int32_t parseSide(std::string_view text, std::string_view whole) {
  int32_t value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value < 1 ||
      value > 65535)
    throw std::invalid_argument("bad raw frame size '" + std::string(whole) +
                                "': write WIDTHxHEIGHT, e.g. 1920x1080 (1 to 65535 each)");
  return value;
}

}  // namespace

RawSize parseRawSize(std::string_view text) {
  size_t x = text.find_first_of("xX");
  if (x == std::string_view::npos)
    throw std::invalid_argument("bad raw frame size '" + std::string(text) +
                                "': write WIDTHxHEIGHT, e.g. 1920x1080");
  return {parseSide(text.substr(0, x), text), parseSide(text.substr(x + 1), text)};
}

void setBinaryMode([[maybe_unused]] std::FILE* stream) {
#ifdef _WIN32
  _setmode(_fileno(stream), _O_BINARY);
#endif
}

void rgbaToHost(const uint8_t* rgba, PF_Pixel* host, int32_t width) {
  for (int32_t x = 0; x < width; ++x, rgba += 4, ++host) {
    host->red = rgba[0];
    host->green = rgba[1];
    host->blue = rgba[2];
    host->alpha = rgba[3];
  }
}

void hostToRgba(const PF_Pixel* host, uint8_t* rgba, int32_t width) {
  for (int32_t x = 0; x < width; ++x, rgba += 4, ++host) {
    rgba[0] = host->red;
    rgba[1] = host->green;
    rgba[2] = host->blue;
    rgba[3] = host->alpha;
  }
}

RawFrameReader::RawFrameReader(std::FILE* in, RawSize size)
    : in_(in), size_(size), row_(static_cast<size_t>(size.width) * 4) {}

bool RawFrameReader::read(PF_Pixel* pixels, int64_t rowbytes) {
  auto* row = reinterpret_cast<uint8_t*>(pixels);
  for (int32_t r = 0; r < size_.height; ++r, row += rowbytes) {
    size_t got = std::fread(row_.data(), 1, row_.size(), in_);
    if (got != row_.size()) {
      if (std::ferror(in_))
        throw std::runtime_error("cannot read raw frame " + std::to_string(frames_ + 1) + ": " +
                                 std::strerror(errno));
      int64_t have =
          static_cast<int64_t>(r) * static_cast<int64_t>(row_.size()) + static_cast<int64_t>(got);
      if (have == 0) return false;
      throw std::runtime_error("input ended inside raw frame " + std::to_string(frames_ + 1) +
                               ": " + std::to_string(have) + " of " +
                               std::to_string(size_.frameBytes()) +
                               " bytes (is --raw the right size?)");
    }
    rgbaToHost(row_.data(), reinterpret_cast<PF_Pixel*>(row), size_.width);
  }
  ++frames_;
  return true;
}

RawFrameWriter::RawFrameWriter(std::FILE* out, RawSize size)
    : out_(out), size_(size), row_(static_cast<size_t>(size.width) * 4) {}

void RawFrameWriter::write(const PF_Pixel* pixels, int64_t rowbytes) {
  auto* row = reinterpret_cast<const uint8_t*>(pixels);
  for (int32_t r = 0; r < size_.height; ++r, row += rowbytes) {
    hostToRgba(reinterpret_cast<const PF_Pixel*>(row), row_.data(), size_.width);
    if (std::fwrite(row_.data(), 1, row_.size(), out_) != row_.size())
      throw std::runtime_error(std::string("cannot write raw frames: ") + std::strerror(errno));
  }
}

void RawFrameWriter::flush() {
  if (std::fflush(out_) != 0)
    throw std::runtime_error(std::string("cannot write raw frames: ") + std::strerror(errno));
}

}  // namespace shimmerly::cli
