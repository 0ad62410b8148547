// The long-run check: renders and preset loads, 1,000 of each by default (the count is the first
// argument), in one process, as a host session would send them. Fails when a memory handle is
// left behind or the heap in use keeps growing after the first tenth of the run. Run it under
// valgrind or LeakSanitizer to see that nothing leaks (scripts/long-run.sh).
#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "cli/plugin_host.h"
#include "host/entry.h"
#include "host/params.h"
#include "host/plugin_state.h"
#include "presets/glow_unit.h"
#include "presets/preset_library.h"
#include "support/images.h"
#include "support/temp_dir.h"

extern "C" size_t __sanitizer_get_current_allocated_bytes() __attribute__((weak));

using namespace shimmerly;

namespace {

// Heap bytes in use: the sanitizer allocator's count under AddressSanitizer (whose quarantine
// keeps freed blocks resident), else the C library's.
int64_t heapInUse() {
  if (__sanitizer_get_current_allocated_bytes != nullptr)
    return static_cast<int64_t>(__sanitizer_get_current_allocated_bytes());
  const struct mallinfo2 info = mallinfo2();
  return static_cast<int64_t>(info.uordblks + info.hblkhd);
}

int run(int count) {
  testing::TempDir home;
  setenv("HOME", home.str().c_str(), 1);
  cli::PluginHost host(pluginMain, "/opt/hosts/Plug-ins/Shimmerly.so");
  host.start();

  GlowUnit saved("GlowUnit");
  saved.targetType = 3;
  saved.targetFeather = 9;
  saved.softness = 0.5;
  if (savePreset("Shimmerly", "Long Run", saved) != 0) return 1;
  host.paramsSetup();  // the popup now lists the preset as choice 5

  const testing::HostFrame input = testing::noiseFrame(64, 48, 7, 0.3, 2);
  int64_t heapAfterWarmUp = 0;
  // The render keeps working memory sized by the largest glow it has met (tables of box
  // reciprocals, among others): the warm-up runs one whole cycle of glow sizes and qualities, so
  // that growth after it can only be a leak.
  const int warmUp = std::min(std::max(count / 10, 60), count > 1 ? count - 1 : 1);
  for (int i = 0; i < count; ++i) {
    if (i == warmUp) heapAfterWarmUp = heapInUse();
    host.param(PARAM_MASK).u.pd.value = i % 4 + 1;
    host.param(PARAM_GLOW_STYLE).u.pd.value = i % 3 + 1;
    host.param(PARAM_BLEND_MODE).u.pd.value = i % 8 + 1;
    host.param(PARAM_SHOW_TARGET).u.bd.value = i % 17 == 0;
    host.param(PARAM_SHOW_EFFECT_ONLY).u.bd.value = i % 5 == 0;
    host.param(PARAM_GLOW_SIZE).u.fs_d.value = i % 60;
    testing::HostFrame in = input;
    testing::HostFrame out = testing::solidFrame(64, 48, PF_Pixel{0, 0, 0, 0}, 1);
    PF_LayerDef inWorld = in.world(), outWorld = out.world();
    cli::FrameSettings frame;
    frame.quality = i % 2 ? PF_Quality_HI : PF_Quality_LO;
    if (host.render(inWorld, outWorld, frame) != PF_Err_NONE) {
      std::fprintf(stderr, "render %d failed\n", i);
      return 1;
    }

    GlowUnit unit("GlowUnit");
    if (loadPreset("Shimmerly", "Long Run", unit) != 0 || unit.targetFeather != 9) {
      std::fprintf(stderr, "preset load %d failed\n", i);
      return 1;
    }
    if (i % 10 == 0) {
      // The popup's way: choosing the preset applies it to the controls.
      host.param(PARAM_PRESETS).u.pd.value = kFirstPresetChoice;
      if (host.userChangedParam(PARAM_PRESETS) != PF_Err_NONE) return 1;
    }
    if (cli::PluginHost::liveHandles() != 0) {
      std::fprintf(stderr, "render %d left %lld memory handles\n", i,
                   static_cast<long long>(cli::PluginHost::liveHandles()));
      return 1;
    }
  }
  const int64_t heapAtEnd = heapInUse();
  host.finish();

  const int64_t growth = heapAtEnd - heapAfterWarmUp;
  std::printf("%d renders, %d preset loads: heap %lld KiB in use after %d, %lld KiB at the end\n",
              count, count, static_cast<long long>(heapAfterWarmUp / 1024), warmUp,
              static_cast<long long>(heapAtEnd / 1024));
  // A leak of about 500 bytes per round after the warm-up shows above this.
  if (growth > 64 * 1024) {
    std::fprintf(stderr, "heap in use grew by %lld KiB\n", static_cast<long long>(growth / 1024));
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 1000;
  try {
    return run(count > 0 ? count : 1000);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "long run failed: %s\n", e.what());
    return 1;
  }
}
