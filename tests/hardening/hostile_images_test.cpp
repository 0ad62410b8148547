// Image files whose headers promise more than they hold: the readers of the `shimmerly` host
// must refuse them before making room for the promised pixels. Every operator new of this
// program is counted, so that the largest single request shows.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <stdexcept>
#include <string>

#include "../presets/preset_test_support.h"
#include "cli/image_io.h"
#include "support/temp_dir.h"

namespace {
std::atomic<size_t> largestRequest{0};
}  // namespace

// The replacements below pair malloc with free; GCC cannot see that through inlined library
// code and takes the pair for new with free.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

void* operator new(size_t n) {
  size_t seen = largestRequest.load();
  while (n > seen && !largestRequest.compare_exchange_weak(seen, n)) {
  }
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, size_t) noexcept {
  std::free(p);
}

namespace shimmerly {
namespace {

uint32_t crc(const std::string& bytes) {
  uint32_t c = 0xFFFFFFFFu;
  for (unsigned char b : bytes) {
    c ^= b;
    for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
  }
  return c ^ 0xFFFFFFFFu;
}

std::string bigEndian(uint32_t v) {
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
          static_cast<char>(v)};
}

std::string chunk(const std::string& kind, const std::string& body) {
  return bigEndian(static_cast<uint32_t>(body.size())) + kind + body + bigEndian(crc(kind + body));
}

// A PNG that declares width × height RGBA pixels and holds one small stored deflate block.
std::string promisingPng(uint32_t width, uint32_t height) {
  const std::string header =
      bigEndian(width) + bigEndian(height) + std::string("\x08\x06\0\0\0", 5);
  const std::string idat("\x78\x01\x01\x05\x00\xfa\xff\x00\x01\x02\x03\x04\x00\x19\x00\x0b", 16);
  return std::string("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header) + chunk("IDAT", idat) +
         chunk("IEND", "");
}

std::string promisingPam(int64_t width, int64_t height, int depth) {
  return "P7\nWIDTH " + std::to_string(width) + "\nHEIGHT " + std::to_string(height) + "\nDEPTH " +
         std::to_string(depth) + "\nMAXVAL 255\nENDHDR\n" + std::string(64, 'p');
}

struct Promise {
  const char* name;
  std::string bytes;
};

std::ostream& operator<<(std::ostream& os, const Promise& p) {
  return os << p.name;
}

class PromisingImageTest : public ::testing::TestWithParam<Promise> {};

TEST_P(PromisingImageTest, IsRefusedBeforeItsPixelsAreAllocated) {
  testing::TempDir dir;
  const std::string path = dir.str() + "/image";
  testing::writeBytes(path, GetParam().bytes);
  largestRequest = 0;
  EXPECT_THROW(cli::readImage(path), std::runtime_error);
  EXPECT_LT(largestRequest.load(), size_t{1} << 24) << "bytes asked for at once";
}

INSTANTIATE_TEST_SUITE_P(
    Headers, PromisingImageTest,
    ::testing::Values(Promise{"Png16384x32768", promisingPng(16384, 32768)},
                      Promise{"Png23170Square", promisingPng(23170, 23170)},
                      Promise{"Png1x536870912", promisingPng(1, 536870912)},
                      Promise{"PamRgba16384x32768", promisingPam(16384, 32768, 4)},
                      Promise{"PamRgb23170Square", promisingPam(23170, 23170, 3)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PromisingImage, FilesThatHoldTheirPixelsStillRead) {
  testing::TempDir dir;
  const std::string path = dir.str() + "/image";
  testing::writeBytes(path, promisingPam(4, 4, 4));
  const cli::Image pam = cli::readImage(path);
  EXPECT_EQ(pam.width, 4);
  EXPECT_EQ(pam.rgba[0], 'p');
  testing::writeBytes(path, promisingPng(1, 1));
  const cli::Image png = cli::readImage(path);
  EXPECT_EQ(png.width, 1);
  EXPECT_EQ(png.rgba[0], 1);
  EXPECT_EQ(png.rgba[3], 4);
}

}  // namespace
}  // namespace shimmerly
