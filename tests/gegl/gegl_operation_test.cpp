// The GEGL operation shimmerly:glow through GEGL's own API: its property list (names, kinds,
// ranges, defaults and menu words against the public library's), renders of a graph against
// shimmerly::render, eight nodes rendering at once on their own threads, and the once-per-node
// rule for messages.
#include <gegl-plugin.h>
#include <gegl.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "shimmerly/shimmerly.h"

namespace {

class GeglEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    const std::string system = GEGL_PLUGINS_DIR;
    setenv("GEGL_PATH", (std::string(SHIMMERLY_GEGL_MODULE_DIR) + ":" + system).c_str(), 1);
    gegl_init(nullptr, nullptr);
  }
  void TearDown() override { gegl_exit(); }
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new GeglEnvironment);

// GObject keeps a property's name with '-' for '_' and takes either spelling.
std::string canonical(std::string name) {
  for (char& c : name)
    if (c == '_') c = '-';
  return name;
}

GParamSpec* property(const char* name) {
  guint count = 0;
  GParamSpec** specs = gegl_operation_list_properties("shimmerly:glow", &count);
  GParamSpec* found = nullptr;
  for (guint i = 0; i < count; ++i)
    if (specs[i]->name == canonical(name)) found = specs[i];
  g_free(specs);
  return found;
}

std::vector<std::string> nicks(const char* name) {
  GParamSpec* param = property(name);
  std::vector<std::string> out;
  if (param == nullptr || !G_IS_PARAM_SPEC_ENUM(param)) return out;
  GEnumClass* menu = G_PARAM_SPEC_ENUM(param)->enum_class;
  for (guint i = 0; i < menu->n_values; ++i) out.push_back(menu->values[i].value_nick);
  return out;
}

TEST(GeglOperation, ListsTheFrei0rNamesInOrder) {
  ASSERT_TRUE(gegl_has_operation("shimmerly:glow")) << "module not found in GEGL_PATH";
  guint count = 0;
  GParamSpec** specs = gegl_operation_list_properties("shimmerly:glow", &count);
  std::vector<std::string> names;
  for (guint i = 0; i < count; ++i) names.push_back(specs[i]->name);
  g_free(specs);
  std::vector<std::string> expected;
  for (const char* name :
       {"preset", "mask", "bright_cutoff", "dark_cutoff", "show_target", "glow_style", "glow_size",
        "softness", "color_from", "color", "trans_boost", "blend", "effect_only", "quality"})
    expected.push_back(canonical(name));
  EXPECT_EQ(names, expected);
  GParamSpec* colour = property("color");
  ASSERT_NE(colour, nullptr);
  EXPECT_TRUE(g_type_is_a(colour->value_type, GEGL_TYPE_COLOR));
}

// GIMP 2.10's GEGL Operation tool lists every operation class but those named "gimp..." and those
// in a category it keeps for itself; it shows the title and applies the operation as a filter.
TEST(GeglOperation, IsOfferedByGimpsGeglOperationTool) {
  const char* title = gegl_operation_get_key("shimmerly:glow", "title");
  ASSERT_NE(title, nullptr);
  EXPECT_STRNE(title, "");
  const char* categories = gegl_operation_get_key("shimmerly:glow", "categories");
  ASSERT_NE(categories, nullptr);
  gchar** each = g_strsplit(categories, ":", 0);
  for (gchar** category = each; *category != nullptr; ++category)
    for (const char* kept : {"compositors", "core", "debug", "display", "hidden", "input", "output",
                             "programming", "transform", "video"})
      EXPECT_STRNE(*category, kept) << "GIMP hides operations of category " << kept;
  g_strfreev(each);
  GeglNode* graph = gegl_node_new();
  GeglNode* glow = gegl_node_new_child(graph, "operation", "shimmerly:glow", nullptr);
  GeglOperation* operation = nullptr;
  g_object_get(glow, "gegl-operation", &operation, nullptr);
  ASSERT_NE(operation, nullptr);
  EXPECT_TRUE(GEGL_IS_OPERATION_FILTER(operation));
  g_object_unref(operation);
  g_object_unref(graph);
}

TEST(GeglOperation, NumbersHaveTheControlsRangesAndDefaults) {
  const shimmerly::Controls d;
  struct Expected {
    const char* name;
    double low, high, dephault;
  };
  for (const Expected& e :
       {Expected{"bright_cutoff", 0, 100, d.brightCutoff},
        Expected{"dark_cutoff", 0, 100, d.darkCutoff}, Expected{"glow_size", 0, 1000, d.glowSize},
        Expected{"softness", 0, 100, d.softness},
        Expected{"trans_boost", -100, 100, d.transBoost}}) {
    GParamSpec* param = property(e.name);
    ASSERT_TRUE(param != nullptr && G_IS_PARAM_SPEC_DOUBLE(param)) << e.name;
    const GParamSpecDouble* number = G_PARAM_SPEC_DOUBLE(param);
    EXPECT_EQ(number->minimum, e.low) << e.name;
    EXPECT_EQ(number->maximum, e.high) << e.name;
    EXPECT_EQ(number->default_value, e.dephault) << e.name;
  }
  for (const char* name : {"show_target", "effect_only"}) {
    GParamSpec* param = property(name);
    ASSERT_TRUE(param != nullptr && G_IS_PARAM_SPEC_BOOLEAN(param)) << name;
    EXPECT_FALSE(G_PARAM_SPEC_BOOLEAN(param)->default_value) << name;
  }
  GParamSpec* preset = property("preset");
  ASSERT_TRUE(preset != nullptr && G_IS_PARAM_SPEC_STRING(preset));
  EXPECT_STREQ(G_PARAM_SPEC_STRING(preset)->default_value, "");
}

TEST(GeglOperation, MenusAreTheCommandLinesWords) {
  struct Expected {
    const char* name;
    shimmerly::Menu menu;
    int dephault;
  };
  const shimmerly::Controls d;
  for (const Expected& e : {Expected{"mask", shimmerly::Menu::Mask, d.mask},
                            Expected{"glow_style", shimmerly::Menu::GlowStyle, d.glowStyle},
                            Expected{"color_from", shimmerly::Menu::ColorFrom, d.colorFrom},
                            Expected{"blend", shimmerly::Menu::Blend, d.blend}}) {
    const std::vector<std::string> got = nicks(e.name);
    const std::vector<std::string> words = shimmerly::menuWords(e.menu);
    ASSERT_EQ(got.size(), static_cast<size_t>(shimmerly::menuCount(e.menu))) << e.name;
    // The named entries have the command line's words; the rest (Mask's shape targets) have
    // words of their own, which no named entry may take.
    for (size_t i = 0; i < words.size(); ++i) EXPECT_EQ(got[i], words[i]) << e.name;
    for (size_t i = words.size(); i < got.size(); ++i) {
      EXPECT_THROW(shimmerly::menuEntry(e.menu, got[i]), shimmerly::Error) << got[i];
    }
    EXPECT_EQ(G_PARAM_SPEC_ENUM(property(e.name))->default_value + 1, e.dephault) << e.name;
  }
  EXPECT_EQ(nicks("quality"), (std::vector<std::string>{"high", "low"}));
}

// A graph: a buffer of `pixels` into shimmerly:glow, read back whole.
class GlowGraph {
 public:
  GlowGraph(const std::vector<uint8_t>& pixels, int width, int height)
      : width_(width), height_(height) {
    const GeglRectangle box{0, 0, width, height};
    buffer_ = gegl_buffer_new(&box, babl_format("R'G'B'A u8"));
    gegl_buffer_set(buffer_, &box, 0, babl_format("R'G'B'A u8"), pixels.data(), width * 4);
    graph_ = gegl_node_new();
    source_ =
        gegl_node_new_child(graph_, "operation", "gegl:buffer-source", "buffer", buffer_, nullptr);
    glow_ = gegl_node_new_child(graph_, "operation", "shimmerly:glow", nullptr);
    gegl_node_link(source_, glow_);
  }
  ~GlowGraph() {
    g_object_unref(graph_);
    g_object_unref(buffer_);
  }
  GeglNode* glow() { return glow_; }
  std::vector<uint8_t> render() {
    std::vector<uint8_t> out(static_cast<size_t>(width_) * height_ * 4);
    const GeglRectangle box{0, 0, width_, height_};
    gegl_node_blit(glow_, 1.0, &box, babl_format("R'G'B'A u8"), out.data(), width_ * 4,
                   GEGL_BLIT_DEFAULT);
    return out;
  }

 private:
  int width_, height_;
  GeglBuffer* buffer_;
  GeglNode *graph_, *source_, *glow_;
};

std::vector<uint8_t> noise(int width, int height, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4);
  for (uint8_t& byte : pixels) byte = static_cast<uint8_t>(rng() >> 24);
  return pixels;
}

std::vector<uint8_t> rendered(std::vector<uint8_t> pixels, int width, int height,
                              const shimmerly::Controls& controls) {
  const shimmerly::ImageView frame{pixels.data(), width, height, int64_t{width} * 4};
  shimmerly::render(frame, frame, controls);
  return pixels;
}

TEST(GeglOperation, RendersAsTheLibraryWithEveryColourLevel) {
  const int width = 67, height = 45;
  const std::vector<uint8_t> pixels = noise(width, height, 3);
  GlowGraph graph(pixels, width, height);
  // Every level of each channel goes through the GeglColor and back unchanged.
  for (int level = 0; level < 256; level += 15) {
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", level, 255 - level, (level * 7) % 256);
    GeglColor* colour = gegl_color_new(text);
    gegl_node_set(graph.glow(), "color", colour, "glow_size", 6.5, "mask", 2, "dark_cutoff", 30.0,
                  "blend", 1, nullptr);
    g_object_unref(colour);
    shimmerly::Controls c;
    c.color[0] = static_cast<uint8_t>(level);
    c.color[1] = static_cast<uint8_t>(255 - level);
    c.color[2] = static_cast<uint8_t>((level * 7) % 256);
    c.glowSize = 6.5;
    c.mask = 3;
    c.darkCutoff = 30;
    c.blend = 2;
    ASSERT_EQ(graph.render(), rendered(pixels, width, height, c)) << text;
  }
}

TEST(GeglOperation, EightNodesRenderingAtOnceGiveTheirSerialResults) {
  // Each node has its own engine; eight graphs processed on eight threads at once must give what
  // each gives alone, so no state leaks between nodes or threads.
  constexpr int kNodes = 8;
  const int width = 97, height = 61;
  std::vector<std::vector<uint8_t>> inputs, serial(kNodes), parallel(kNodes);
  std::vector<std::unique_ptr<GlowGraph>> graphs;
  for (int i = 0; i < kNodes; ++i) {
    inputs.push_back(noise(width, height, 100 + i));
    graphs.push_back(std::make_unique<GlowGraph>(inputs[i], width, height));
    gegl_node_set(graphs[i]->glow(), "glow_size", 3.0 + 7.5 * i, "glow_style", i % 3, "blend",
                  i % 8, "softness", 10.0 * i, "quality", i % 2, nullptr);
    serial[i] = graphs[i]->render();
  }
  for (int round = 0; round < 3; ++round) {
    std::vector<std::thread> threads;
    for (int i = 0; i < kNodes; ++i)
      threads.emplace_back([&, i] { parallel[i] = graphs[i]->render(); });
    for (std::thread& t : threads) t.join();
    for (int i = 0; i < kNodes; ++i) ASSERT_EQ(parallel[i], serial[i]) << "node " << i;
  }
  // And the serial results are the library's own for those controls.
  for (int i = 0; i < kNodes; ++i) {
    shimmerly::Controls c;
    c.glowSize = 3.0 + 7.5 * i;
    c.glowStyle = i % 3 + 1;
    c.blend = i % 8 + 1;
    c.softness = 10.0 * i;
    shimmerly::RenderOptions options;
    options.lowQuality = i % 2 == 1;
    std::vector<uint8_t> expected = inputs[i];
    const shimmerly::ImageView frame{expected.data(), width, height, int64_t{width} * 4};
    shimmerly::render(frame, frame, c, options);
    EXPECT_EQ(serial[i], expected) << "node " << i;
  }
}

TEST(GeglOperation, ABadPresetIsReportedOncePerNodeAndTheRestStillApplies) {
  const int width = 31, height = 23;
  const std::vector<uint8_t> pixels = noise(width, height, 9);
  GlowGraph first(pixels, width, height), second(pixels, width, height);
  shimmerly::Controls c;
  testing::internal::CaptureStderr();
  for (double size : {4.0, 9.0, 4.0}) {
    gegl_node_set(first.glow(), "preset", "Not A Preset", "glow_size", size, nullptr);
    c.glowSize = size;
    EXPECT_EQ(first.render(), rendered(pixels, width, height, c));
  }
  gegl_node_set(second.glow(), "preset", "Not A Preset", nullptr);
  second.render();
  gegl_node_set(first.glow(), "preset", "Another Missing One", nullptr);
  first.render();
  const std::string said = testing::internal::GetCapturedStderr();
  auto times = [&](const std::string& text) {
    int n = 0;
    for (size_t at = said.find(text); at != std::string::npos; at = said.find(text, at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(times("no preset named \"Not A Preset\""), 2) << said;  // once per node
  EXPECT_EQ(times("no preset named \"Another Missing One\""), 1) << said;
  EXPECT_EQ(times("\n"), 3) << said;  // one line each
}

}  // namespace
