// The preset folder tree under the user's documents folder (maker folder "Brindlex", then the
// product folder, then "Shimmerly Presets"), its seeding with the factory presets that lie beside
// the plug-in file, and the path services of the preset library. A path is a std::string; the
// empty path means "no path" and every file operation on it fails. A composition longer than
// platform::kMaxPathBytes gives the empty path instead of a shortened one.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace shimmerly {

// Name of the preset folder inside the product folder, and of the factory folder beside the
// plug-in file.
inline constexpr const char* kPresetFolderName = "Shimmerly Presets";
// Name of the write-test file in the product folder.
inline constexpr const char* kWriteTestFileName = "_test file";
// Name of the maker folder in the documents folder.
inline constexpr const char* kMakerFolderName = "Brindlex";

// a, the separator, b; empty when a or b is empty or the result is too long.
std::string joinPath(const std::string& a, const std::string& b);
// The part after the last separator (the whole text when there is none), cut to maxLength bytes.
std::string fileNamePart(const std::string& path, size_t maxLength);
// True when name can be used as one entry of a folder: not empty, not "." or "..", no separator
// ('/' or '\\' on every system) and no control byte below 0x20.
bool isSafeFileName(const std::string& name);

// The product folder, or with a name the product folder joined with it. With create the maker
// and product folders are created where missing (never the named item). Empty when there is no
// documents folder or the path is too long.
std::string userFolderPath(const char* product, const char* name, bool create);
// The preset folder joined with fileName; creates the maker and product folders where missing.
// Empty when fileName is not a safe file name or the path is too long.
std::string presetFilePath(const char* product, const std::string& fileName);
// Tells the path of the plug-in's module file, as its host or loader knows it, or "" when it
// cannot tell now. The plug-in's host glue installs one that asks the host
// (get_platform_data(PF_PlatData_EXE_FILE_PATH)); the public library one that asks the loader.
using ModulePathSource = std::string (*)();
void setModulePathSource(ModulePathSource source);
// The plug-in file's folder joined with sub (the folder alone when sub is null), found from the
// module path source's answer and cached once found. Empty when there is no source, it gives
// no path, or the folder cannot be determined.
std::string pluginFolderPath(const char* sub);
// Forgets the cached plug-in folder, so that the next pluginFolderPath asks the host again.
void resetPluginFolderCache();

// The full paths of a folder's entries in the platform's stable listing order.
std::vector<std::string> folderEntries(const std::string& folder);
// The n-th (from 1) entry of the folder's listing as a full path; empty when there is none.
std::string folderEntryAt(const std::string& folder, int n);

// Copies the folder tree sub from source (default: the plug-in folder's sub) into destination
// (default: the user's product folder joined with sub): files first, then each sub-folder.
// Entries beginning with "." and files of zero bytes are not copied. Without a source nothing
// is read.
void copyFolderTree(const char* product, const char* sub, const std::string* source,
                    const std::string* destination);

// Makes sure the product folder exists and, the first time, fills the preset folder with the
// factory presets.
void ensurePresetFolder(const char* product);

}  // namespace shimmerly
