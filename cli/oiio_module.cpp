// The host's side of the OpenImageIO formats: the module "shimmerly_oiio.so" beside the
// executable is loaded the first time a format other than PNG or PAM is asked for, and these
// functions forward to its own. A host whose module is missing or from another build reports
// those formats as missing from this build, as one built without OpenImageIO does.
#include <dlfcn.h>

#include <stdexcept>

#include "cli/oiio_image.h"
#include "cli/plugin_library.h"

namespace shimmerly::cli {
namespace {

// The module's functions, or null; loaded once, on first use, from any thread.
const OiioFormats* moduleFormats() {
  static const OiioFormats* const formats = []() -> const OiioFormats* {
    void* handle = dlopen(besideExecutable(kOiioModuleFile).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) return nullptr;
    auto entry = reinterpret_cast<const OiioFormats* (*)()>(dlsym(handle, kOiioModuleEntry));
    const OiioFormats* found = entry ? entry() : nullptr;
    if (found == nullptr || found->version != kOiioFormatsVersion) {
      dlclose(handle);
      return nullptr;
    }
    return found;  // kept loaded for the rest of the run
  }();
  return formats;
}

const OiioFormats& loadedFormats(const std::string& path) {
  const OiioFormats* formats = moduleFormats();
  if (formats == nullptr)
    throw std::runtime_error(path + ": unsupported image format (this build reads " +
                             availableFormats() + ")");
  return *formats;
}

}  // namespace

bool oiioHasFormat(const char* oiioName) {
  const OiioFormats* formats = moduleFormats();
  return formats != nullptr && formats->hasFormat(oiioName);
}

Image readWithOiio(const std::string& path, std::string* reduction) {
  return loadedFormats(path).read(path, reduction);
}

std::vector<uint8_t> encodeWithOiio(const std::string& path, const FormatInfo& format,
                                    const Image& image) {
  return loadedFormats(path).encode(path, format, image);
}

}  // namespace shimmerly::cli
