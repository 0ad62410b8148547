// TIFF, TGA, JPEG, OpenEXR, DPX, BMP and WebP through OpenImageIO. Reading asks the readers that
// can (TIFF, TGA) to keep straight alpha as the file holds it and to say so; OpenEXR's colour is
// associated by convention and WebP's as OpenImageIO hands it over, so both are divided by alpha;
// DPX and BMP alpha is taken as straight. Writing encodes into memory (an IOVecOutput), so that
// cli/image_io.cpp's writeFileWhole replaces the file only once it is complete. Built into the
// module "shimmerly_oiio.so" with its own copy of cli/image_io.cpp, and exported through one
// function, shimmerly_oiio_formats.
#include "cli/oiio_image.h"

#include <OpenImageIO/filesystem.h>
#include <OpenImageIO/imageio.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <stdexcept>

#include "cli/sample_reduction.h"

namespace shimmerly::cli {
namespace {

// Frames larger than this many pixels are refused, as by the PNG and PAM readers.
constexpr int64_t kMaxPixels = (int64_t{1} << 29);

// OpenImageIO's messages may span lines, one per failure; the host's errors are one line, the
// first failure's.
std::string oneLine(std::string text) {
  text = text.substr(0, text.find('\n'));
  while (!text.empty() && (text.back() == ' ' || text.back() == '.')) text.pop_back();
  return text.empty() ? std::string("no more detail from the reader") : text;
}

[[noreturn]] void fail(const std::string& path, const std::string& why) {
  throw std::runtime_error(path + ": " + why);
}

std::set<std::string> formatList(const char* attribute) {
  std::set<std::string> names;
  const std::string list = OIIO::get_string_attribute(attribute);
  size_t at = 0;
  while (at <= list.size()) {
    const size_t comma = std::min(list.find(',', at), list.size());
    if (comma > at) names.insert(list.substr(at, comma - at));
    at = comma + 1;
  }
  return names;
}

const FormatInfo* formatNamed(const std::string& oiioName) {
  size_t count = 0;
  const FormatInfo* formats = allFormats(count);
  for (size_t i = 0; i < count; ++i)
    if (formats[i].oiioName && oiioName == formats[i].oiioName) return &formats[i];
  return nullptr;
}

// What samples wider than 8 bits are called in the reduction's line; empty for 8-bit ones.
std::string sampleKind(const OIIO::ImageSpec& header) {
  const OIIO::TypeDesc type = header.format;
  if (type == OIIO::TypeDesc::UINT8 && header.channelformats.empty()) return "";
  if (type == OIIO::TypeDesc::HALF) return "half-float";
  if (type == OIIO::TypeDesc::FLOAT) return "32-bit float";
  if (type == OIIO::TypeDesc::DOUBLE) return "64-bit float";
  const int bits =
      header.get_int_attribute("oiio:BitsPerSample", static_cast<int>(type.size() * 8));
  return std::to_string(bits) + "-bit";
}

// OpenImageIO's DPX reader trusts the header's sizes (a user data size past 2^31 stops the
// process), so a DPX file's sizes are checked against the file's length first.
void checkDpxHeader(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  unsigned char header[36] = {};
  if (!file.read(reinterpret_cast<char*>(header), sizeof header)) return;  // the reader says why
  const bool big = std::memcmp(header, "SDPX", 4) == 0;
  if (!big && std::memcmp(header, "XPDS", 4) != 0) return;
  auto field = [&](int at) {
    const unsigned char* b = header + at;
    return big ? (uint32_t{b[0]} << 24 | uint32_t{b[1]} << 16 | uint32_t{b[2]} << 8 | b[3])
               : (uint32_t{b[3]} << 24 | uint32_t{b[2]} << 16 | uint32_t{b[1]} << 8 | b[0]);
  };
  std::error_code error;
  const uint64_t length = std::filesystem::file_size(path, error);
  if (error) return;
  const uint32_t imageOffset = field(4), userSize = field(32);
  if (imageOffset > length || (userSize != 0xffffffffu && userSize > length))
    fail(path, "damaged DPX file (its header's sizes run past the end of the file)");
}

// The file cannot be read at all: OpenImageIO's reason, and the formats this build reads.
[[noreturn]] void failToRead(const std::string& path, const std::string& why) {
  fail(path, "cannot read (" + oneLine(why) + "); this build reads " + availableFormats());
}

}  // namespace

bool oiioHasFormat(const char* oiioName) {
  static const std::set<std::string> readable = formatList("input_format_list");
  static const std::set<std::string> writable = formatList("output_format_list");
  return readable.count(oiioName) > 0 && writable.count(oiioName) > 0;
}

Image readWithOiio(const std::string& path, std::string* reduction) {
  checkDpxHeader(path);
  OIIO::ImageSpec config;
  config.attribute("oiio:UnassociatedAlpha", 1);
  // The reader for the file, then the file opened with the hint, which fills in its header: what
  // ImageInput::open does with a configuration, keeping the header it reads.
  std::unique_ptr<OIIO::ImageInput> in = OIIO::ImageInput::create(path, false, &config);
  if (!in) failToRead(path, OIIO::geterror());
  OIIO::ImageSpec header;
  if (!in->open(path, header, config)) failToRead(path, in->geterror());
  const FormatInfo* format = formatNamed(in->format_name());
  if (!format || !formatAvailable(format->format))
    fail(path, std::string("unsupported image format (") + in->format_name() +
                   "); this build reads " + availableFormats());
  const int64_t width = header.width, height = header.height;
  if (width <= 0 || height <= 0 || header.nchannels <= 0) fail(path, "the image has no pixels");
  if (width * height > kMaxPixels || header.nchannels > 64) fail(path, "the image is too large");
  const ChannelLayout layout{header.nchannels, header.alpha_channel};
  // TIFF and TGA say when they kept straight alpha; the others follow their format's rule.
  bool associated = format->associatedAlpha;
  if (format->format == ImageFormat::Tiff || format->format == ImageFormat::Targa)
    associated = header.get_int_attribute("oiio:UnassociatedAlpha", 0) == 0;
  if (header.alpha_channel < 0) associated = false;

  const std::string kind = sampleKind(header);
  const int64_t pixels = width * height;
  const size_t samples = static_cast<size_t>(pixels) * static_cast<size_t>(header.nchannels);
  Image image;
  image.width = static_cast<int32_t>(width);
  image.height = static_cast<int32_t>(height);
  image.rgba.resize(static_cast<size_t>(pixels) * 4);
  auto readAs = [&](OIIO::TypeDesc type, void* data) {
    if (!in->read_image(0, 0, 0, header.nchannels, type, data))
      fail(path,
           "damaged " + std::string(format->name) + " file (" + oneLine(in->geterror()) + ")");
  };
  if (kind.empty() && !associated) {
    std::vector<uint8_t> data(samples);
    readAs(OIIO::TypeDesc::UINT8, data.data());
    rgbaFrom8(data.data(), pixels, layout, image.rgba.data());
  } else if (header.format.basetype == OIIO::TypeDesc::UINT16 && !associated) {
    std::vector<uint16_t> data(samples);
    readAs(OIIO::TypeDesc::UINT16, data.data());
    rgbaFrom16(data.data(), pixels, layout, image.rgba.data());
  } else {
    std::vector<float> data(samples);
    readAs(OIIO::TypeDesc::FLOAT, data.data());
    rgbaFromFloat(data.data(), pixels, layout, associated, image.rgba.data());
  }
  // Some readers report a damaged file only as an error left behind after the pixels.
  if (in->has_error())
    fail(path, "damaged " + std::string(format->name) + " file (" + oneLine(in->geterror()) + ")");
  in->close();
  if (reduction) *reduction = describeReduction(kind, droppedChannels(layout));
  return image;
}

std::vector<uint8_t> encodeWithOiio(const std::string& path, const FormatInfo& format,
                                    const Image& image) {
  std::unique_ptr<OIIO::ImageOutput> out = OIIO::ImageOutput::create(format.oiioName);
  if (!out)
    fail(path, "cannot write " + std::string(format.name) + " (" + oneLine(OIIO::geterror()) + ")");
  const int channels = format.alpha ? 4 : 3;
  OIIO::ImageSpec header(image.width, image.height, channels, OIIO::TypeDesc::UINT8);
  header.alpha_channel = format.alpha ? 3 : -1;
  if (format.format == ImageFormat::OpenExr) header.set_format(OIIO::TypeDesc::HALF);
  if (format.alpha && !format.associatedAlpha) header.attribute("oiio:UnassociatedAlpha", 1);
  if (format.format == ImageFormat::Jpeg) header.attribute("CompressionQuality", 95);

  OIIO::Filesystem::IOVecOutput proxy;
  if (!out->supports("ioproxy") || !out->set_ioproxy(&proxy))
    fail(path, "cannot write " + std::string(format.name) + " into memory");
  if (!out->open(path, header)) fail(path, "cannot write (" + oneLine(out->geterror()) + ")");
  const int64_t pixels = static_cast<int64_t>(image.width) * image.height;
  bool written = false;
  if (!format.alpha) {
    std::vector<uint8_t> rgb(static_cast<size_t>(pixels) * 3);
    for (int64_t i = 0; i < pixels; ++i)
      for (int c = 0; c < 3; ++c) rgb[i * 3 + c] = image.rgba[i * 4 + c];
    written = out->write_image(OIIO::TypeDesc::UINT8, rgb.data());
  } else if (format.associatedAlpha) {
    std::vector<float> samples(static_cast<size_t>(pixels) * 4);
    associatedFromRgba(image.rgba.data(), pixels, samples.data());
    written = out->write_image(OIIO::TypeDesc::FLOAT, samples.data());
  } else {
    written = out->write_image(OIIO::TypeDesc::UINT8, image.rgba.data());
  }
  if (!written || !out->close()) fail(path, "cannot write (" + oneLine(out->geterror()) + ")");
  return proxy.buffer();
}

}  // namespace shimmerly::cli

extern "C" __attribute__((visibility("default"))) const shimmerly::cli::OiioFormats*
shimmerly_oiio_formats() {
  using namespace shimmerly::cli;
  static const OiioFormats formats{kOiioFormatsVersion, &oiioHasFormat, &readWithOiio,
                                   &encodeWithOiio};
  return &formats;
}
