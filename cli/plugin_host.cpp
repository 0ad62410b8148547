// The host driver's records and callbacks. Callbacks find their PluginHost through effect_ref;
// memory handles are plain heap blocks with a header, counted so that leaks show in tests.
#include "cli/plugin_host.h"

#include <atomic>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace shimmerly::cli {
namespace {

std::atomic<int64_t> gLiveHandles{0};
volatile std::sig_atomic_t gCancel = 0;

struct HostHandle {
  void* block;
  uint64_t size;
};

PF_Handle PF_CALL newHandle(uint64_t size) {
  void* block = std::malloc(size ? size : 1);
  if (!block) return nullptr;
  auto* handle = new (std::nothrow) HostHandle{block, size};
  if (!handle) {
    std::free(block);
    return nullptr;
  }
  ++gLiveHandles;
  return handle;
}

void* PF_CALL lockHandle(PF_Handle handle) {
  return handle ? static_cast<HostHandle*>(handle)->block : nullptr;
}

void PF_CALL unlockHandle(PF_Handle) {}

void PF_CALL disposeHandle(PF_Handle handle) {
  if (!handle) return;
  auto* h = static_cast<HostHandle*>(handle);
  std::free(h->block);
  delete h;
  --gLiveHandles;
}

int PF_CALL hostSprintf(char* buffer, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int written = std::vsprintf(buffer, format, args);
  va_end(args);
  return written;
}

char* PF_CALL hostStrcpy(char* dest, const char* src) {
  return std::strcpy(dest, src);
}

extern "C" void onInterrupt(int) {
  gCancel = 1;
}

}  // namespace

PF_LayerDef layerOver(std::vector<PF_Pixel>& pixels, int32_t width, int32_t height,
                      PF_RationalScale pixelAspect) {
  PF_LayerDef layer{};
  layer.width = width;
  layer.height = height;
  layer.rowbytes = width * 4;
  layer.data = pixels.data();
  layer.pix_aspect_ratio = pixelAspect;
  return layer;
}

void installCancelHandler() {
  std::signal(SIGINT, onInterrupt);
}
bool cancelRequested() {
  return gCancel != 0;
}
void requestCancel() {
  gCancel = 1;
}
void clearCancel() {
  gCancel = 0;
}

int64_t PluginHost::liveHandles() {
  return gLiveHandles.load();
}

PluginHost::PluginHost(PF_EntryPoint entry, std::string pluginPath)
    : entry_(entry), pluginPath_(std::move(pluginPath)) {
  utils_.host_new_handle = newHandle;
  utils_.host_lock_handle = lockHandle;
  utils_.host_unlock_handle = unlockHandle;
  utils_.host_dispose_handle = disposeHandle;
  utils_.get_platform_data = platformData;
  utils_.ansi.sprintf = hostSprintf;
  utils_.ansi.strcpy = hostStrcpy;
  in_.inter.add_param = addParam;
  in_.inter.progress = progress;
  in_.inter.abort = abortCheck;
  in_.utils = &utils_;
  in_.effect_ref = this;
  in_.quality = PF_Quality_HI;
  in_.appl_id = PF_FOURCC('F', 'X', 'T', 'C');
  in_.time_scale = 24;
  in_.time_step = 1;
  in_.total_time = 1;
  in_.downsample_x = in_.downsample_y = in_.pixel_aspect_ratio = {1, 1};
  setHostVersion(13, 0);
  clearParams();
}

std::unique_ptr<PluginHost> PluginHost::open(const std::string& pluginPath) {
  std::unique_ptr<PluginLibrary> library = loadPluginLibrary(pluginPath);
  auto host = std::make_unique<PluginHost>(library->entryPoint(), library->path());
  host->library_ = std::move(library);
  return host;
}

PluginHost::~PluginHost() = default;

void PluginHost::setHostVersion(int16_t major, int16_t minor) {
  in_.version.major = major;
  in_.version.minor = minor;
}

PF_Err PluginHost::call(PF_Cmd cmd, PF_LayerDef* output, void* extra) {
  std::memset(&out_, 0, sizeof out_);
  in_.num_params = static_cast<int32_t>(params_.size());
  return entry_(cmd, &in_, &out_, pointers_.data(), output, extra);
}

void PluginHost::run(PF_Cmd cmd, PF_LayerDef* output, void* extra) {
  PF_Err err = call(cmd, output, extra);
  if (err == PF_Err_NONE) return;
  if (out_.out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE)
    throw PluginError(
        std::string(out_.return_msg, strnlen(out_.return_msg, sizeof out_.return_msg)), err);
  throw PluginError("the plug-in failed with code " + std::to_string(err), err);
}

void PluginHost::start() {
  globalSetup();
  paramsSetup();
  sequenceSetup();
}

void PluginHost::finish() {
  sequenceSetdown();
  globalSetdown();
}

void PluginHost::clearParams() {
  params_.clear();
  texts_.clear();
  PF_ParamDef layer;
  std::memset(&layer, 0, sizeof layer);
  layer.param_type = PF_Param_LAYER;
  params_.push_back(layer);
  pointers_ = {&params_.back(), nullptr};
}

void PluginHost::appendParam(const PF_ParamDef& def) {
  params_.push_back(def);
  PF_ParamDef& stored = params_.back();
  stored.name[sizeof stored.name - 1] = '\0';
  // The plug-in owns its choice texts only for the duration of add_param.
  if (stored.param_type == PF_Param_POPUP && stored.u.pd.names) {
    texts_.emplace_back(stored.u.pd.names);
    stored.u.pd.names = texts_.back().c_str();
  } else if (stored.param_type == PF_Param_CHECKBOX && stored.u.bd.name) {
    texts_.emplace_back(stored.u.bd.name);
    stored.u.bd.name = texts_.back().c_str();
  }
  pointers_.back() = &stored;
  pointers_.push_back(nullptr);
}

void PluginHost::paramsSetup() {
  clearParams();
  run(PF_Cmd_PARAMS_SETUP);
}

std::string PluginHost::about() {
  run(PF_Cmd_ABOUT);
  return std::string(out_.return_msg, strnlen(out_.return_msg, sizeof out_.return_msg));
}

PF_Err PluginHost::render(const PF_LayerDef& input, PF_LayerDef& output,
                          const FrameSettings& frame) {
  params_[0].u.ld = input;
  in_.width = input.width;
  in_.height = input.height;
  in_.quality = frame.quality;
  in_.downsample_x = frame.downsampleX;
  in_.downsample_y = frame.downsampleY;
  in_.pixel_aspect_ratio = frame.pixelAspect;
  in_.extent_hint = frame.extent ? *frame.extent : PF_Rect{0, 0, input.width, input.height};
  PF_Err err = call(PF_Cmd_RENDER, &output, nullptr);
  if (err != PF_Err_NONE && (out_.out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE))
    throw PluginError(
        std::string(out_.return_msg, strnlen(out_.return_msg, sizeof out_.return_msg)), err);
  return err;
}

PF_Err PluginHost::userChangedParam(int32_t index) {
  PF_UserChangedParamExtra extra{index};
  for (PF_ParamDef& def : params_) def.change_flags = PF_ChangeFlag_NONE;
  return call(PF_Cmd_USER_CHANGED_PARAM, nullptr, &extra);
}

PF_Err PF_CALL PluginHost::addParam(PF_ProgPtr ref, int32_t index, PF_ParamDef* def) {
  auto* host = static_cast<PluginHost*>(ref);
  if (!host || !def) return PF_Err_BAD_CALLBACK_PARAM;
  if (index != -1 && index != static_cast<int32_t>(host->params_.size()))
    return PF_Err_INVALID_INDEX;
  if (host->addParamHook) {
    PF_Err err = host->addParamHook(*def);
    if (err != PF_Err_NONE) return err;
  }
  host->appendParam(*def);
  return PF_Err_NONE;
}

PF_Err PF_CALL PluginHost::progress(PF_ProgPtr ref, int32_t current, int32_t total) {
  auto* host = static_cast<PluginHost*>(ref);
  return host && host->progressHook ? host->progressHook(current, total) : PF_Err_NONE;
}

PF_Err PF_CALL PluginHost::abortCheck(PF_ProgPtr ref) {
  auto* host = static_cast<PluginHost*>(ref);
  if (host && host->abortHook) return host->abortHook();
  return cancelRequested() ? PF_Interrupt_CANCEL : PF_Err_NONE;
}

PF_Err PF_CALL PluginHost::platformData(PF_ProgPtr ref, int32_t which, void* data) {
  auto* host = static_cast<PluginHost*>(ref);
  if (!host || !data) return PF_Err_BAD_CALLBACK_PARAM;
  if (which == PF_PlatData_EXE_FILE_PATH) {
    std::snprintf(static_cast<char*>(data), 260, "%s", host->pluginPath_.c_str());
    return PF_Err_NONE;
  }
  if (which == PF_PlatData_SHIMMERLY_HOST_SERVICES && host->hostServicesHook) {
    host->hostServicesHook(*static_cast<PF_ShimmerlyHostServices*>(data));
    return PF_Err_NONE;
  }
  if (which == PF_PlatData_MAIN_WND) {
    *static_cast<void**>(data) = nullptr;
    return PF_Err_NONE;
  }
  return PF_Err_BAD_CALLBACK_PARAM;
}

const char* paramTypeName(int32_t type) {
  switch (type) {
    case PF_Param_LAYER:
      return "layer";
    case PF_Param_SLIDER:
      return "slider";
    case PF_Param_FIX_SLIDER:
      return "fixed slider";
    case PF_Param_ANGLE:
      return "angle";
    case PF_Param_CHECKBOX:
      return "checkbox";
    case PF_Param_COLOR:
      return "color";
    case PF_Param_POINT:
      return "point";
    case PF_Param_POPUP:
      return "popup";
    case PF_Param_FLOAT_SLIDER:
      return "float slider";
    case PF_Param_GROUP_START:
      return "group start";
    case PF_Param_GROUP_END:
      return "group end";
    default:
      return "unknown";
  }
}

}  // namespace shimmerly::cli
