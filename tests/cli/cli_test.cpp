// The plug-in module loaded exactly as `shimmerly` loads it, and the `shimmerly` executable end
// to end: render, option checks, damaged input, params, --version.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <ostream>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "cli/image_io.h"
#include "cli/plugin_host.h"
#include "core/isa_dispatch.h"
#include "core/render_threads.h"
#include "host/entry.h"
#include "host/params.h"
#include "host/plugin_state.h"
#include "support/images.h"
#include "support/temp_dir.h"

namespace shimmerly::cli {
namespace {

namespace fs = std::filesystem;
using shimmerly::testing::TempDir;

struct CommandResult {
  int status;
  std::string output;  // standard output and standard error together
};

CommandResult runShell(const std::string& command) {
  CommandResult result{-1, {}};
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return result;
  std::array<char, 4096> buffer;
  size_t got;
  while ((got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
    result.output.append(buffer.data(), got);
  int status = pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

// Runs `shimmerly` with HOME in a temporary folder, so that no real preset folder is touched.
class ShimmerlyTest : public ::testing::Test {
 protected:
  // environment: assignments put before the command ("NAME=value ...").
  CommandResult shimmerly(const std::string& arguments, const std::string& environment = "") {
    return runShell(environment + " HOME='" + home_.str() + "' '" SHIMMERLY_CLI_PATH "' " +
                    arguments);
  }
  std::string file(const char* name) const { return (work_.path() / name).string(); }

  TempDir home_;
  TempDir work_;
};

Image sampleImage() {
  Image image;
  image.width = 21;
  image.height = 15;
  for (int32_t y = 0; y < image.height; ++y)
    for (int32_t x = 0; x < image.width; ++x) {
      const bool disc = (x - 10) * (x - 10) + (y - 7) * (y - 7) < 20;
      image.rgba.insert(image.rgba.end(),
                        {static_cast<uint8_t>(x * 12), 180, static_cast<uint8_t>(y * 16),
                         static_cast<uint8_t>(disc ? 255 : 0)});
    }
  return image;
}

// Renders image in this process through pluginMain with the given control values.
Image renderInProcess(const Image& image, double glowSize, int32_t blend) {
  TempDir home;
  const char* oldHome = std::getenv("HOME");
  std::string saved = oldHome ? oldHome : "";
  setenv("HOME", home.str().c_str(), 1);
  Image result;
  {
    PluginHost host(pluginMain, SHIMMERLY_PLUGIN_PATH);
    host.start();
    host.param(PARAM_GLOW_SIZE).u.fs_d.value = glowSize;
    host.param(PARAM_BLEND_MODE).u.pd.value = blend;
    std::vector<PF_Pixel> in = toHostPixels(image), out(in.size());
    PF_LayerDef input{};
    input.width = image.width;
    input.height = image.height;
    input.rowbytes = image.width * 4;
    input.data = in.data();
    PF_LayerDef output = input;
    output.data = out.data();
    EXPECT_EQ(host.render(input, output), PF_Err_NONE);
    host.finish();
    result = fromHostPixels(out.data(), image.width, image.height, image.width);
  }
  pluginState().currentInData = nullptr;
  if (oldHome) setenv("HOME", saved.c_str(), 1);
  return result;
}

TEST(PluginModuleTest, ExportsOnlyMain) {
  CommandResult nm = runShell("nm -D --defined-only '" SHIMMERLY_PLUGIN_PATH "'");
  ASSERT_EQ(nm.status, 0) << nm.output;
  std::vector<std::string> symbols;
  std::istringstream lines(nm.output);
  for (std::string line; std::getline(lines, line);)
    if (!line.empty()) symbols.push_back(line.substr(line.rfind(' ') + 1));
  EXPECT_EQ(symbols, std::vector<std::string>{"main"}) << nm.output;
}

TEST(PluginModuleTest, LoadedPluginRendersLikeTheInProcessOne) {
  TempDir home;
  const std::string savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
  setenv("HOME", home.str().c_str(), 1);
  std::unique_ptr<PluginHost> host = PluginHost::open(SHIMMERLY_PLUGIN_PATH);
  host->start();
  ASSERT_EQ(host->paramCount(), 16u);
  EXPECT_STREQ(host->param(PARAM_GLOW_SIZE).name, "Glow Size");
  host->param(PARAM_GLOW_SIZE).u.fs_d.value = 6;
  host->param(PARAM_BLEND_MODE).u.pd.value = 2;
  const Image image = sampleImage();
  std::vector<PF_Pixel> in = toHostPixels(image), out(in.size());
  PF_LayerDef input{};
  input.width = image.width;
  input.height = image.height;
  input.rowbytes = image.width * 4;
  input.data = in.data();
  PF_LayerDef output = input;
  output.data = out.data();
  ASSERT_EQ(host->render(input, output), PF_Err_NONE);
  const std::string about = host->about();
  EXPECT_EQ(about.rfind("Shimmerly for AE, v", 0), 0u) << about;

  // Ctrl-C: the default abort answers with the cancel code and the render stops.
  requestCancel();
  std::vector<PF_Pixel> cancelled(in.size());
  output.data = cancelled.data();
  EXPECT_EQ(host->render(input, output), PF_Interrupt_CANCEL);
  clearCancel();
  host->finish();
  host.reset();

  setenv("HOME", savedHome.c_str(), 1);
  const Image expected = renderInProcess(image, 6, 2);
  EXPECT_EQ(fromHostPixels(out.data(), image.width, image.height, image.width).rgba, expected.rgba);
}

// A plug-in that fails every command and asks for its message to be shown.
PF_Err PF_CALL failingEntry(PF_Cmd, PF_InData*, PF_OutData* out, PF_ParamDef*[], PF_LayerDef*,
                            void*) {
  std::strcpy(out->return_msg, "Unable to complete the operation. (*4)");
  out->out_flags |= PF_OutFlag_DISPLAY_ERROR_MESSAGE;
  return PF_Err_OUT_OF_MEMORY;
}

// A plug-in that fails without a message.
PF_Err PF_CALL silentFailingEntry(PF_Cmd, PF_InData*, PF_OutData*, PF_ParamDef*[], PF_LayerDef*,
                                  void*) {
  return PF_Err_INTERNAL_STRUCT_DAMAGED;
}

TEST(PluginHostTest, PluginErrorsCarryTheirMessageAndCode) {
  PluginHost host(failingEntry, "Shimmerly.so");
  try {
    host.globalSetup();
    FAIL() << "a failing command was taken as success";
  } catch (const PluginError& e) {
    EXPECT_STREQ(e.what(), "Unable to complete the operation. (*4)");
    EXPECT_EQ(e.code(), PF_Err_OUT_OF_MEMORY);
  }
  PluginHost silent(silentFailingEntry, "Shimmerly.so");
  try {
    silent.paramsSetup();
    FAIL() << "a failing command was taken as success";
  } catch (const PluginError& e) {
    EXPECT_EQ(e.code(), PF_Err_INTERNAL_STRUCT_DAMAGED);
    EXPECT_NE(std::string(e.what()).find("512"), std::string::npos) << e.what();
  }
}

TEST_F(ShimmerlyTest, RendersAPictureWithTheBriefsCommand) {
  writeImage(file("in.png"), sampleImage());
  CommandResult run = shimmerly("render '" + file("in.png") + "' -o '" + file("out.png") +
                                "' --glow-size 40 --blend screen");
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(readImage(file("out.png")).rgba, renderInProcess(sampleImage(), 40, 2).rgba);
  // Only the output was added: no temporary file is left beside it.
  EXPECT_EQ(std::distance(fs::directory_iterator(work_.path()), fs::directory_iterator()), 2);
}

TEST_F(ShimmerlyTest, WritesPamAndTakesEveryControlOption) {
  writeImage(file("in.pam"), sampleImage());
  CommandResult run = shimmerly(
      "render '" + file("in.pam") + "' -o '" + file("out.pam") +
      "' --mask brightness --bright-cutoff 90 --dark-cutoff 10 --glow-style in --glow-size 3.5"
      " --softness 40 --color-from custom --color ff8000 --trans-boost -20 --blend 7"
      " --effect-only --quality low --downsample 1/2 --pixel-aspect 2/1 --extent -5,0,99,7"
      " --host-version 12.10");
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(readImage(file("out.pam")).width, 21);
}

struct BadOption {
  const char* arguments;
  const char* mentions;
};

void PrintTo(const BadOption& c, std::ostream* os) {
  *os << c.arguments;
}

class BadOptionTest : public ShimmerlyTest, public ::testing::WithParamInterface<BadOption> {};

TEST_P(BadOptionTest, FailsNamingTheOptionAndWritesNothing) {
  writeImage(file("in.png"), sampleImage());
  CommandResult run = shimmerly("render '" + file("in.png") + "' -o '" + file("out.png") + "' " +
                                GetParam().arguments);
  EXPECT_NE(run.status, 0);
  EXPECT_NE(run.output.find(GetParam().mentions), std::string::npos) << run.output;
  EXPECT_FALSE(fs::exists(file("out.png")));
}

INSTANTIATE_TEST_SUITE_P(
    Options, BadOptionTest,
    ::testing::Values(
        BadOption{"--softness 150", "--softness: 150 is outside the valid range 0 to 100"},
        BadOption{"--glow-size -1", "--glow-size: -1 is outside the valid range 0 to 1000"},
        BadOption{"--trans-boost 101", "valid range -100 to 100"},
        BadOption{
            "--mask 9",
            "--mask: expected none, alpha, brightness, brightness-alpha, or a number from 1 to 8"},
        BadOption{"--blend lighten", "--blend"}, BadOption{"--glow-style 0", "--glow-style"},
        BadOption{"--color 12345", "--color"}, BadOption{"--downsample 1/0", "--downsample"},
        BadOption{"--extent 1,2,3", "--extent"}, BadOption{"--quality best", "--quality"},
        BadOption{"--host-version 13", "--host-version"},
        BadOption{"--plugin /nonexistent/Shimmerly.so", "cannot load the plug-in"}));

TEST_F(ShimmerlyTest, DamagedInputIsOneLineAndNonZero) {
  std::ofstream(file("in.png")) << "not a picture";
  CommandResult run = shimmerly("render '" + file("in.png") + "' -o '" + file("out.png") + "'");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(std::count(run.output.begin(), run.output.end(), '\n'), 1) << run.output;
  EXPECT_FALSE(fs::exists(file("out.png")));
}

TEST_F(ShimmerlyTest, ParamsListsTheControlsInBothSliderForms) {
  CommandResult run = shimmerly("params");
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(std::count(run.output.begin(), run.output.end(), '\n'), 17) << run.output;
  EXPECT_NE(run.output.find("Glow Size"), std::string::npos);
  EXPECT_NE(run.output.find("float slider"), std::string::npos);
  EXPECT_NE(run.output.find("0 to 1000 (slider 0 to 100)"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("Select A Preset|"), std::string::npos);
  CommandResult old = shimmerly("params --host-version 11.0");
  ASSERT_EQ(old.status, 0) << old.output;
  EXPECT_NE(old.output.find("fixed slider"), std::string::npos);
  EXPECT_NE(old.output.find("0 to 1000 (slider 0 to 100)"), std::string::npos) << old.output;
}

TEST_F(ShimmerlyTest, BenchReportsOneJsonObjectForAnInputOrTheBuiltInFrame) {
  CommandResult builtIn = shimmerly("bench --size 40x30 --frames 3 --glow-size 5 --json");
  ASSERT_EQ(builtIn.status, 0) << builtIn.output;
  EXPECT_EQ(builtIn.output.rfind("{\"width\": 40, \"height\": 30, \"frames\": 3, ", 0), 0u)
      << builtIn.output;
  for (const char* key :
       {"\"median_ms\": ", "\"min_ms\": ", "\"mpix_per_s\": ", "\"peak_bytes\": "})
    EXPECT_NE(builtIn.output.find(key), std::string::npos) << key << " in " << builtIn.output;
  // The plug-in reports what rendered: the best kernels of this processor on its default threads.
  const std::string producer = std::string("\"isa\": \"") + kernelIsaName(detectedKernelIsa()) +
                               "\", \"threads\": " + std::to_string(defaultRenderThreads()) + "}";
  EXPECT_NE(builtIn.output.find(producer), std::string::npos)
      << producer << " in " << builtIn.output;
  EXPECT_EQ(std::count(builtIn.output.begin(), builtIn.output.end(), '\n'), 1);

  writeImage(file("in.png"), sampleImage());
  CommandResult image = shimmerly("bench '" + file("in.png") + "' --frames 2 --quality low");
  ASSERT_EQ(image.status, 0) << image.output;
  EXPECT_NE(image.output.find("2 frames: median "), std::string::npos) << image.output;
  EXPECT_NE(image.output.find(std::string(kernelIsaName(detectedKernelIsa())) + " kernels on "),
            std::string::npos)
      << image.output;
}

TEST_F(ShimmerlyTest, BenchSaysWhichKernelsAndThreadsTheEnvironmentAskedFor) {
  // SHIMMERLY_ISA caps the kernels' set (never beyond what the processor runs) and
  // SHIMMERLY_THREADS sets the render threads; bench reports what the plug-in then used.
  const KernelIsa best = detectedKernelIsa();
  for (KernelIsa asked : {KernelIsa::kGeneric, KernelIsa::kAvx2, KernelIsa::kAvx512}) {
    const KernelIsa expected = std::min(asked, best);
    CommandResult run =
        shimmerly("bench --size 48x20 --frames 1 --json",
                  std::string("SHIMMERLY_ISA=") + kernelIsaName(asked) + " SHIMMERLY_THREADS=3");
    ASSERT_EQ(run.status, 0) << run.output;
    const std::string producer =
        std::string("\"isa\": \"") + kernelIsaName(expected) + "\", \"threads\": 3}";
    EXPECT_NE(run.output.find(producer), std::string::npos) << producer << " in " << run.output;
  }
  // A name that is no set, or a count that is no number, leaves the defaults.
  CommandResult unknown =
      shimmerly("bench --size 48x20 --frames 1 --json", "SHIMMERLY_ISA=sse9 SHIMMERLY_THREADS=x");
  ASSERT_EQ(unknown.status, 0) << unknown.output;
  const std::string defaults = std::string("\"isa\": \"") + kernelIsaName(best) +
                               "\", \"threads\": " + std::to_string(defaultRenderThreads()) + "}";
  EXPECT_NE(unknown.output.find(defaults), std::string::npos)
      << defaults << " in " << unknown.output;
}

TEST_F(ShimmerlyTest, ThreadsOptionOverridesTheEnvironmentsRenderThreads) {
  // --threads N wins over SHIMMERLY_THREADS, and 0 means one per processor whatever it says.
  const std::string perProcessor = std::to_string(defaultRenderThreads());
  for (const auto& [option, expected] : {std::pair<std::string, std::string>{"--threads 1", "1"},
                                         {"--threads 2", "2"},
                                         {"--threads 0", perProcessor},
                                         {"", "3"}}) {
    CommandResult run =
        shimmerly("bench --size 48x20 --frames 1 --json " + option, "SHIMMERLY_THREADS=3");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("\"threads\": " + expected + "}"), std::string::npos)
        << option << ": " << run.output;
  }
  // render takes the same option for its render threads: the bytes do not depend on them.
  writeImage(file("in.png"), sampleImage());
  for (const char* threads : {"1", "2", "0"}) {
    CommandResult run = shimmerly("render '" + file("in.png") + "' -o '" + file("out") + threads +
                                  ".png' --glow-size 9 --threads " + threads);
    ASSERT_EQ(run.status, 0) << run.output;
  }
  EXPECT_EQ(readImage(file("out1.png")).rgba, readImage(file("out2.png")).rgba);
  EXPECT_EQ(readImage(file("out1.png")).rgba, readImage(file("out0.png")).rgba);
  EXPECT_NE(shimmerly("bench --frames 1 --threads -1").status, 0);
}

TEST_F(ShimmerlyTest, BenchRefusesABadSizeOrFrameCount) {
  CommandResult size = shimmerly("bench --size 40by30");
  EXPECT_NE(size.status, 0);
  EXPECT_NE(size.output.find("--size: expected WxH"), std::string::npos) << size.output;
  CommandResult frames = shimmerly("bench --frames 0");
  EXPECT_NE(frames.status, 0);
  EXPECT_NE(frames.output.find("--frames: expected at least 1"), std::string::npos)
      << frames.output;
}

TEST_F(ShimmerlyTest, VersionAndHelp) {
  CommandResult version = shimmerly("--version");
  EXPECT_EQ(version.status, 0);
  EXPECT_NE(version.output.find(SHIMMERLY_VERSION), std::string::npos) << version.output;
  CommandResult help = shimmerly("render --help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.output.find("--glow-size"), std::string::npos);
  CommandResult none = shimmerly("");
  EXPECT_NE(none.status, 0);
}

}  // namespace
}  // namespace shimmerly::cli
