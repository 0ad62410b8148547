// The image formats that the command-line host reads and writes through OpenImageIO: TIFF, TGA,
// JPEG, OpenEXR, DPX, BMP and WebP (PNG and PAM have their own paths in cli/image_io.cpp).
// Only built when OpenImageIO is found (SHIMMERLY_HAVE_OIIO).
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

}  // namespace shimmerly::cli
