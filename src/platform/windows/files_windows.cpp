// Windows file services of the preset folder tree, on the ANSI shell and file calls: the
// documents folder (SHGetSpecialFolderPathA, CSIDL_PERSONAL), CreateDirectoryA, listings through
// FindFirstFileA/FindNextFileA (sorted byte by byte), and files as HANDLEs carried in a
// NativeFile, opened without sharing. Paths are complete, with backslashes.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <shlobj.h>
#include <windows.h>

#include <algorithm>
#include <cstring>

#include "platform/files.h"

namespace shimmerly::platform {
namespace {

HANDLE handleOf(NativeFile file) {
  return reinterpret_cast<HANDLE>(file);
}

NativeFile nativeOf(HANDLE handle) {
  return handle == INVALID_HANDLE_VALUE ? kNoFile : reinterpret_cast<NativeFile>(handle);
}

// ReadFile and WriteFile count in 32 bits: larger transfers go in blocks of this size.
constexpr int64_t kMaxTransfer = 1 << 30;

}  // namespace

bool documentsFolder(std::string& path) {
  char folder[MAX_PATH] = {};
  if (!SHGetSpecialFolderPathA(nullptr, folder, CSIDL_PERSONAL, FALSE) || folder[0] == '\0')
    return false;
  size_t length = std::strlen(folder);
  // "C:\" keeps its separator only as long as it is more than a drive name.
  while (length > 0 && (folder[length - 1] == '\\' || folder[length - 1] == '/')) --length;
  path.assign(folder, length);
  return true;
}

void createFolder(const std::string& path) {
  if (!path.empty()) CreateDirectoryA(path.c_str(), nullptr);
}

bool listFolder(const std::string& path, std::vector<std::string>& names) {
  names.clear();
  if (path.empty() || path.size() + 4 > kMaxPathBytes) return false;
  WIN32_FIND_DATAA entry;
  HANDLE listing = FindFirstFileA((path + "\\*.*").c_str(), &entry);
  if (listing == INVALID_HANDLE_VALUE) return false;
  do {
    const std::string name = entry.cFileName;
    if (name == "." || name == "..") continue;
    names.push_back(name);
  } while (FindNextFileA(listing, &entry));
  FindClose(listing);
  // The system's listing order depends on the file system; sorted, it is the same every time.
  std::sort(names.begin(), names.end());
  return true;
}

NativeFile openFileForReading(const char* path) {
  if (!path || path[0] == '\0') return kNoFile;
  // Without FILE_FLAG_BACKUP_SEMANTICS a folder cannot be opened, which is what callers use to
  // tell files from folders.
  HANDLE file =
      CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return kNoFile;
  if (GetFileType(file) != FILE_TYPE_DISK) {  // no devices, pipes or consoles
    CloseHandle(file);
    return kNoFile;
  }
  return nativeOf(file);
}

NativeFile createFileForWriting(const char* path) {
  if (!path || path[0] == '\0') return kNoFile;
  return nativeOf(
      CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

int64_t fileSize(NativeFile file) {
  LARGE_INTEGER size;
  if (file == kNoFile || !GetFileSizeEx(handleOf(file), &size)) return 0;
  return size.QuadPart;
}

int64_t readFile(NativeFile file, void* buffer, int64_t n) {
  if (file == kNoFile || n <= 0) return 0;
  DWORD got = 0;
  if (!ReadFile(handleOf(file), buffer, static_cast<DWORD>(std::min(n, kMaxTransfer)), &got,
                nullptr))
    return 0;
  return got;
}

int64_t writeFile(NativeFile file, const void* data, int64_t n) {
  if (file == kNoFile || n <= 0) return 0;
  const char* bytes = static_cast<const char*>(data);
  int64_t done = 0;
  while (done < n) {
    DWORD put = 0;
    if (!WriteFile(handleOf(file), bytes + done,
                   static_cast<DWORD>(std::min(n - done, kMaxTransfer)), &put, nullptr) ||
        put == 0)
      break;
    done += put;
  }
  return done;
}

bool flushFile(NativeFile file) {
  return file != kNoFile && FlushFileBuffers(handleOf(file));
}

bool closeFile(NativeFile file) {
  return file == kNoFile || CloseHandle(handleOf(file));
}

bool deleteFile(const char* path) {
  if (!path || path[0] == '\0') return false;
  // Opened with no access and delete-on-close, the file goes when the handle closes.
  HANDLE file = CreateFileA(path, 0, FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                            FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES;
}

bool replaceFile(const char* from, const char* to) {
  return from && to &&
         MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

}  // namespace shimmerly::platform
