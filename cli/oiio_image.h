// The image formats that the command-line host reads and writes through OpenImageIO: TIFF, TGA,
// JPEG, OpenEXR, DPX, BMP and WebP (PNG and PAM have their own paths in cli/image_io.cpp).
// Only built when OpenImageIO is found (SHIMMERLY_HAVE_OIIO). cli/oiio_image.cpp implements them
// in the module "shimmerly_oiio.so", which the host loads beside its executable on first use
// (cli/oiio_module.cpp): OpenImageIO and the libraries under it take about 0.2 s to load and
// relocate, which runs on PNG and PAM alone need not pay.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/image_io.h"

namespace shimmerly::cli {

// Whether this OpenImageIO both reads and writes the format of that name ("tiff", "openexr").
bool oiioHasFormat(const char* oiioName);

// Reads the first image of a file of one of the formats above, reduced to 8-bit straight RGBA
// (cli/sample_reduction.h); *reduction as readImage says. Throws std::runtime_error with one line
// naming the file.
Image readWithOiio(const std::string& path, std::string* reduction);

// The bytes of `image` as a file of that format, made in memory. A format without alpha (JPEG)
// gets the colour alone; formats that store associated alpha get the colour premultiplied.
std::vector<uint8_t> encodeWithOiio(const std::string& path, const FormatInfo& format,
                                    const Image& image);

// What the module hands the host: the three functions above, from its own copy of them.
struct OiioFormats {
  int version;  // kOiioFormatsVersion of the module's build
  bool (*hasFormat)(const char* oiioName);
  Image (*read)(const std::string& path, std::string* reduction);
  std::vector<uint8_t> (*encode)(const std::string& path, const FormatInfo& format,
                                 const Image& image);
};
inline constexpr int kOiioFormatsVersion = 1;
// The module's file name, and the one function it exports, which returns its OiioFormats.
inline constexpr const char* kOiioModuleFile = "shimmerly_oiio.so";
inline constexpr const char* kOiioModuleEntry = "shimmerly_oiio_formats";

}  // namespace shimmerly::cli
