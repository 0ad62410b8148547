// The preset folder tree under the user's documents folder, and its seeding with the factory
// presets that lie beside the plug-in file.
#pragma once

namespace shimmerly {

// Makes sure the product folder exists and, the first time, fills the preset folder with the
// factory presets.
void ensurePresetFolder(const char* product);

}  // namespace shimmerly
