// Image files of the command-line host. In memory an Image is 8-bit RGBA, straight (not
// premultiplied) colour, top row first, rows back to back. Reading accepts PNG of any colour type
// (16-bit reduced to 8) and PAM (P7, RGB_ALPHA or RGB); writing picks PNG or PAM by the output's
// extension and replaces the file only once the new content is complete.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/host_api.h"

namespace shimmerly::cli {

struct Image {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> rgba;  // width × height × 4 bytes
};

enum class ImageFormat { Png, Pam };

// Reads PNG or PAM, chosen by the file's first bytes. Throws std::runtime_error with one line
// naming the file on any failure.
Image readImage(const std::string& path);
// Throws when the extension is neither .png nor .pam (any letter case).
ImageFormat outputFormatFor(const std::string& path);
// How files are written. PNG compression runs from 0 (stored, fastest) to 9 (smallest); the
// default, 1, gives files about the size of other tools' default PNGs at a fraction of the time.
constexpr int kDefaultPngCompression = 1;
struct WriteOptions {
  int pngCompression = kDefaultPngCompression;
};
// The text of --png-compression: one digit 0 to 9; throws std::runtime_error naming the option.
int parsePngCompression(const std::string& text);

// The bytes of the file that writeImage would write (format by path's extension); throws like it.
std::vector<uint8_t> encodeImage(const std::string& path, const Image& image,
                                 const WriteOptions& options = {});
// Writes bytes to a temporary file beside path, then renames it over path. Throws on failure and
// leaves no temporary file behind.
void writeFileWhole(const std::string& path, const std::vector<uint8_t>& bytes);
// encodeImage, then writeFileWhole.
void writeImage(const std::string& path, const Image& image, const WriteOptions& options = {});

// Host frames: PF_Pixel is alpha, red, green, blue, so the bytes are reordered.
std::vector<PF_Pixel> toHostPixels(const Image& image);
Image fromHostPixels(const PF_Pixel* pixels, int32_t width, int32_t height, int64_t rowPixels);

}  // namespace shimmerly::cli
