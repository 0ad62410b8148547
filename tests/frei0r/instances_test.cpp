// The built frei0r filter, loaded as hosts load it (dlopen, the f0r_* entry points): each
// instance renders the bytes of shimmerly::render for the controls its parameters make, with
// f0r_update and f0r_update2 alike and in place; eight instances rendering at once on separate
// threads each give their serial result; instances of no size and bad values do no harm.
extern "C" {
#include <frei0r.h>
}

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <shimmerly/shimmerly.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "support/temp_dir.h"

namespace {

struct Module {
  Module() {
    handle = dlopen(SHIMMERLY_FREI0R_MODULE, RTLD_NOW | RTLD_LOCAL);
    if (!handle) return;
    init = reinterpret_cast<int (*)()>(dlsym(handle, "f0r_init"));
    construct =
        reinterpret_cast<f0r_instance_t (*)(unsigned, unsigned)>(dlsym(handle, "f0r_construct"));
    destruct = reinterpret_cast<void (*)(f0r_instance_t)>(dlsym(handle, "f0r_destruct"));
    set = reinterpret_cast<void (*)(f0r_instance_t, f0r_param_t, int)>(
        dlsym(handle, "f0r_set_param_value"));
    get = reinterpret_cast<void (*)(f0r_instance_t, f0r_param_t, int)>(
        dlsym(handle, "f0r_get_param_value"));
    update = reinterpret_cast<void (*)(f0r_instance_t, double, const uint32_t*, uint32_t*)>(
        dlsym(handle, "f0r_update"));
    update2 = reinterpret_cast<void (*)(f0r_instance_t, double, const uint32_t*, const uint32_t*,
                                        const uint32_t*, uint32_t*)>(dlsym(handle, "f0r_update2"));
  }
  ~Module() {
    if (handle) dlclose(handle);
  }
  void* handle = nullptr;
  int (*init)() = nullptr;
  f0r_instance_t (*construct)(unsigned, unsigned) = nullptr;
  void (*destruct)(f0r_instance_t) = nullptr;
  void (*set)(f0r_instance_t, f0r_param_t, int) = nullptr;
  void (*get)(f0r_instance_t, f0r_param_t, int) = nullptr;
  void (*update)(f0r_instance_t, double, const uint32_t*, uint32_t*) = nullptr;
  void (*update2)(f0r_instance_t, double, const uint32_t*, const uint32_t*, const uint32_t*,
                  uint32_t*) = nullptr;
};

Module& module() {
  static Module m;
  return m;
}

// Random controls set on an instance through its parameters, and the same as Controls.
struct Setting {
  shimmerly::Controls controls;
  bool lowQuality = false;
};

Setting applyRandom(f0r_instance_t instance, std::mt19937& rng) {
  Module& m = module();
  Setting s;
  auto text = [&](int index, const std::string& value) {
    const char* p = value.c_str();
    m.set(instance, &p, index);
  };
  auto number = [&](int index, double value) { m.set(instance, &value, index); };
  s.controls.mask = static_cast<int>(rng() % 8) + 1;
  text(1, std::to_string(s.controls.mask));
  s.controls.glowStyle = static_cast<int>(rng() % 3) + 1;
  text(5, shimmerly::menuWords(shimmerly::Menu::GlowStyle)[s.controls.glowStyle - 1]);
  s.controls.colorFrom = static_cast<int>(rng() % 2) + 1;
  text(8, std::to_string(s.controls.colorFrom));
  s.controls.blend = static_cast<int>(rng() % 8) + 1;
  text(11, shimmerly::menuWords(shimmerly::Menu::Blend)[s.controls.blend - 1]);
  s.controls.brightCutoff = static_cast<double>(rng() % 1001) / 10;
  number(2, s.controls.brightCutoff / 100);
  s.controls.darkCutoff = static_cast<double>(rng() % 1001) / 10;
  number(3, s.controls.darkCutoff / 100);
  s.controls.glowSize = static_cast<double>(rng() % 3000) / 100;
  number(6, s.controls.glowSize / 1000);
  s.controls.softness = static_cast<double>(rng() % 101);
  number(7, s.controls.softness / 100);
  s.controls.transBoost = static_cast<double>(rng() % 2001) / 10 - 100;
  number(10, (s.controls.transBoost + 100) / 200);
  s.controls.showTarget = rng() % 6 == 0;
  number(4, s.controls.showTarget ? 1.0 : 0.0);
  s.controls.effectOnly = rng() % 4 == 0;
  number(12, s.controls.effectOnly ? 1.0 : 0.0);
  f0r_param_color_t color;
  for (int c = 0; c < 3; ++c) s.controls.color[c] = static_cast<uint8_t>(rng() % 256);
  color.r = static_cast<float>(s.controls.color[0] / 255.0);
  color.g = static_cast<float>(s.controls.color[1] / 255.0);
  color.b = static_cast<float>(s.controls.color[2] / 255.0);
  m.set(instance, &color, 9);
  s.lowQuality = rng() % 4 == 0;
  text(13, s.lowQuality ? "low" : "high");
  return s;
}

std::vector<uint32_t> randomFrame(std::mt19937& rng, unsigned w, unsigned h) {
  std::vector<uint32_t> frame(static_cast<size_t>(w) * h);
  for (uint32_t& p : frame) {
    p = static_cast<uint32_t>(rng());
    if (rng() % 4 == 0) p &= 0x00ffffffu;  // alpha 0 (little-endian R, G, B, A)
  }
  return frame;
}

std::vector<uint32_t> apiRender(const std::vector<uint32_t>& in, unsigned w, unsigned h,
                                const Setting& s) {
  std::vector<uint32_t> out(in.size());
  shimmerly::RenderOptions options;
  options.lowQuality = s.lowQuality;
  shimmerly::render(
      shimmerly::ConstImageView(reinterpret_cast<const uint8_t*>(in.data()), w, h, w * 4),
      shimmerly::ImageView{reinterpret_cast<uint8_t*>(out.data()), w, h, w * 4}, s.controls,
      options);
  return out;
}

class Frei0rModule : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("HOME", home_.str().c_str(), 1);
    ASSERT_NE(module().handle, nullptr) << dlerror();
    ASSERT_EQ(module().init(), 1);
  }
  shimmerly::testing::TempDir home_;
};

TEST_F(Frei0rModule, InstancesRenderAsTheLibraryDoes) {
  Module& m = module();
  std::mt19937 rng(2401);
  for (int n = 0; n < 12; ++n) {
    const unsigned w = 1 + rng() % 47, h = 1 + rng() % 33;
    f0r_instance_t instance = m.construct(w, h);
    const Setting s = applyRandom(instance, rng);
    const std::vector<uint32_t> in = randomFrame(rng, w, h), expected = apiRender(in, w, h, s);
    std::vector<uint32_t> out(in.size(), 0xdeadbeef), out2(in.size(), 0xdeadbeef);
    m.update(instance, 1.0, in.data(), out.data());
    EXPECT_EQ(out, expected) << n << ": " << w << "x" << h;
    m.update2(instance, 1000.0, in.data(), nullptr, nullptr, out2.data());
    EXPECT_EQ(out2, expected) << n << ": f0r_update2";
    std::vector<uint32_t> inPlace = in;
    m.update(instance, 0.0, inPlace.data(), inPlace.data());
    EXPECT_EQ(inPlace, expected) << n << ": in place";
    m.destruct(instance);
  }
}

TEST_F(Frei0rModule, EightInstancesAtOnceGiveTheirSerialResults) {
  Module& m = module();
  std::mt19937 rng(88);
  constexpr int kInstances = 8;
  struct Job {
    unsigned w, h;
    f0r_instance_t instance;
    std::vector<uint32_t> in, serial;
  };
  std::vector<Job> jobs;
  for (int i = 0; i < kInstances; ++i) {
    Job job{40 + static_cast<unsigned>(rng() % 60),
            30 + static_cast<unsigned>(rng() % 40),
            nullptr,
            {},
            {}};
    job.instance = m.construct(job.w, job.h);
    const Setting s = applyRandom(job.instance, rng);
    job.in = randomFrame(rng, job.w, job.h);
    job.serial.assign(job.in.size(), 0);
    m.update(job.instance, 0.0, job.in.data(), job.serial.data());
    ASSERT_EQ(job.serial, apiRender(job.in, job.w, job.h, s)) << i;
    jobs.push_back(std::move(job));
  }
  std::vector<std::vector<std::vector<uint32_t>>> results(kInstances);
  std::vector<std::thread> threads;
  for (int i = 0; i < kInstances; ++i)
    threads.emplace_back([&, i] {
      for (int round = 0; round < 3; ++round) {
        std::vector<uint32_t> out(jobs[i].in.size(), 0);
        m.update(jobs[i].instance, round, jobs[i].in.data(), out.data());
        results[i].push_back(std::move(out));
      }
    });
  for (std::thread& t : threads) t.join();
  for (int i = 0; i < kInstances; ++i) {
    for (const std::vector<uint32_t>& out : results[i]) EXPECT_EQ(out, jobs[i].serial) << i;
    m.destruct(jobs[i].instance);
  }
}

TEST_F(Frei0rModule, ParametersReadBackAndBadValuesAreKeptOut) {
  Module& m = module();
  f0r_instance_t instance = m.construct(9, 7);
  double size = 0.0225;
  m.set(instance, &size, 6);
  double bad = std::strtod("nan", nullptr);
  m.set(instance, &bad, 6);
  double back = 0;
  m.get(instance, &back, 6);
  EXPECT_EQ(back, 0.0225);
  const char* word = "sparkle";
  m.set(instance, &word, 1);
  char* text = nullptr;
  m.get(instance, &text, 1);
  ASSERT_NE(text, nullptr);
  EXPECT_STREQ(text, "alpha");
  const char* none = nullptr;
  m.set(instance, &none, 0);  // a null string: refused, no crash
  m.set(instance, nullptr, 6);
  m.set(instance, &size, 99);
  m.get(instance, &back, -1);

  // The glow size took 22.5 pixels exactly: the same bytes as the library's.
  std::mt19937 rng(5);
  const std::vector<uint32_t> in = randomFrame(rng, 9, 7);
  Setting s;
  s.controls.glowSize = 22.5;
  std::vector<uint32_t> out(in.size());
  m.update(instance, 0, in.data(), out.data());
  EXPECT_EQ(out, apiRender(in, 9, 7, s));
  m.destruct(instance);
}

TEST_F(Frei0rModule, InstancesOfNoSizeAndNullFramesDoNothing) {
  Module& m = module();
  f0r_instance_t empty = m.construct(0, 0);
  ASSERT_NE(empty, nullptr);
  uint32_t pixel = 0x11223344;
  m.update(empty, 0, &pixel, &pixel);
  EXPECT_EQ(pixel, 0x11223344u);
  m.destruct(empty);
  f0r_instance_t one = m.construct(1, 1);
  m.update(one, 0, nullptr, &pixel);
  m.update(one, 0, &pixel, nullptr);
  m.update(nullptr, 0, &pixel, &pixel);
  m.destruct(one);
  m.destruct(nullptr);
}

}  // namespace
