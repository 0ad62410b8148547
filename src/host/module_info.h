// What the about text asks of the platform: the file version of the plug-in's module and the
// state of the Shift key. Each platform supplies its own definitions.
#pragma once

#include <cstdint>

namespace shimmerly {

// The first three parts of the module file's version (major, minor, third); false, with all
// three 0, when the version cannot be read (for example for an empty file name).
bool readModuleFileVersion(const char* fileName, int32_t version[3]);

// True while the Shift key is held down.
bool isShiftKeyDown();

}  // namespace shimmerly
