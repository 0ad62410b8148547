// Image files of the command-line host: the table of formats, and the PNG and PAM readers and
// writers (the other formats are in cli/oiio_image.cpp). PNG is read with libpng; it is written
// here, rows filtered with Up and compressed whole by libdeflate, which at level 1 is both
// faster and smaller than zlib at libpng's default. Sizes are checked before any allocation, so a
// damaged header cannot ask for absurd amounts of memory.
#include "cli/image_io.h"

#include "cli/sample_reduction.h"
#ifdef SHIMMERLY_HAVE_OIIO
#include "cli/oiio_image.h"
#endif

#ifdef SHIMMERLY_HAVE_PNG
#include <libdeflate.h>
#include <png.h>
#endif
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <sstream>
#include <stdexcept>

namespace shimmerly::cli {
namespace {

// Frames larger than this many pixels are refused (2^31 bytes of RGBA).
constexpr int64_t kMaxPixels = (int64_t{1} << 29);

[[noreturn]] void fail(const std::string& path, const std::string& why) {
  throw std::runtime_error(path + ": " + why);
}

struct FileCloser {
  void operator()(FILE* f) const {
    if (f) std::fclose(f);
  }
};
using File = std::unique_ptr<FILE, FileCloser>;

void checkSize(const std::string& path, int64_t width, int64_t height) {
  if (width <= 0 || height <= 0) fail(path, "the image has no pixels");
  if (width > INT32_MAX || height > INT32_MAX || width * height > kMaxPixels)
    fail(path, "the image is too large");
}

// ---- PNG ----
#ifdef SHIMMERLY_HAVE_PNG

struct PngError {
  char message[256];
};

extern "C" void pngErrorHandler(png_structp png, png_const_charp message) {
  auto* error = static_cast<PngError*>(png_get_error_ptr(png));
  std::snprintf(error->message, sizeof error->message, "%s", message);
  png_longjmp(png, 1);
}

extern "C" void pngWarningHandler(png_structp, png_const_charp) {}

// Everything that lives across setjmp is kept outside the function that calls it.
struct PngReadState {
  png_structp png = nullptr;
  png_infop info = nullptr;
  PngError error{};
  std::vector<png_bytep> rows;
  ~PngReadState() { png_destroy_read_struct(&png, &info, nullptr); }
};

bool readPngRows(PngReadState& s, FILE* file, Image& image, bool& sixteen, std::string& why) {
  if (setjmp(png_jmpbuf(s.png))) {
    why = s.error.message;
    return false;
  }
  png_init_io(s.png, file);
  png_read_info(s.png, s.info);
  png_uint_32 width = png_get_image_width(s.png, s.info);
  png_uint_32 height = png_get_image_height(s.png, s.info);
  if (width == 0 || height == 0 || int64_t{width} * height > kMaxPixels || width > INT32_MAX ||
      height > INT32_MAX) {
    why = "unsupported image size";
    return false;
  }
  // Deflate expands at most 1032 times: a file too short to hold its rows (height times their
  // filter byte and bytes as stored) is refused before room is made for its pixels.
  const uint64_t storedRows = uint64_t{height} * (png_get_rowbytes(s.png, s.info) + 1);
  struct stat fileInfo;
  const long rowsStart = std::ftell(file);
  if (rowsStart >= 0 && fstat(fileno(file), &fileInfo) == 0 && S_ISREG(fileInfo.st_mode) &&
      static_cast<uint64_t>(fileInfo.st_size - rowsStart) * 1032 < storedRows) {
    why = "the file is too short for its image size";
    return false;
  }
  int colorType = png_get_color_type(s.png, s.info);
  int bitDepth = png_get_bit_depth(s.png, s.info);
  // 16-bit samples: libpng's scaling rounds to the nearest 8-bit value, as reduce16 does.
  sixteen = bitDepth == 16;
  if (sixteen) png_set_scale_16(s.png);
  if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(s.png);
  if (colorType == PNG_COLOR_TYPE_GRAY && bitDepth < 8) png_set_expand_gray_1_2_4_to_8(s.png);
  if (png_get_valid(s.png, s.info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(s.png);
  if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA)
    png_set_gray_to_rgb(s.png);
  if (!(colorType & PNG_COLOR_MASK_ALPHA) && !png_get_valid(s.png, s.info, PNG_INFO_tRNS))
    png_set_filler(s.png, 0xff, PNG_FILLER_AFTER);
  png_set_interlace_handling(s.png);
  png_read_update_info(s.png, s.info);
  if (png_get_rowbytes(s.png, s.info) != static_cast<size_t>(width) * 4) {
    why = "unsupported pixel layout";
    return false;
  }
  image.width = static_cast<int32_t>(width);
  image.height = static_cast<int32_t>(height);
  image.rgba.assign(static_cast<size_t>(width) * height * 4, 0);
  s.rows.resize(height);
  for (png_uint_32 y = 0; y < height; ++y)
    s.rows[y] = image.rgba.data() + static_cast<size_t>(y) * width * 4;
  png_read_image(s.png, s.rows.data());
  png_read_end(s.png, nullptr);
  return true;
}

Image readPng(const std::string& path, FILE* file, std::string* reduction) {
  PngReadState s;
  s.png =
      png_create_read_struct(PNG_LIBPNG_VER_STRING, &s.error, pngErrorHandler, pngWarningHandler);
  if (!s.png) fail(path, "out of memory");
  s.info = png_create_info_struct(s.png);
  if (!s.info) fail(path, "out of memory");
  Image image;
  std::string why;
  bool sixteen = false;
  if (!readPngRows(s, file, image, sixteen, why)) fail(path, "damaged PNG file (" + why + ")");
  if (reduction) *reduction = describeReduction(sixteen ? "16-bit" : "", 0);
  return image;
}

// Appends bytes (resize and copy: GCC 12 misreads vector::insert of a small array here).
void appendBytes(std::vector<uint8_t>& out, const uint8_t* data, size_t size) {
  const size_t at = out.size();
  out.resize(at + size);
  std::memcpy(out.data() + at, data, size);
}

// Appends one chunk: length, type, data, and the CRC of type and data.
void appendChunk(std::vector<uint8_t>& out, const char type[4], const uint8_t* data, size_t size) {
  const auto length = static_cast<uint32_t>(size);
  const uint8_t header[8] = {static_cast<uint8_t>(length >> 24), static_cast<uint8_t>(length >> 16),
                             static_cast<uint8_t>(length >> 8),  static_cast<uint8_t>(length),
                             static_cast<uint8_t>(type[0]),      static_cast<uint8_t>(type[1]),
                             static_cast<uint8_t>(type[2]),      static_cast<uint8_t>(type[3])};
  appendBytes(out, header, 8);
  uint32_t crc = libdeflate_crc32(0, header + 4, 4);
  if (size > 0) {
    appendBytes(out, data, size);
    crc = libdeflate_crc32(crc, data, size);
  }
  const uint8_t tail[4] = {static_cast<uint8_t>(crc >> 24), static_cast<uint8_t>(crc >> 16),
                           static_cast<uint8_t>(crc >> 8), static_cast<uint8_t>(crc)};
  appendBytes(out, tail, 4);
}

// An 8-bit RGBA PNG: IHDR, the zlib stream in IDAT chunks of at most 1 MiB, IEND. Each row but
// the first is filtered with Up (the difference from the row above), which on rendered frames
// compresses as well as libpng's per-row choice among all five filters at a fraction of the cost;
// the first row is stored unfiltered.
std::vector<uint8_t> encodePng(const std::string& path, const Image& image, int compression) {
  const size_t rowBytes = static_cast<size_t>(image.width) * 4;
  const size_t height = static_cast<size_t>(image.height);
  std::vector<uint8_t> filtered(height * (rowBytes + 1));
  for (size_t y = 0; y < height; ++y) {
    uint8_t* out = filtered.data() + y * (rowBytes + 1);
    const uint8_t* row = image.rgba.data() + y * rowBytes;
    if (y == 0) {
      out[0] = 0;  // None
      std::memcpy(out + 1, row, rowBytes);
      continue;
    }
    out[0] = 2;  // Up
    const uint8_t* above = row - rowBytes;
    for (size_t i = 0; i < rowBytes; ++i) out[1 + i] = static_cast<uint8_t>(row[i] - above[i]);
  }
  std::unique_ptr<libdeflate_compressor, void (*)(libdeflate_compressor*)> compressor(
      libdeflate_alloc_compressor(compression), libdeflate_free_compressor);
  if (!compressor) fail(path, "out of memory");
  std::vector<uint8_t> stream(libdeflate_zlib_compress_bound(compressor.get(), filtered.size()));
  const size_t streamSize = libdeflate_zlib_compress(compressor.get(), filtered.data(),
                                                     filtered.size(), stream.data(), stream.size());
  if (streamSize == 0) fail(path, "cannot compress the PNG rows");
  filtered = {};

  constexpr size_t kIdatBytes = size_t{1} << 20;
  std::vector<uint8_t> png;
  png.reserve(streamSize + streamSize / kIdatBytes * 12 + 64);
  static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  appendBytes(png, kSignature, 8);
  const auto w = static_cast<uint32_t>(image.width), h = static_cast<uint32_t>(image.height);
  // Width, height, bit depth 8, colour type 6 (RGBA), deflate, adaptive filters, no interlace.
  const uint8_t ihdr[13] = {static_cast<uint8_t>(w >> 24),
                            static_cast<uint8_t>(w >> 16),
                            static_cast<uint8_t>(w >> 8),
                            static_cast<uint8_t>(w),
                            static_cast<uint8_t>(h >> 24),
                            static_cast<uint8_t>(h >> 16),
                            static_cast<uint8_t>(h >> 8),
                            static_cast<uint8_t>(h),
                            8,
                            6,
                            0,
                            0,
                            0};
  appendChunk(png, "IHDR", ihdr, sizeof ihdr);
  for (size_t at = 0; at < streamSize; at += kIdatBytes)
    appendChunk(png, "IDAT", stream.data() + at, std::min(kIdatBytes, streamSize - at));
  appendChunk(png, "IEND", nullptr, 0);
  return png;
}

#else
// Builds without libpng (the Windows host) read and write PAM only.
constexpr const char* kNoPng = "PNG files need a build with libpng; use a .pam file";
Image readPng(const std::string& path, FILE*, std::string*) {
  fail(path, kNoPng);
}
std::vector<uint8_t> encodePng(const std::string& path, const Image&, int) {
  fail(path, kNoPng);
}
#endif

// ---- PAM ----

Image readPam(const std::string& path, FILE* file) {
  // Header: "P7\n" then KEY VALUE lines up to ENDHDR; '#' starts a comment line.
  char line[256];
  int64_t width = -1, height = -1, depth = -1, maxval = -1;
  std::string tupleType;
  if (!std::fgets(line, sizeof line, file) || std::strncmp(line, "P7", 2) != 0)
    fail(path, "damaged PAM file (no P7 header)");
  bool ended = false;
  for (int lines = 0; lines < 64 && std::fgets(line, sizeof line, file); ++lines) {
    std::istringstream fields(line);
    std::string key;
    fields >> key;
    if (key.empty() || key[0] == '#') continue;
    if (key == "ENDHDR") {
      ended = true;
      break;
    }
    std::string value;
    if (key == "TUPLTYPE") {
      fields >> value;
      tupleType = value;
      continue;
    }
    int64_t number = -1;
    if (!(fields >> number)) fail(path, "damaged PAM file (bad " + key + ")");
    if (key == "WIDTH")
      width = number;
    else if (key == "HEIGHT")
      height = number;
    else if (key == "DEPTH")
      depth = number;
    else if (key == "MAXVAL")
      maxval = number;
    else
      fail(path, "damaged PAM file (unknown header field " + key + ")");
  }
  if (!ended) fail(path, "damaged PAM file (no ENDHDR)");
  if (maxval != 255) fail(path, "unsupported PAM file (only MAXVAL 255 is read)");
  bool rgba = depth == 4 && (tupleType == "RGB_ALPHA" || tupleType.empty());
  bool rgb = depth == 3 && (tupleType == "RGB" || tupleType.empty());
  if (!rgba && !rgb) fail(path, "unsupported PAM file (only RGB_ALPHA and RGB are read)");
  checkSize(path, width, height);
  Image image;
  image.width = static_cast<int32_t>(width);
  image.height = static_cast<int32_t>(height);
  const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
  // A header alone must not make room for gigabytes: a file too short for its pixels fails
  // before anything is allocated (pipes, whose length is unknown, are read as they come).
  struct stat info;
  const long headerEnd = std::ftell(file);
  if (headerEnd >= 0 && fstat(fileno(file), &info) == 0 && S_ISREG(info.st_mode) &&
      static_cast<uint64_t>(info.st_size - headerEnd) < pixels * static_cast<uint64_t>(depth))
    fail(path, "damaged PAM file (truncated pixels)");
  image.rgba.assign(pixels * 4, 255);
  if (rgba) {
    if (std::fread(image.rgba.data(), 1, pixels * 4, file) != pixels * 4)
      fail(path, "damaged PAM file (truncated pixels)");
  } else {
    std::vector<uint8_t> row(static_cast<size_t>(width) * 3);
    for (int64_t y = 0; y < height; ++y) {
      if (std::fread(row.data(), 1, row.size(), file) != row.size())
        fail(path, "damaged PAM file (truncated pixels)");
      uint8_t* dst = image.rgba.data() + static_cast<size_t>(y) * width * 4;
      for (int64_t x = 0; x < width; ++x) {
        dst[x * 4 + 0] = row[x * 3 + 0];
        dst[x * 4 + 1] = row[x * 3 + 1];
        dst[x * 4 + 2] = row[x * 3 + 2];
      }
    }
  }
  return image;
}

std::vector<uint8_t> encodePam(const Image& image) {
  const std::string header = "P7\nWIDTH " + std::to_string(image.width) + "\nHEIGHT " +
                             std::to_string(image.height) +
                             "\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
  std::vector<uint8_t> bytes(header.begin(), header.end());
  bytes.insert(bytes.end(), image.rgba.begin(), image.rgba.end());
  return bytes;
}

std::string lowerExtension(const std::string& path) {
  std::string ext = std::filesystem::path(path).extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ext;
}

constexpr FormatInfo kFormats[] = {
    {ImageFormat::Png, "PNG", nullptr, {".png"}, true, false, true},
    {ImageFormat::Pam, "PAM", nullptr, {".pam"}, true, false, true},
    {ImageFormat::Tiff, "TIFF", "tiff", {".tif", ".tiff"}, true, false, true},
    {ImageFormat::Targa, "TGA", "targa", {".tga"}, true, false, true},
    {ImageFormat::Jpeg, "JPEG", "jpeg", {".jpg", ".jpeg"}, false, false, false},
    {ImageFormat::OpenExr, "OpenEXR", "openexr", {".exr"}, true, true, false},
    {ImageFormat::Dpx, "DPX", "dpx", {".dpx"}, true, false, true},
    {ImageFormat::Bmp, "BMP", "bmp", {".bmp"}, true, false, true},
    {ImageFormat::WebP, "WebP", "webp", {".webp"}, true, true, false},
};

}  // namespace

const FormatInfo& formatInfo(ImageFormat format) {
  for (const FormatInfo& info : kFormats)
    if (info.format == format) return info;
  throw std::logic_error("unknown image format");
}

const FormatInfo* allFormats(size_t& count) {
  count = std::size(kFormats);
  return kFormats;
}

bool formatAvailable(ImageFormat format) {
  if (format == ImageFormat::Pam) return true;
#ifdef SHIMMERLY_HAVE_PNG
  if (format == ImageFormat::Png) return true;
#endif
#ifdef SHIMMERLY_HAVE_OIIO
  const FormatInfo& info = formatInfo(format);
  if (info.oiioName) return oiioHasFormat(info.oiioName);
#endif
  return false;
}

std::string availableFormats() {
  std::string names;
  for (const FormatInfo& info : kFormats)
    if (formatAvailable(info.format)) names += (names.empty() ? "" : ", ") + std::string(info.name);
  return names;
}

Image readImage(const std::string& path, std::string* reduction) {
  if (reduction) reduction->clear();
  File file(std::fopen(path.c_str(), "rb"));
  if (!file) fail(path, std::string("cannot open: ") + std::strerror(errno));
  unsigned char magic[8] = {};
  size_t got = std::fread(magic, 1, sizeof magic, file.get());
  std::rewind(file.get());
  static const unsigned char kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  if (got == 8 && std::memcmp(magic, kPngSignature, 8) == 0)
    return readPng(path, file.get(), reduction);
  if (got >= 2 && magic[0] == 'P' && magic[1] == '7') return readPam(path, file.get());
#ifdef SHIMMERLY_HAVE_OIIO
  file.reset();
  return readWithOiio(path, reduction);
#else
  fail(path, "unsupported image format (this build reads " + availableFormats() + ")");
#endif
}

ImageFormat outputFormatFor(const std::string& path) {
  const std::string ext = lowerExtension(path);
  std::string known;
  for (const FormatInfo& info : kFormats) {
    for (const char* const* e = info.extensions; e < std::end(info.extensions) && *e; ++e) {
      if (ext == *e) {
        if (!formatAvailable(info.format))
          fail(path, std::string("this build cannot write ") + info.name + " files (it writes " +
                         availableFormats() + ")");
        return info.format;
      }
      if (formatAvailable(info.format)) known += (known.empty() ? "" : ", ") + std::string(*e);
    }
  }
  fail(path, "unsupported output format \"" + ext + "\" (use a file name ending in " + known + ")");
}

int parsePngCompression(const std::string& text) {
  if (text.size() != 1 || text[0] < '0' || text[0] > '9')
    throw std::runtime_error(
        "--png-compression: expected a whole number from 0 (fastest, largest) "
        "to 9 (slowest, smallest), got \"" +
        text + "\"");
  return text[0] - '0';
}

std::vector<uint8_t> encodeImage(const std::string& path, const Image& image,
                                 const WriteOptions& options) {
  ImageFormat format = outputFormatFor(path);
  if (image.width <= 0 || image.height <= 0 ||
      image.rgba.size() != static_cast<size_t>(image.width) * image.height * 4)
    fail(path, "nothing to write: the image's pixels do not match its size");
  if (options.pngCompression < 0 || options.pngCompression > 9)
    fail(path, "PNG compression " + std::to_string(options.pngCompression) + " is not 0 to 9");
  if (format == ImageFormat::Png) return encodePng(path, image, options.pngCompression);
  if (format == ImageFormat::Pam) return encodePam(image);
#ifdef SHIMMERLY_HAVE_OIIO
  return encodeWithOiio(path, formatInfo(format), image);
#else
  fail(path, "this build writes PNG and PAM only");
#endif
}

void writeImage(const std::string& path, const Image& image, const WriteOptions& options) {
  writeFileWhole(path, encodeImage(path, image, options));
}

void writeFileWhole(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::filesystem::path target(path);
  std::filesystem::path dir = target.parent_path();
  std::string pattern = ((dir.empty() ? std::filesystem::path(".") : dir) /
                         ("." + target.filename().string() + ".XXXXXX"))
                            .string();
  std::vector<char> temp(pattern.begin(), pattern.end());
  temp.push_back('\0');
#ifdef _WIN32
  // No mkstemp: replace the X's with the process id and a counter and create exclusively.
  int fd = -1;
  for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
    std::string suffix = std::to_string((_getpid() * 131 + attempt) % 1000000);
    suffix.insert(0, 6 - std::min<size_t>(6, suffix.size()), '0');
    std::copy(suffix.end() - 6, suffix.end(), temp.end() - 7);
    fd = _open(temp.data(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (fd < 0 && errno != EEXIST) break;
  }
#else
  int fd = mkstemp(temp.data());
#endif
  if (fd < 0) fail(path, std::string("cannot create a temporary file: ") + std::strerror(errno));
  std::string tempPath(temp.data());
  try {
#ifdef _WIN32
    File file(_fdopen(fd, "wb"));
    if (!file) {
      _close(fd);
#else
    File file(fdopen(fd, "wb"));
    if (!file) {
      ::close(fd);
#endif
      fail(path, std::string("cannot write: ") + std::strerror(errno));
    }
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size())
      fail(path, std::string("cannot write: ") + std::strerror(errno));
#ifdef _WIN32
    if (std::fflush(file.get()) != 0 || _commit(_fileno(file.get())) != 0)
      fail(path, std::string("cannot write: ") + std::strerror(errno));
    FILE* raw = file.release();
    if (std::fclose(raw) != 0) fail(path, std::string("cannot write: ") + std::strerror(errno));
    // Windows' rename refuses an existing target; the filesystem library replaces it.
    std::error_code renamed;
    std::filesystem::rename(tempPath, path, renamed);
    if (renamed) fail(path, "cannot replace the file: " + renamed.message());
#else
    if (std::fflush(file.get()) != 0 || fsync(fileno(file.get())) != 0)
      fail(path, std::string("cannot write: ") + std::strerror(errno));
    FILE* raw = file.release();
    if (std::fclose(raw) != 0) fail(path, std::string("cannot write: ") + std::strerror(errno));
    // mkstemp makes the file private; give it the usual permissions of a new file.
    mode_t mask = ::umask(0);
    ::umask(mask);
    ::chmod(tempPath.c_str(), 0666 & ~mask);
    if (std::rename(tempPath.c_str(), path.c_str()) != 0)
      fail(path, std::string("cannot replace the file: ") + std::strerror(errno));
#endif
  } catch (...) {
    std::remove(tempPath.c_str());
    throw;
  }
}

std::vector<PF_Pixel> toHostPixels(const Image& image) {
  std::vector<PF_Pixel> pixels(static_cast<size_t>(image.width) * image.height);
  const uint8_t* src = image.rgba.data();
  for (size_t i = 0; i < pixels.size(); ++i, src += 4)
    pixels[i] = PF_Pixel{src[3], src[0], src[1], src[2]};
  return pixels;
}

Image fromHostPixels(const PF_Pixel* pixels, int32_t width, int32_t height, int64_t rowPixels) {
  Image image;
  image.width = width;
  image.height = height;
  image.rgba.resize(static_cast<size_t>(width) * height * 4);
  uint8_t* dst = image.rgba.data();
  for (int32_t y = 0; y < height; ++y) {
    const PF_Pixel* row = pixels + y * rowPixels;
    for (int32_t x = 0; x < width; ++x, dst += 4) {
      dst[0] = row[x].red;
      dst[1] = row[x].green;
      dst[2] = row[x].blue;
      dst[3] = row[x].alpha;
    }
  }
  return image;
}

}  // namespace shimmerly::cli
