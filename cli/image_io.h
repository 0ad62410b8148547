// Image files of the command-line host. In memory an Image is 8-bit RGBA, straight (not
// premultiplied) colour, top row first, rows back to back. PNG (any colour type, 16-bit reduced
// to 8) and PAM (P7, RGB_ALPHA or RGB) are read and written here; TIFF, TGA, JPEG, OpenEXR, DPX,
// BMP and WebP through OpenImageIO when the build has it, reduced as cli/sample_reduction.h
// says. Input is told by its content, output by its extension; a file is replaced only once its
// new content is complete.
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

enum class ImageFormat { Png, Pam, Tiff, Targa, Jpeg, OpenExr, Dpx, Bmp, WebP };

// What the host knows of a format.
struct FormatInfo {
  ImageFormat format;
  const char* name;           // as messages name it: "TIFF"
  const char* oiioName;       // OpenImageIO's name of it, or nullptr for the host's own
  const char* extensions[3];  // lower case with the dot, nullptr after the last
  bool alpha;                 // holds an alpha channel (JPEG does not)
  bool associatedAlpha;       // stores colour premultiplied by alpha (OpenEXR; WebP as read
                              // and written by OpenImageIO)
  bool lossless;              // 8-bit RGBA comes back byte for byte
};
const FormatInfo& formatInfo(ImageFormat format);
// Every format the host knows, in the order messages list them.
const FormatInfo* allFormats(size_t& count);
// Whether this build reads and writes the format, and the names of those it does: "PNG, PAM, ...".
bool formatAvailable(ImageFormat format);
std::string availableFormats();

// Reads any available format, told by the file's content. When precision or channels are
// dropped, *reduction (if given) gets one line saying what (describeReduction), else it is
// cleared. Throws std::runtime_error with one line naming the file on any failure.
Image readImage(const std::string& path, std::string* reduction = nullptr);
// The format of an output file by its extension (any letter case); throws with one line when
// the extension is unknown or the build lacks the format, naming those it has.
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
