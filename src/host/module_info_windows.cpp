// Module version and keyboard state on Windows: the file version comes from the version resource
// of the named module file (GetFileVersionInfoA; a bare name that is the plug-in's own file
// name means the loaded plug-in file), the Shift key from GetKeyState with
// GetAsyncKeyState as a fallback for threads that see no keyboard input, or a host that asks for
// the detailed about text through the host-services query.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "host/host_services.h"
#include "host/module_info.h"
#include "platform/windows/module_handle.h"

namespace shimmerly {
namespace {

// A bare file name that names the plug-in's own module becomes that module's full path, so that
// the version is read from the loaded file and not from whatever the search path finds first.
std::string moduleFilePath(const char* fileName) {
  if (std::strchr(fileName, '\\') || std::strchr(fileName, '/')) return fileName;
  char own[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameA(pluginModule(), own, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return fileName;
  const char* base = own + length;
  while (base > own && base[-1] != '\\' && base[-1] != '/') --base;
  return lstrcmpiA(base, fileName) == 0 ? std::string(own) : std::string(fileName);
}

}  // namespace

bool readModuleFileVersion(const char* fileName, int32_t version[3]) {
  version[0] = version[1] = version[2] = 0;
  if (!fileName || !fileName[0]) return false;
  const std::string path = moduleFilePath(fileName);
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
  if (size == 0) return false;
  // Memory that cannot be had counts as an unreadable resource.
  std::vector<char> block;
  try {
    block.resize(size);
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (!GetFileVersionInfoA(path.c_str(), 0, size, block.data())) return false;
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&info), &length) || !info ||
      length < sizeof(VS_FIXEDFILEINFO))
    return false;
  version[0] = HIWORD(info->dwFileVersionMS);
  version[1] = LOWORD(info->dwFileVersionMS);
  version[2] = HIWORD(info->dwFileVersionLS);
  return true;
}

bool isShiftKeyDown() {
  if ((GetKeyState(VK_SHIFT) & 0x8000) != 0 || (GetAsyncKeyState(VK_SHIFT) & 0x8000) != 0)
    return true;
  // A host without a keyboard of its own (the shimmerly command) may ask for the detailed text.
  PF_ShimmerlyHostServices services;
  return queryHostServices(services) && services.shift_key_down != 0;
}

}  // namespace shimmerly
