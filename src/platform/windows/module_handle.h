// The plug-in's own module: the DLL (or, in tests, the program) whose resources hold the
// dialog templates and the version. Not GetModuleHandle(NULL), which names the host's program.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace shimmerly {

inline HINSTANCE pluginModule() {
  return reinterpret_cast<HINSTANCE>(&__ImageBase);
}

}  // namespace shimmerly
