// The preset folder tree, the plug-in folder, the path rules and the seeding of the factory
// presets. Paths never lose bytes: a composition that does not fit the platform's limit gives
// the empty path, on which every file operation fails.
#include "presets/preset_folder.h"

#include <atomic>
#include <vector>

#include "platform/files.h"
#include "presets/file_handle.h"

namespace shimmerly {
namespace {

// Sub-folders deeper than this are not seeded: a folder link that points back up the tree must
// end the copy instead of filling the user's folder with copies of itself.
constexpr int kMaxSeedDepth = 16;

std::atomic<ModulePathSource> modulePathSource{nullptr};

std::string& pluginFolderCache() {
  static std::string folder;
  return folder;
}

// Copies one file; a source of zero bytes, or one that cannot be read, creates no target.
void copyFile(const std::string& from, const std::string& to) {
  FileHandle source(from);
  if (source.openRead() != 0) return;
  const int64_t size = source.size();
  if (size <= 0) return;
  ReplacingFile target(to);
  if (target.create() != 0) return;
  std::vector<char> block(static_cast<size_t>(size < 65536 ? size : 65536));
  int64_t copied = 0;
  while (copied < size) {
    const int64_t want = size - copied < static_cast<int64_t>(block.size())
                             ? size - copied
                             : static_cast<int64_t>(block.size());
    const int64_t got = source.read(block.data(), want);
    if (got <= 0) break;
    if (target.file().write(block.data(), got) != got) return;  // the temporary is discarded
    copied += got;
  }
  if (copied > 0) target.commit();
}

void copyTree(const std::string& from, const std::string& to, bool createAlways, int depth) {
  if (to.empty()) return;
  std::vector<std::string> names;
  const bool listed = !from.empty() && platform::listFolder(from, names);
  if (!listed && !createAlways) return;
  platform::createFolder(to);
  if (!listed) return;

  std::vector<std::string> subFolders;
  for (const std::string& listedName : names) {
    const std::string entry = joinPath(from, listedName);
    const std::string name = fileNamePart(entry, 255);
    if (name.empty() || name[0] == '.') continue;
    FileHandle probe(entry);
    if (probe.openRead() == 0) {
      probe.close();
      copyFile(entry, joinPath(to, name));
    } else {
      subFolders.push_back(name);
    }
  }
  if (depth >= kMaxSeedDepth) return;
  for (const std::string& name : subFolders) {
    const std::string source = joinPath(from, name);
    const std::string destination = joinPath(to, name);
    if (!source.empty()) copyTree(source, destination, false, depth + 1);
  }
}

}  // namespace

std::string joinPath(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty() || a.size() + 1 + b.size() > platform::kMaxPathBytes) return {};
  std::string path;
  path.reserve(a.size() + 1 + b.size());
  path += a;
  path += platform::kPathSeparator;
  path += b;
  return path;
}

std::string fileNamePart(const std::string& path, size_t maxLength) {
  size_t start = path.size();
  while (start > 0 && !platform::isPathSeparator(path[start - 1])) --start;
  return path.substr(start, maxLength);
}

bool isSafeFileName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (const char c : name) {
    if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20) return false;
  }
  return true;
}

std::string userFolderPath(const char* product, const char* name, bool create) {
  if (!product || !isSafeFileName(product)) return {};
  std::string documents;
  if (!platform::documentsFolder(documents)) return {};
  const std::string maker = joinPath(documents, kMakerFolderName);
  if (create) {
    // A fresh account on some systems has no documents folder yet.
    platform::createFolder(documents);
    platform::createFolder(maker);
  }
  const std::string folder = joinPath(maker, product);
  if (create) platform::createFolder(folder);
  return name ? joinPath(folder, name) : folder;
}

std::string presetFilePath(const char* product, const std::string& fileName) {
  if (!isSafeFileName(fileName)) return {};
  return joinPath(userFolderPath(product, kPresetFolderName, true), fileName);
}

std::string pluginFolderPath(const char* sub) {
  std::string& cache = pluginFolderCache();
  if (cache.empty()) {
    const ModulePathSource source = modulePathSource.load();
    if (!source) return {};
    std::string path = source();
    if (path.empty()) return {};

    // Anything behind the first module ending is not part of the path.
    size_t scan = path.size() - 1;
    const size_t ending = path.find(platform::kPluginFileExtension);
    if (ending != std::string::npos) {
      path.resize(ending + std::char_traits<char>::length(platform::kPluginFileExtension));
      scan = ending;
    }
    while (scan > 0 && !platform::isPathSeparator(path[scan])) --scan;
    if (scan == 0) return {};
    path.resize(scan);
    const size_t subLength = sub ? std::char_traits<char>::length(sub) : 0;
    if (path.size() + 1 + subLength > platform::kMaxPathBytes) return {};
    cache = path;
  }
  return sub ? joinPath(cache, sub) : cache;
}

void setModulePathSource(ModulePathSource source) {
  modulePathSource.store(source);
}

void resetPluginFolderCache() {
  pluginFolderCache().clear();
}

std::vector<std::string> folderEntries(const std::string& folder) {
  std::vector<std::string> names;
  std::vector<std::string> paths;
  if (!platform::listFolder(folder, names)) return paths;
  for (const std::string& name : names) {
    std::string path = joinPath(folder, name);
    if (!path.empty()) paths.push_back(std::move(path));  // too long to reach: not listed
  }
  return paths;
}

std::string folderEntryAt(const std::string& folder, int n) {
  const std::vector<std::string> entries = folderEntries(folder);
  if (n < 1 || static_cast<size_t>(n) > entries.size()) return {};
  return entries[static_cast<size_t>(n) - 1];
}

void copyFolderTree(const char* product, const char* sub, const std::string* source,
                    const std::string* destination) {
  // Without a plug-in folder there is no source: nothing may be read from anywhere else.
  const std::string from = source ? *source : pluginFolderPath(sub);
  const std::string to = destination ? *destination : userFolderPath(product, sub, true);
  copyTree(from, to, true, 0);
}

void ensurePresetFolder(const char* product) {
  const std::string testPath = userFolderPath(product, kWriteTestFileName, false);
  FileHandle test(testPath);
  if (test.create() == 0) {
    test.close();
    platform::deleteFile(testPath.c_str());
    return;
  }
  userFolderPath(product, nullptr, true);
  copyFolderTree(product, kPresetFolderName, nullptr, nullptr);
}

}  // namespace shimmerly
