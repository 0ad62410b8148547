// shimmerly::render and shimmerly::Engine: the public library's frames through the engine. The
// arguments are checked before anything is written; the input is converted into the engine's
// pixel order, rendered, and the result converted into the caller's output.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>

#include "api/rgba_frames.h"
#include "core/frame_memory.h"
#include "engine/frame_render.h"
#include "engine/render_engine.h"
#include "shimmerly/shimmerly.h"

namespace shimmerly {

// The engine's threads and memory behind one Engine, one render at a time.
struct Engine::State {
  std::mutex mutex;
  RenderEngine engine;
  int threads = -1;  // the thread count the pool was made for; -1 before the first render
  // The input in the engine's pixel order, and the output when it cannot be written in place.
  std::unique_ptr<uint8_t[]> input, output;
  size_t inputBytes = 0, outputBytes = 0;
};

namespace {

constexpr int64_t kMaxSide = INT32_MAX;
constexpr int64_t kMaxPixels = int64_t{1} << 31;
constexpr int kMaxThreads = 1024;

[[noreturn]] void fail(const std::string& message) {
  throw Error("shimmerly: " + message);
}

std::string number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

void checkRange(const char* name, double value, double low, double high) {
  if (!(value >= low && value <= high))  // NaN fails too
    fail(std::string("Controls.") + name + " is " + number(value) + ", outside " + number(low) +
         " to " + number(high));
}

void checkChoice(const char* name, int value, int count) {
  if (value < 1 || value > count)
    fail(std::string("Controls.") + name + " is " + std::to_string(value) + ", outside 1 to " +
         std::to_string(count));
}

void checkControls(const Controls& c) {
  checkChoice("mask", c.mask, 8);
  checkRange("brightCutoff", c.brightCutoff, 0, 100);
  checkRange("darkCutoff", c.darkCutoff, 0, 100);
  checkChoice("glowStyle", c.glowStyle, 3);
  checkRange("glowSize", c.glowSize, 0, 1000);
  checkRange("softness", c.softness, 0, 100);
  checkChoice("colorFrom", c.colorFrom, 2);
  checkRange("transBoost", c.transBoost, -100, 100);
  checkChoice("blend", c.blend, 8);
}

void checkOptions(const RenderOptions& o) {
  if (o.threads < 0 || o.threads > kMaxThreads)
    fail("RenderOptions.threads is " + std::to_string(o.threads) + ", outside 0 to " +
         std::to_string(kMaxThreads));
  if (!(std::isfinite(o.downsample) && o.downsample > 0))
    fail("RenderOptions.downsample is " + number(o.downsample) + ", not a positive number");
  if (!(std::isfinite(o.pixelAspect) && o.pixelAspect > 0))
    fail("RenderOptions.pixelAspect is " + number(o.pixelAspect) + ", not a positive number");
}

void checkImage(const char* which, const uint8_t* pixels, int64_t width, int64_t height,
                int64_t rowBytes) {
  const std::string name = which;
  if (width < 0 || height < 0)
    fail(name + " image has a negative size " + std::to_string(width) + "x" +
         std::to_string(height));
  if (width > kMaxSide || height > kMaxSide || (width > 0 && height > kMaxPixels / width))
    fail(name + " image " + std::to_string(width) + "x" + std::to_string(height) +
         " is over the engine's limits (sides up to 2147483647, 2^31 pixels in all)");
  if (width == 0 || height == 0) return;
  if (pixels == nullptr) fail(name + " image has null pixels");
  if (rowBytes < width * 4)
    fail(name + " image's rowBytes " + std::to_string(rowBytes) +
         " is below width * 4 = " + std::to_string(width * 4));
  if (rowBytes > INT64_MAX / height) fail(name + " image's rows do not fit in memory");
}

uint8_t* scratch(std::unique_ptr<uint8_t[]>& block, size_t& held, size_t bytes) {
  if (held < bytes) {
    block.reset();
    held = 0;
    block = std::make_unique_for_overwrite<uint8_t[]>(bytes);
    held = bytes;
  }
  return block.get();
}

void renderOn(Engine::State& state, ConstImageView in, ImageView out, const Controls& controls,
              const RenderOptions& options) {
  checkImage("input", in.pixels, in.width, in.height, in.rowBytes);
  checkImage("output", out.pixels, out.width, out.height, out.rowBytes);
  if (out.width != in.width || out.height != in.height)
    fail("output image is " + std::to_string(out.width) + "x" + std::to_string(out.height) +
         ", the input " + std::to_string(in.width) + "x" + std::to_string(in.height));
  checkControls(controls);
  checkOptions(options);
  if (in.width == 0 || in.height == 0) return;

  const std::lock_guard<std::mutex> lock(state.mutex);
  RenderEngine& engine = state.engine;
  if (state.threads != options.threads) {
    engine.setThreadCount(options.threads);
    state.threads = options.threads;
  }
  const auto width = static_cast<int32_t>(in.width);
  const auto height = static_cast<int32_t>(in.height);
  const size_t frameBytes = static_cast<size_t>(in.width) * static_cast<size_t>(in.height) * 4;
  try {
    RenderPool* pool = engine.pool();
    uint8_t* input = scratch(state.input, state.inputBytes, frameBytes);
    // The output is rendered where it goes when its rows hold whole, aligned pixels: it is only
    // written once every allocation of the frame has succeeded.
    const bool inPlace =
        out.rowBytes % 4 == 0 && reinterpret_cast<uintptr_t>(out.pixels) % alignof(uint32_t) == 0;
    uint8_t* output = inPlace ? out.pixels : scratch(state.output, state.outputBytes, frameBytes);
    const int64_t outputStride = inPlace ? out.rowBytes : in.width * 4;
    argbOfRgba(in.pixels, in.rowBytes, input, in.width * 4, width, height, pool);

    FrameRequest request;
    request.frame = FrameView{reinterpret_cast<const PF_Pixel*>(input),
                              in.width,
                              reinterpret_cast<PF_Pixel*>(output),
                              outputStride / 4,
                              width,
                              height};
    request.controls = controls;
    request.lowQuality = options.lowQuality;
    request.downsample = options.downsample;
    request.pixelAspect = options.pixelAspect;
    request.extent = options.extent ? PixelBox{(*options.extent)[0], (*options.extent)[2],
                                               (*options.extent)[1], (*options.extent)[3]}
                                    : PixelBox{0, in.width - 1, 0, in.height - 1};
    renderFrame(engine, request);
    rgbaOfArgb(output, outputStride, out.pixels, out.rowBytes, width, height, pool);
  } catch (const std::bad_alloc&) {
    fail("out of memory rendering a " + std::to_string(in.width) + "x" + std::to_string(in.height) +
         " image");
  } catch (const Error&) {
    throw;
  } catch (const std::exception& e) {
    fail(std::string("render failed: ") + e.what());
  }
}

Engine& defaultEngine() {
  static Engine engine;
  return engine;
}

}  // namespace

const char* version() {
  return SHIMMERLY_VERSION;
}

Engine::Engine() : state_(std::make_unique<State>()) {}
Engine::~Engine() = default;

void Engine::render(ConstImageView in, ImageView out, const Controls& controls,
                    const RenderOptions& options) {
  renderOn(*state_, in, out, controls, options);
}

void render(ConstImageView in, ImageView out, const Controls& controls,
            const RenderOptions& options) {
  defaultEngine().render(in, out, controls, options);
}

}  // namespace shimmerly
