// The native part of the Python package `shimmerly`: frames held in Python buffers rendered
// through the public library with the GIL released, the controls' defaults and the preset
// library. The package's __init__.py checks and converts the user's arguments before they come
// here; this file checks again what memory safety rests on.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "shimmerly/shimmerly.h"

namespace py = pybind11;

namespace {

// Engines kept between renders, one per render running at once, so that Python threads render
// side by side instead of taking turns on one engine.
class EnginePool {
 public:
  std::unique_ptr<shimmerly::Engine> take() {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      if (!idle_.empty()) {
        std::unique_ptr<shimmerly::Engine> engine = std::move(idle_.back());
        idle_.pop_back();
        return engine;
      }
    }
    return std::make_unique<shimmerly::Engine>();
  }
  void give(std::unique_ptr<shimmerly::Engine> engine) {
    const std::lock_guard<std::mutex> lock(mutex_);
    idle_.push_back(std::move(engine));
  }

 private:
  std::mutex mutex_;
  std::vector<std::unique_ptr<shimmerly::Engine>> idle_;
};

EnginePool& engines() {
  static auto* pool = new EnginePool;  // never destroyed: renders may outlive interpreter exit
  return *pool;
}

// The pixels of an HxWx4 uint8 buffer whose pixels are packed within each row.
struct Rows {
  uint8_t* pixels;
  int64_t width, height, rowBytes;
};

Rows rowsOf(const py::buffer_info& info, const char* which) {
  const std::string name = which;
  if (info.itemsize != 1 || (info.format != "B" && info.format != "=B" && info.format != "<B"))
    throw py::type_error(name + " must hold uint8 values");
  if (info.ndim != 3 || info.shape[2] != 4)
    throw py::value_error(name + " must have the shape (height, width, 4)");
  const int64_t height = info.shape[0], width = info.shape[1];
  if (height > 0 && width > 0 &&
      (info.strides[2] != 1 || (width > 1 && info.strides[1] != 4) ||
       (height > 1 && info.strides[0] < width * 4)))
    throw py::value_error(name + " must have packed pixels and rows at least width * 4 apart");
  const int64_t rowBytes = height > 1 ? info.strides[0] : width * 4;
  return {static_cast<uint8_t*>(info.ptr), width, height, rowBytes};
}

void render(const py::buffer& image, const py::buffer& out, int mask, double brightCutoff,
            double darkCutoff, bool showTarget, int glowStyle, double glowSize, double softness,
            int colorFrom, std::vector<int> color, double transBoost, int blend, bool effectOnly,
            bool lowQuality, int threads) {
  const py::buffer_info inInfo = image.request();
  const py::buffer_info outInfo = out.request(true);
  const Rows in = rowsOf(inInfo, "image");
  const Rows output = rowsOf(outInfo, "out");
  if (color.size() != 3) throw py::value_error("color must have three values");
  shimmerly::Controls controls;
  controls.mask = mask;
  controls.brightCutoff = brightCutoff;
  controls.darkCutoff = darkCutoff;
  controls.showTarget = showTarget;
  controls.glowStyle = glowStyle;
  controls.glowSize = glowSize;
  controls.softness = softness;
  controls.colorFrom = colorFrom;
  for (int i = 0; i < 3; ++i) {
    if (color[i] < 0 || color[i] > 255) throw py::value_error("color values must be 0 to 255");
    controls.color[i] = static_cast<uint8_t>(color[i]);
  }
  controls.transBoost = transBoost;
  controls.blend = blend;
  controls.effectOnly = effectOnly;
  shimmerly::RenderOptions options;
  options.lowQuality = lowQuality;
  options.threads = threads;

  // The buffers stay held by inInfo and outInfo while the GIL is released.
  std::unique_ptr<shimmerly::Engine> engine = engines().take();
  {
    const py::gil_scoped_release release;
    try {
      engine->render(
          shimmerly::ConstImageView(in.pixels, in.width, in.height, in.rowBytes),
          shimmerly::ImageView{output.pixels, output.width, output.height, output.rowBytes},
          controls, options);
    } catch (...) {
      engines().give(std::move(engine));
      throw;
    }
  }
  engines().give(std::move(engine));
}

py::dict asDict(const shimmerly::Controls& c) {
  py::dict d;
  d["mask"] = c.mask;
  d["bright_cutoff"] = c.brightCutoff;
  d["dark_cutoff"] = c.darkCutoff;
  d["show_target"] = c.showTarget;
  d["glow_style"] = c.glowStyle;
  d["glow_size"] = c.glowSize;
  d["softness"] = c.softness;
  d["color_from"] = c.colorFrom;
  d["color"] = py::make_tuple(c.color[0], c.color[1], c.color[2]);
  d["trans_boost"] = c.transBoost;
  d["blend"] = c.blend;
  d["effect_only"] = c.effectOnly;
  return d;
}

}  // namespace

PYBIND11_MODULE(_shimmerly, m) {
  m.doc() = "The native part of shimmerly; use the package's functions instead.";
  py::register_exception_translator([](std::exception_ptr p) {
    try {
      if (p) std::rethrow_exception(p);
    } catch (const shimmerly::Error& e) {
      PyErr_SetString(PyExc_ValueError, e.what());
    }
  });
  m.attr("__version__") = shimmerly::version();
  m.def("render", &render, py::arg("image"), py::arg("out"), py::arg("mask"),
        py::arg("bright_cutoff"), py::arg("dark_cutoff"), py::arg("show_target"),
        py::arg("glow_style"), py::arg("glow_size"), py::arg("softness"), py::arg("color_from"),
        py::arg("color"), py::arg("trans_boost"), py::arg("blend"), py::arg("effect_only"),
        py::arg("low_quality"), py::arg("threads"),
        "Renders the uint8 (height, width, 4) buffer `image` into `out`, the GIL released.");
  m.def(
      "default_controls", [] { return asDict(shimmerly::Controls{}); },
      "The plug-in's default controls as a dict of the package's field names.");
  m.def(
      "menus",
      [] {
        py::dict menus;
        const std::pair<const char*, shimmerly::Menu> all[] = {
            {"mask", shimmerly::Menu::Mask},
            {"glow_style", shimmerly::Menu::GlowStyle},
            {"color_from", shimmerly::Menu::ColorFrom},
            {"blend", shimmerly::Menu::Blend}};
        for (const auto& [name, menu] : all) {
          menus[name] = py::make_tuple(py::tuple(py::cast(shimmerly::menuWords(menu))),
                                       shimmerly::menuCount(menu));
        }
        return menus;
      },
      "The menus' words, in the order of their numbers from 1, and each menu's count.");
  m.def("preset_names", &shimmerly::presetNames, "The names of the user's presets.");
  m.def(
      "preset_controls",
      [](const std::string& nameOrPath) {
        shimmerly::Controls c;
        {
          const py::gil_scoped_release release;
          c = shimmerly::presetControls(nameOrPath);
        }
        return asDict(c);
      },
      py::arg("name_or_path"), "The controls of a named preset or a preset file, as a dict.");
}
