// Raw RGBA frames on streams: size parsing, byte order, round trips, short final frames and
// reads from a real pipe that delivers bytes in small pieces.
#include "cli/raw_pipe.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <thread>

#include "support/images.h"

namespace shimmerly::cli {
namespace {

using shimmerly::testing::HostFrame;
using shimmerly::testing::noiseFrame;

bool samePixels(const HostFrame& a, const HostFrame& b) {
  for (int32_t r = 0; r < a.height; ++r)
    if (std::memcmp(&a.at(0, r), &b.at(0, r), static_cast<size_t>(a.width) * 4) != 0) return false;
  return true;
}

TEST(RawPipe, ParsesSizes) {
  RawSize size = parseRawSize("1920x1080");
  EXPECT_EQ(size.width, 1920);
  EXPECT_EQ(size.height, 1080);
  EXPECT_EQ(size.frameBytes(), 1920 * 1080 * 4);
  EXPECT_EQ(parseRawSize("65535X65535").frameBytes(), 65535LL * 65535 * 4);
  for (const char* bad :
       {"", "1920", "1920x", "x1080", "0x10", "10x-1", "70000x1", "1.5x2", "2x2x2"})
    EXPECT_THROW(parseRawSize(bad), std::invalid_argument) << bad;
}

TEST(RawPipe, BytesAreRedGreenBlueAlpha) {
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  PF_Pixel pixels[2] = {{4, 1, 2, 3}, {40, 10, 20, 30}};
  RawFrameWriter writer(file, {2, 1});
  writer.write(pixels, 8);
  writer.flush();
  std::rewind(file);
  uint8_t bytes[9] = {};
  EXPECT_EQ(std::fread(bytes, 1, 9, file), 8u);
  EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + 8),
            (std::vector<uint8_t>{1, 2, 3, 4, 10, 20, 30, 40}));
  std::fclose(file);
}

TEST(RawPipe, FramesRoundTripWithRowGaps) {
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  const RawSize size{13, 7};
  std::vector<HostFrame> frames;
  RawFrameWriter writer(file, size);
  for (uint32_t seed = 1; seed <= 3; ++seed) {
    frames.push_back(noiseFrame(size.width, size.height, seed, 0.25, 3));
    writer.write(frames.back().pixels.data(), frames.back().rowbytes());
  }
  writer.flush();
  std::rewind(file);
  RawFrameReader reader(file, size);
  HostFrame back = noiseFrame(size.width, size.height, 99, 0, 5);
  for (const HostFrame& expected : frames) {
    ASSERT_TRUE(reader.read(back.pixels.data(), back.rowbytes()));
    EXPECT_TRUE(samePixels(expected, back));
  }
  EXPECT_FALSE(reader.read(back.pixels.data(), back.rowbytes()));
  EXPECT_EQ(reader.framesRead(), 3);
  std::fclose(file);
}

TEST(RawPipe, ShortFinalFrameIsAnError) {
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  const RawSize size{4, 3};
  std::vector<uint8_t> bytes(static_cast<size_t>(size.frameBytes()) + 10, 7);
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::rewind(file);
  RawFrameReader reader(file, size);
  HostFrame frame = noiseFrame(size.width, size.height, 1);
  ASSERT_TRUE(reader.read(frame.pixels.data(), frame.rowbytes()));
  try {
    reader.read(frame.pixels.data(), frame.rowbytes());
    FAIL() << "a short frame was accepted";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("raw frame 2: 10 of 48 bytes"), std::string::npos)
        << e.what();
  }
  std::fclose(file);
}

TEST(RawPipe, ReadsFramesThatArriveInSmallPieces) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  const RawSize size{33, 5};
  HostFrame a = noiseFrame(size.width, size.height, 5);
  HostFrame b = noiseFrame(size.width, size.height, 6);
  std::vector<uint8_t> bytes(static_cast<size_t>(size.frameBytes()) * 2);
  for (int32_t r = 0; r < size.height; ++r) {
    hostToRgba(&a.at(0, r), &bytes[static_cast<size_t>(r) * size.width * 4], size.width);
    hostToRgba(&b.at(0, r), &bytes[static_cast<size_t>(size.frameBytes()) + r * size.width * 4],
               size.width);
  }
  std::thread feeder([&] {
    for (size_t at = 0; at < bytes.size(); at += 7) {
      size_t n = std::min<size_t>(7, bytes.size() - at);
      if (::write(fds[1], &bytes[at], n) != static_cast<ssize_t>(n)) break;
    }
    ::close(fds[1]);
  });
  std::FILE* in = fdopen(fds[0], "rb");
  RawFrameReader reader(in, size);
  HostFrame back = noiseFrame(size.width, size.height, 7);
  ASSERT_TRUE(reader.read(back.pixels.data(), back.rowbytes()));
  EXPECT_TRUE(samePixels(a, back));
  ASSERT_TRUE(reader.read(back.pixels.data(), back.rowbytes()));
  EXPECT_TRUE(samePixels(b, back));
  EXPECT_FALSE(reader.read(back.pixels.data(), back.rowbytes()));
  feeder.join();
  std::fclose(in);
}

}  // namespace
}  // namespace shimmerly::cli
