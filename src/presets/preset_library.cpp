// The preset library over the preset folder: each preset is "<name>.smr" holding one GlowUnit
// written by writeRecord; the index file "Shimmerly Presets.idx" orders the listing. Preset
// names are single file names: a name that could leave the preset folder never reaches the file
// system. Saves go through a temporary file and replace the old preset only when complete.
#include "presets/preset_library.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/files.h"
#include "presets/command_stream.h"
#include "presets/file_handle.h"
#include "presets/glow_unit.h"
#include "presets/preset_folder.h"
#include "ui/message_boxes.h"

namespace shimmerly {
namespace {

constexpr const char* kIndexFileName = "Shimmerly Presets.idx";
constexpr const char* kPresetExtension = ".smr";
constexpr const char* kNotLoaded = "__notloaded";
constexpr const char* kSaveFailedMessage = kPresetSaveFailedMessage;

// The preset file of a name; empty when the name is not a single safe file name.
std::string presetPathOf(const char* product, const char* name) {
  if (!isPresetNameAllowed(name)) return {};
  return presetFilePath(product, std::string(name) + kPresetExtension);
}

bool loads(const char* product, const std::string& name) {
  GlowUnit unit("GlowUnit");
  return loadPreset(product, name.c_str(), unit) == 0;
}

}  // namespace

bool isPresetNameAllowed(const char* name) {
  return name && isSafeFileName(name);
}

bool isPresetFileArgument(const std::string& argument) {
  for (const char c : argument)
    if (platform::isPathSeparator(c)) return true;
  const std::string extension = ".smr";
  return argument.size() >= extension.size() &&
         argument.compare(argument.size() - extension.size(), extension.size(), extension) == 0;
}

int32_t listPresets(const char* product, PresetNameList& list) {
  FileHandle index(presetFilePath(product, kIndexFileName));
  if (index.openRead() == 0) {
    char line[256];
    while (index.readLine(line, 255) > 0) {
      if (loads(product, line)) list.emplace_back(line);
    }
    index.close();
  }

  const std::string folder = userFolderPath(product, kPresetFolderName, true);
  platform::createFolder(folder);
  for (const std::string& entry : folderEntries(folder)) {
    const std::string name = fileNamePart(entry, 255);
    std::string stem = name;
    const size_t extensionLength = std::strlen(kPresetExtension);
    if (stem.size() > extensionLength &&
        stem.compare(stem.size() - extensionLength, extensionLength, kPresetExtension) == 0) {
      stem.resize(stem.size() - extensionLength);
    }
    if (name.empty() || name[0] == '.' || name == kIndexFileName) continue;
    if (std::find(list.begin(), list.end(), stem) != list.end()) continue;
    if (loads(product, stem)) list.push_back(stem);
  }
  return 1;
}

int32_t loadPreset(const char* product, const char* name, GlowUnit& unit) {
  return loadPresetFile(presetPathOf(product, name), unit);
}

int32_t loadPresetFile(const std::string& path, GlowUnit& unit) {
  std::snprintf(unit.name, sizeof unit.name, "%s", kNotLoaded);
  FileHandle file(path);
  if (file.openRead() != 0) return -1;

  CommandStream stream(&unit);
  stream.setInput(&file);
  stream.push(&unit);
  while (stream.depth() > 1 && stream.hasInput()) {
    const int32_t status = stream.processTop();
    if (status != 0) return status;  // the file closes with its handle
  }
  file.close();
  return std::strcmp(unit.name, kNotLoaded) == 0 ? -1 : 0;
}

bool presetExists(const char* product, const char* name) {
  FileHandle file(presetPathOf(product, name));
  return file.openRead() == 0;
}

int32_t savePreset(const char* product, const char* name, GlowUnit& unit) {
  if (!name || name[0] == '\0') return 0;
  // A preset folder removed while the host runs is made again rather than failing the save.
  platform::createFolder(userFolderPath(product, kPresetFolderName, true));
  ReplacingFile target(presetPathOf(product, name));
  if (target.create() != 0) {
    showMessage(kSaveFailedMessage);
    return 1;
  }
  CommandStream stream(&unit);
  stream.setOutput(&target.file());
  const int32_t status = unit.writeRecord(stream);
  if (status != 0) {
    showMessage(kSaveFailedMessage);
    return status;
  }
  if (stream.outputFailed() || target.commit() != 0) {
    showMessage(kSaveFailedMessage);
    return 1;
  }
  return 0;
}

}  // namespace shimmerly
