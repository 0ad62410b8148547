// Shimmerly's public C++ API: put a glow on an 8-bit straight RGBA image.
//
//   shimmerly::Controls controls;            // the plug-in's defaults
//   controls.glowSize = 40;
//   controls.blend = 2;                      // Screen
//   shimmerly::render(in, out, controls);    // the same bytes as `shimmerly render`
//
// Images are 8-bit straight (not premultiplied) RGBA in the byte order R, G, B, A, top row first,
// rows `rowBytes` apart (at least width * 4). Failures throw shimmerly::Error with a one-line
// message; nothing is written to the output then. Link with pkg-config's `shimmerly` or CMake's
// `find_package(Shimmerly)` and the target `Shimmerly::shimmerly`.
#ifndef SHIMMERLY_SHIMMERLY_H
#define SHIMMERLY_SHIMMERLY_H

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#if defined(_WIN32) || !defined(SHIMMERLY_SHARED)
#define SHIMMERLY_API
#else
#define SHIMMERLY_API __attribute__((visibility("default")))
#endif

namespace shimmerly {

// The version of the library, "MAJOR.MINOR.PATCH".
SHIMMERLY_API const char* version();

// The twelve controls of the glow, in the units a user sees (the command line's and the presets'
// units), with the plug-in's defaults. Menus count from 1 as the plug-in's popups do.
struct Controls {
  int mask = 2;  // 1 None, 2 Alpha, 3 Brightness, 4 Brightness Alpha, 5-8 as the plug-in
  double brightCutoff = 100;           // percent, 0..100
  double darkCutoff = 25;              // percent, 0..100
  bool showTarget = false;             // show the target as a green preview instead of the glow
  int glowStyle = 3;                   // 1 In Front, 2 In-Glow, 3 Out-Glow
  double glowSize = 22;                // pixels, 0..1000
  double softness = 80;                // percent, 0..100
  int colorFrom = 1;                   // 1 Custom, 2 This Layer
  uint8_t color[3] = {255, 255, 255};  // the custom colour, red, green, blue
  double transBoost = 0;               // percent, -100..100
  int blend = 1;            // 1 Normal, 2 Screen, 3 Multiply, 4 Overlay, 5 Add, 6-8 Magic Glue 1-3
  bool effectOnly = false;  // the glow alone instead of the glow on the image
};

// The four menus, read from words: the command line's, the Python package's and the host
// adapters' spelling of Mask, Glow Style, Glow Color From and Blend Mode.
enum class Menu { Mask, GlowStyle, ColorFrom, Blend };

// The named entries of a menu, in the order of their numbers from 1 ("none", "alpha", ...).
SHIMMERLY_API std::vector<std::string> menuWords(Menu menu);
// How many entries a menu has: Mask 8 (5-8, the shape targets, have numbers only), Glow Style 3,
// Glow Color From 2, Blend 8.
SHIMMERLY_API int menuCount(Menu menu);
// The number of the entry `text` names: one of menuWords(menu), or a number from 1 to the
// menu's count in decimal digits.
// Throws Error for anything else, naming the control and what it takes.
SHIMMERLY_API int menuEntry(Menu menu, const std::string& text);

// `base` with every control that `changes` holds at other than its default taken from
// `changes`: how a host that sets all of an instance's controls at once puts the ones the user
// changed on top of a preset. A control set back to its default keeps the preset's value.
SHIMMERLY_API Controls overlaidControls(const Controls& base, const Controls& changes);

// How a frame is rendered, besides the controls: what a compositing host tells the plug-in.
struct RenderOptions {
  bool lowQuality = false;   // one box pass instead of three
  int threads = 0;           // 0: one per processor (at most 16); 1: the calling thread only
  double downsample = 1.0;   // the host's horizontal downsampling; scales the glow size
  double pixelAspect = 1.0;  // width / height of a pixel
  // The part of the image the preview of Show Target covers, left, top, right, bottom in pixels
  // from the top left, inclusive (clamped into the image); the whole image when not given.
  std::optional<std::array<int64_t, 4>> extent;
};

// 8-bit straight RGBA pixels, rows rowBytes apart.
struct ImageView {
  uint8_t* pixels = nullptr;
  int64_t width = 0, height = 0, rowBytes = 0;
};
struct ConstImageView {
  const uint8_t* pixels = nullptr;
  int64_t width = 0, height = 0, rowBytes = 0;
  ConstImageView() = default;
  ConstImageView(const uint8_t* p, int64_t w, int64_t h, int64_t r)
      : pixels(p), width(w), height(h), rowBytes(r) {}
  ConstImageView(const ImageView& v)  // NOLINT: an image that may be written may be read
      : pixels(v.pixels), width(v.width), height(v.height), rowBytes(v.rowBytes) {}
};

// Every failure of the library: bad arguments, sizes over the engine's limits, an unknown or
// damaged preset, exhausted memory. what() is one line that says what is wrong.
class SHIMMERLY_API Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Renders `in` into `out` (the same width and height; it may be the same memory as `in`). The
// output bytes are exactly those `shimmerly render` writes for the same image and options.
// Throws Error for null pixels, a row stride below width * 4, an output of another size, sizes
// over the engine's limits (width and height at most 2^31 - 1, the frame at most 2^31 pixels)
// or a control out of its range; `out` is untouched then.
SHIMMERLY_API void render(ConstImageView in, ImageView out, const Controls& controls,
                          const RenderOptions& options = {});

// Keeps threads and working memory from one render to the next. Calls from several threads at
// once are safe: they take turns on one engine, or run side by side on engines of their own.
class SHIMMERLY_API Engine {
 public:
  Engine();
  ~Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  // As the free render(), on this engine's threads and memory.
  void render(ConstImageView in, ImageView out, const Controls& controls,
              const RenderOptions& options = {});

  struct State;

 private:
  std::unique_ptr<State> state_;
};

// The names of the user's presets, as the plug-in's "Effect Presets" popup lists them. The
// first call seeds the user's preset folder with the factory presets, as the plug-in does.
SHIMMERLY_API std::vector<std::string> presetNames();
// The controls of a preset: a name from presetNames(), or the path of a preset file (".smr").
// Throws Error for an unknown name or a file that cannot be read as a preset.
SHIMMERLY_API Controls presetControls(const std::string& nameOrPath);

}  // namespace shimmerly

#endif
