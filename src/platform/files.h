// Operating-system services behind the preset folder tree: the documents folder, folders and
// their listings, plain files, and the rename that makes saves atomic. Paths are byte texts in the
// system's own form and separator; every call takes a complete path. One implementation per
// system (platform/posix, platform/windows); nothing here knows about presets.
#pragma once

#include <limits.h>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace shimmerly::platform {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
// Longest composed path in bytes, terminator not counted (MAX_PATH - 1).
inline constexpr size_t kMaxPathBytes = 259;
// Ending of the plug-in module's file name, as the host reports the module's path.
inline constexpr const char* kPluginFileExtension = ".aex";
#else
inline constexpr char kPathSeparator = '/';
#ifdef PATH_MAX
inline constexpr size_t kMaxPathBytes = PATH_MAX - 1;
#else
inline constexpr size_t kMaxPathBytes = 4095;
#endif
inline constexpr const char* kPluginFileExtension = ".so";
#endif

// True for every byte the system accepts as a folder separator.
inline bool isPathSeparator(char c) {
#ifdef _WIN32
  return c == '\\' || c == '/';
#else
  return c == '/';
#endif
}

// The current user's documents folder without a trailing separator. False (path untouched) when
// the system cannot name one.
bool documentsFolder(std::string& path);

// Creates one folder. An existing folder, or a failure, is not reported: later file operations
// fail instead.
void createFolder(const std::string& path);

// Replaces names with the names of the folder's entries (files and sub-folders, without the
// folder's own "." and ".."), sorted byte by byte so that every listing of an unchanged folder
// comes in the same order. False when the folder cannot be listed.
bool listFolder(const std::string& path, std::vector<std::string>& names);

// A system file handle; kNoFile when there is none. Wide enough for a Windows HANDLE.
using NativeFile = intptr_t;
inline constexpr NativeFile kNoFile = -1;

// Opens an existing regular file for reading; kNoFile for a folder, a device or any failure.
NativeFile openFileForReading(const char* path);
// Creates a file for writing, replacing an existing one; kNoFile on failure.
NativeFile createFileForWriting(const char* path);
// The size in bytes of an open file; 0 on failure.
int64_t fileSize(NativeFile file);
// Reads up to n bytes; the count read, 0 at the end of the file or on failure.
int64_t readFile(NativeFile file, void* buffer, int64_t n);
// Writes n bytes (retrying short writes); the count written, less than n on failure.
int64_t writeFile(NativeFile file, const void* data, int64_t n);
// Pushes written data to the storage device, so that a rename that follows cannot expose a
// file whose content was lost; false on failure.
bool flushFile(NativeFile file);
// Closes the handle; false when the system reports that written data may be lost.
bool closeFile(NativeFile file);
// Deletes a file; false on failure.
bool deleteFile(const char* path);
// Renames from over to, replacing an existing file in one step; false on failure (from is
// then left in place).
bool replaceFile(const char* from, const char* to);

}  // namespace shimmerly::platform
