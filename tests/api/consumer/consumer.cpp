// A program built only against the installed Shimmerly package: it renders PAM images through
// the public API, so that a test can compare its bytes with `shimmerly render`.
//   consumer cases                 one line per case: the case number and its CLI options
//   consumer make OUT.pam W H      a test frame of discs, a gradient and a partly clear
//                                  background
//   consumer render N IN.pam OUT.pam
//                                  case N through shimmerly::render, checked to give the same
//                                  bytes with padded, odd and in-place rows
#include <shimmerly/shimmerly.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Case {
  const char* options;  // the same case as `shimmerly render` options
  void (*set)(shimmerly::Controls&, shimmerly::RenderOptions&);
  const char* preset = nullptr;
};

const Case kCases[] = {
    {"", [](shimmerly::Controls&, shimmerly::RenderOptions&) {}},
    {"--glow-size 40 --blend screen",
     [](shimmerly::Controls& c, shimmerly::RenderOptions&) {
       c.glowSize = 40;
       c.blend = 2;
     }},
    {"--mask brightness --glow-style front --color-from layer --blend screen --dark-cutoff 40",
     [](shimmerly::Controls& c, shimmerly::RenderOptions&) {
       c.mask = 3;
       c.glowStyle = 1;
       c.colorFrom = 2;
       c.blend = 2;
       c.darkCutoff = 40;
     }},
    {"--quality low --glow-size 12.5 --glow-style in --softness 35 --trans-boost 60",
     [](shimmerly::Controls& c, shimmerly::RenderOptions& o) {
       o.lowQuality = true;
       c.glowSize = 12.5;
       c.glowStyle = 2;
       c.softness = 35;
       c.transBoost = 60;
     }},
    {"--effect-only --color FF8020 --blend magic-glue-2 --trans-boost -40 --downsample 1/2",
     [](shimmerly::Controls& c, shimmerly::RenderOptions& o) {
       c.effectOnly = true;
       c.color[0] = 0xFF;
       c.color[1] = 0x80;
       c.color[2] = 0x20;
       c.blend = 7;
       c.transBoost = -40;
       o.downsample = 0.5;
     }},
    {"--show-target --mask brightness-alpha --extent 3,5,40,30 --pixel-aspect 2/1",
     [](shimmerly::Controls& c, shimmerly::RenderOptions& o) {
       c.showTarget = true;
       c.mask = 4;
       o.extent = std::array<int64_t, 4>{3, 5, 40, 30};
       o.pixelAspect = 2.0;
     }},
    {"--preset Moonlight --glow-size 10",
     [](shimmerly::Controls& c, shimmerly::RenderOptions&) { c.glowSize = 10; }, "Moonlight"},
};
constexpr int kCaseCount = sizeof kCases / sizeof kCases[0];

[[noreturn]] void fail(const std::string& message) {
  std::fprintf(stderr, "consumer: %s\n", message.c_str());
  std::exit(1);
}

const char* kHeader = "P7\nWIDTH %d\nHEIGHT %d\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";

void writePam(const std::string& path, const std::vector<uint8_t>& pixels, int w, int h) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) fail("cannot write " + path);
  std::fprintf(file, kHeader, w, h);
  std::fwrite(pixels.data(), 1, pixels.size(), file);
  std::fclose(file);
}

std::vector<uint8_t> readPam(const std::string& path, int& w, int& h) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) fail("cannot read " + path);
  if (std::fscanf(file, "P7\nWIDTH %d\nHEIGHT %d\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR",
                  &w, &h) != 2 ||
      std::fgetc(file) != '\n')
    fail(path + " is not an RGB_ALPHA PAM file as this program writes them");
  std::vector<uint8_t> pixels(static_cast<size_t>(w) * h * 4);
  if (std::fread(pixels.data(), 1, pixels.size(), file) != pixels.size()) fail(path + " is short");
  std::fclose(file);
  return pixels;
}

std::vector<uint8_t> testFrame(int w, int h) {
  std::vector<uint8_t> p(static_cast<size_t>(w) * h * 4);
  uint32_t seed = 12345;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* q = &p[(static_cast<size_t>(y) * w + x) * 4];
      seed = seed * 1664525u + 1013904223u;
      const int dx = x % 24 - 12, dy = y % 20 - 10;
      const bool disc = dx * dx + dy * dy < 50;
      q[0] = static_cast<uint8_t>(disc ? 250 : x * 255 / w);
      q[1] = static_cast<uint8_t>(disc ? 220 - x % 60 : y * 255 / h);
      q[2] = static_cast<uint8_t>(disc ? 90 : seed >> 24);
      q[3] = static_cast<uint8_t>(disc ? 255 : (x + y) % 3 == 0 ? 0 : (seed >> 16) & 0x7F);
    }
  return p;
}

// Renders with rows `rowBytes` apart (the input copied there) and gives the result back packed.
std::vector<uint8_t> renderWithRows(const std::vector<uint8_t>& packed, int w, int h,
                                    int64_t rowBytes, bool inPlace, const shimmerly::Controls& c,
                                    const shimmerly::RenderOptions& o) {
  std::vector<uint8_t> in(static_cast<size_t>(rowBytes) * h + 1, 0x5A);
  std::vector<uint8_t> out(in.size(), 0xA5);
  for (int y = 0; y < h; ++y)
    std::memcpy(&in[static_cast<size_t>(y) * rowBytes], &packed[static_cast<size_t>(y) * w * 4],
                static_cast<size_t>(w) * 4);
  // An odd offset from the allocation makes rows that hold no aligned pixels.
  uint8_t* target = inPlace ? in.data() : out.data() + (rowBytes % 4 != 0 ? 1 : 0);
  shimmerly::render(shimmerly::ConstImageView(in.data(), w, h, rowBytes),
                    shimmerly::ImageView{target, w, h, rowBytes}, c, o);
  std::vector<uint8_t> result(packed.size());
  for (int y = 0; y < h; ++y)
    std::memcpy(&result[static_cast<size_t>(y) * w * 4], target + static_cast<size_t>(y) * rowBytes,
                static_cast<size_t>(w) * 4);
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  try {
    if (command == "cases" && argc == 2) {
      for (int i = 0; i < kCaseCount; ++i) std::printf("%d %s\n", i, kCases[i].options);
      return 0;
    }
    if (command == "make" && argc == 5) {
      const int w = std::atoi(argv[3]), h = std::atoi(argv[4]);
      writePam(argv[2], testFrame(w, h), w, h);
      return 0;
    }
    if (command == "render" && argc == 5) {
      const int n = std::atoi(argv[2]);
      if (n < 0 || n >= kCaseCount) fail("no case " + std::string(argv[2]));
      int w = 0, h = 0;
      const std::vector<uint8_t> in = readPam(argv[3], w, h);
      shimmerly::Controls controls =
          kCases[n].preset ? shimmerly::presetControls(kCases[n].preset) : shimmerly::Controls{};
      shimmerly::RenderOptions options;
      kCases[n].set(controls, options);
      const std::vector<uint8_t> out =
          renderWithRows(in, w, h, int64_t{w} * 4, false, controls, options);
      const int64_t padded = int64_t{w} * 4 + 12, odd = int64_t{w} * 4 + 3;
      if (renderWithRows(in, w, h, padded, false, controls, options) != out)
        fail("rows with padding render differently");
      if (renderWithRows(in, w, h, odd, false, controls, options) != out)
        fail("rows of an odd length render differently");
      if (renderWithRows(in, w, h, padded, true, controls, options) != out)
        fail("rendering in place gives other bytes");
      writePam(argv[4], out, w, h);
      return 0;
    }
  } catch (const shimmerly::Error& e) {
    fail(e.what());
  }
  fail("usage: consumer cases | make OUT.pam W H | render N IN.pam OUT.pam");
}
