// The preset library: named GlowUnit presets stored as ".smr" files in the user's preset folder,
// listed (index file first, then the folder), loaded, tested for existence and saved; and the
// preset manager that remembers the names the presets popup currently shows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace shimmerly {

class GlowUnit;

// An ordered list of preset names, duplicates allowed.
using PresetNameList = std::vector<std::string>;

// What the library shows when a preset cannot be saved under a name.
inline constexpr const char* kPresetSaveFailedMessage =
    "Error while saving preset. Try a different name.";

// True when name can name a preset file: a single file name, not "." or "..", without path
// separators or control bytes. Other names are never saved, loaded or found.
bool isPresetNameAllowed(const char* name);

// True when a tool's preset argument names a preset file rather than a preset: it holds a path
// separator or ends in ".smr".
bool isPresetFileArgument(const std::string& argument);

// Appends the names of all loadable presets to list; returns 1.
int32_t listPresets(const char* product, PresetNameList& list);
// Fills unit from the named preset: 0 on success, -1 when it cannot be opened or sets no name,
// otherwise the failing command's status.
int32_t loadPreset(const char* product, const char* name, GlowUnit& unit);
// Fills unit from the preset file at path, exactly as loadPreset does from the preset folder
// (tools use it to read a preset file anywhere).
int32_t loadPresetFile(const std::string& path, GlowUnit& unit);
// True when the preset file of that name can be opened for reading.
bool presetExists(const char* product, const char* name);
// Writes unit as the preset of that name, replacing any earlier one: 0 on success (also for an
// empty name, which writes nothing), otherwise non-zero after showing the library's message.
int32_t savePreset(const char* product, const char* name, GlowUnit& unit);

// Keeps the names the presets popup shows, in popup order, so that a popup value can be turned
// back into a name.
class OrbixGlowUnitManager {
 public:
  const char* className() const { return "OrbixGlowUnitManager"; }
  void setList(const PresetNameList& names) { names_ = names; }
  const PresetNameList& list() const { return names_; }

 private:
  PresetNameList names_;
};

}  // namespace shimmerly
