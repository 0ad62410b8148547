// Raw video frames on a byte stream, as video tools pipe them ("-f rawvideo -pix_fmt rgba"):
// width × height pixels of 4 bytes red, green, blue, alpha, rows top first, frames back to back.
// Frames are read and written one row at a time through a one-row buffer, so memory stays
// bounded by the frame the caller holds. Converted to and from host PF_Pixel (alpha, r, g, b).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string_view>
#include <vector>

#include "host/host_api.h"

namespace shimmerly::cli {

struct RawSize {
  int32_t width = 0;
  int32_t height = 0;
  int64_t frameBytes() const { return static_cast<int64_t>(width) * height * 4; }
};

// "1920x1080"; each side 1 to 65535. Throws std::invalid_argument with a one-line message.
RawSize parseRawSize(std::string_view text);

// Puts a standard stream in binary mode where the platform distinguishes (Windows).
void setBinaryMode(std::FILE* stream);

class RawFrameReader {
 public:
  RawFrameReader(std::FILE* in, RawSize size);

  // Reads the next frame into `pixels` (rows `rowbytes` apart, top first). Returns false at a
  // clean end of input before the frame's first byte; throws std::runtime_error when the input
  // ends inside a frame or cannot be read.
  bool read(PF_Pixel* pixels, int64_t rowbytes);
  int64_t framesRead() const { return frames_; }

 private:
  std::FILE* in_;
  RawSize size_;
  std::vector<uint8_t> row_;
  int64_t frames_ = 0;
};

class RawFrameWriter {
 public:
  RawFrameWriter(std::FILE* out, RawSize size);

  // Writes one frame; throws std::runtime_error when the stream refuses it (a closed pipe).
  void write(const PF_Pixel* pixels, int64_t rowbytes);
  void flush();

 private:
  std::FILE* out_;
  RawSize size_;
  std::vector<uint8_t> row_;
};

// One row of conversion between the two pixel layouts.
void rgbaToHost(const uint8_t* rgba, PF_Pixel* host, int32_t width);
void hostToRgba(const PF_Pixel* host, uint8_t* rgba, int32_t width);

}  // namespace shimmerly::cli
