// The Windows platform layer under wine: the documents folder, folders and sorted listings,
// files opened without sharing, delete and replace; the preset path services on Windows paths
// (backslashes, the 259-byte limit, ".aex" in a folder name) with the plug-in path coming from
// the host's get_platform_data, and the seeding of the user's preset folder.
#include <gtest/gtest.h>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "host/host_api.h"
#include "host/plugin_state.h"
#include "platform/files.h"
#include "presets/preset_folder.h"
#include "support/temp_dir.h"

namespace shimmerly {
namespace {

using platform::kNoFile;
using platform::NativeFile;

std::string windowsPath(const testing::TempDir& dir) {
  std::string path = dir.str();
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

void writeWhole(const std::string& path, const std::string& content) {
  NativeFile file = platform::createFileForWriting(path.c_str());
  ASSERT_NE(file, kNoFile) << path;
  ASSERT_EQ(platform::writeFile(file, content.data(), static_cast<int64_t>(content.size())),
            static_cast<int64_t>(content.size()));
  ASSERT_TRUE(platform::closeFile(file));
}

std::string readWhole(const std::string& path) {
  NativeFile file = platform::openFileForReading(path.c_str());
  if (file == kNoFile) return "<cannot open>";
  std::string content(static_cast<size_t>(platform::fileSize(file)), '\0');
  const int64_t got =
      platform::readFile(file, content.data(), static_cast<int64_t>(content.size()));
  platform::closeFile(file);
  content.resize(static_cast<size_t>(got));
  return content;
}

bool exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

TEST(WindowsFiles, DocumentsFolderIsAnExistingFolderWithoutTrailingSeparator) {
  std::string documents;
  ASSERT_TRUE(platform::documentsFolder(documents));
  ASSERT_FALSE(documents.empty());
  EXPECT_NE(documents.back(), '\\');
  EXPECT_NE(documents.find('\\'), std::string::npos);
  const DWORD attributes = GetFileAttributesA(documents.c_str());
  ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

TEST(WindowsFiles, ListingIsSortedByteByByteWithoutDotEntries) {
  testing::TempDir dir;
  const std::string root = windowsPath(dir);
  for (const char* name : {"b.smr", "Zeta.smr", "a.smr", "_test file"})
    writeWhole(root + "\\" + name, "x");
  platform::createFolder(root + "\\Sub.aex folder");
  platform::createFolder(root + "\\Sub.aex folder");  // an existing folder is fine
  std::vector<std::string> names{"stale"};
  ASSERT_TRUE(platform::listFolder(root, names));
  EXPECT_EQ(names, (std::vector<std::string>{"Sub.aex folder", "Zeta.smr", "_test file", "a.smr",
                                             "b.smr"}));
  EXPECT_FALSE(platform::listFolder(root + "\\missing", names));
  EXPECT_TRUE(names.empty());
  EXPECT_FALSE(platform::listFolder("", names));
}

TEST(WindowsFiles, WriteReadSizeAndReplaceOnCreate) {
  testing::TempDir dir;
  const std::string path = windowsPath(dir) + "\\Warm Glow.smr";
  writeWhole(path, "GlowUnit\nbegin\nend\n");
  EXPECT_EQ(readWhole(path), "GlowUnit\nbegin\nend\n");
  writeWhole(path, "short");  // creating replaces the old content
  EXPECT_EQ(readWhole(path), "short");
  NativeFile file = platform::openFileForReading(path.c_str());
  ASSERT_NE(file, kNoFile);
  EXPECT_EQ(platform::fileSize(file), 5);
  char buffer[8];
  EXPECT_EQ(platform::readFile(file, buffer, 8), 5);
  EXPECT_EQ(platform::readFile(file, buffer, 8), 0);  // the end
  EXPECT_TRUE(platform::closeFile(file));
  EXPECT_EQ(platform::fileSize(kNoFile), 0);
  EXPECT_EQ(platform::readFile(kNoFile, buffer, 8), 0);
  EXPECT_EQ(platform::writeFile(kNoFile, buffer, 8), 0);
}

TEST(WindowsFiles, FoldersAndMissingFilesDoNotOpenAndFilesAreNotShared) {
  testing::TempDir dir;
  const std::string root = windowsPath(dir);
  EXPECT_EQ(platform::openFileForReading(root.c_str()), kNoFile);
  EXPECT_EQ(platform::openFileForReading((root + "\\missing.smr").c_str()), kNoFile);
  EXPECT_EQ(platform::openFileForReading(""), kNoFile);
  EXPECT_EQ(platform::createFileForWriting((root + "\\no folder\\x.smr").c_str()), kNoFile);
  const std::string path = root + "\\held.smr";
  writeWhole(path, "held");
  NativeFile held = platform::openFileForReading(path.c_str());
  ASSERT_NE(held, kNoFile);
  EXPECT_EQ(platform::openFileForReading(path.c_str()), kNoFile);
  EXPECT_EQ(platform::createFileForWriting(path.c_str()), kNoFile);
  platform::closeFile(held);
}

TEST(WindowsFiles, DeleteOnCloseAndReplace) {
  testing::TempDir dir;
  const std::string root = windowsPath(dir);
  const std::string a = root + "\\a.smr", b = root + "\\b.smr";
  writeWhole(a, "new");
  writeWhole(b, "old");
  EXPECT_TRUE(platform::replaceFile(a.c_str(), b.c_str()));
  EXPECT_FALSE(exists(a));
  EXPECT_EQ(readWhole(b), "new");
  EXPECT_FALSE(platform::replaceFile(a.c_str(), b.c_str()));
  EXPECT_TRUE(platform::deleteFile(b.c_str()));
  EXPECT_FALSE(exists(b));
  EXPECT_FALSE(platform::deleteFile(b.c_str()));
}

TEST(WindowsPaths, BackslashesAndThe259ByteLimit) {
  EXPECT_EQ(joinPath("C:\\Users\\me", "Brindlex"), "C:\\Users\\me\\Brindlex");
  const std::string folder = "C:\\" + std::string(200, 'f');
  EXPECT_EQ(joinPath(folder, std::string(55, 'n')).size(), 259u);
  EXPECT_EQ(joinPath(folder, std::string(56, 'n')), "");
  EXPECT_EQ(fileNamePart("C:\\Presets\\Blue Haze.smr", 255), "Blue Haze.smr");
  EXPECT_EQ(fileNamePart("C:/Presets/Blue Haze.smr", 255), "Blue Haze.smr");
  EXPECT_EQ(fileNamePart("Blue Haze.smr", 4), "Blue");
}

// The host's answer to get_platform_data(PF_PlatData_EXE_FILE_PATH) in these tests.
std::string hostPluginPath;

PF_Err PF_CALL answerPlatformData(PF_ProgPtr, int32_t which, void* data) {
  if (which != PF_PlatData_EXE_FILE_PATH) return PF_Err_BAD_CALLBACK_PARAM;
  std::memcpy(data, hostPluginPath.c_str(), hostPluginPath.size() + 1);
  return PF_Err_NONE;
}

class WindowsPluginFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    utils_.get_platform_data = answerPlatformData;
    in_.utils = &utils_;
    saved_ = pluginState().currentInData;
    pluginState().currentInData = &in_;
    resetPluginFolderCache();
  }
  void TearDown() override {
    pluginState().currentInData = saved_;
    resetPluginFolderCache();
  }
  std::string folderFor(const std::string& pluginPath, const char* sub) {
    hostPluginPath = pluginPath;
    resetPluginFolderCache();
    return pluginFolderPath(sub);
  }

 private:
  PF_UtilCallbacks utils_{};
  PF_InData in_{};
  PF_InData* saved_ = nullptr;
};

TEST_F(WindowsPluginFolder, FolderOfTheModuleFromTheHostsPath) {
  EXPECT_EQ(folderFor("C:\\Program Files\\Host\\Plug-ins\\Shimmerly.aex", "Shimmerly Presets"),
            "C:\\Program Files\\Host\\Plug-ins\\Shimmerly Presets");
  // The first ".aex" counts, even inside a folder name: that folder's parent holds it.
  EXPECT_EQ(folderFor("C:\\Hosts\\Old.aex Plug-ins\\Effects\\Shimmerly.aex", nullptr), "C:\\Hosts");
  EXPECT_EQ(folderFor("Shimmerly.aex", nullptr), "");
  EXPECT_EQ(folderFor("\\Shimmerly.aex", nullptr), "");
}

TEST_F(WindowsPluginFolder, SeedsTheUsersPresetFolderOnceFromBesideTheModule) {
  std::string documents;
  ASSERT_TRUE(platform::documentsFolder(documents));
  const std::string product = "Shimmerly Windows Test";
  const std::string productFolder = documents + "\\Brindlex\\" + product;
  testing::TempDir dir;
  const std::string plugins = windowsPath(dir);
  const std::string factory = plugins + "\\Shimmerly Presets";
  platform::createFolder(factory);
  platform::createFolder(factory + "\\Extra");
  writeWhole(factory + "\\Blue Haze.smr", "blue");
  writeWhole(factory + "\\.hidden", "skip");
  writeWhole(factory + "\\Empty.smr", "");
  writeWhole(factory + "\\Extra\\Deep.smr", "deep");
  hostPluginPath = plugins + "\\Shimmerly.aex";

  ensurePresetFolder(product.c_str());
  const std::string seeded = productFolder + "\\Shimmerly Presets";
  EXPECT_EQ(readWhole(seeded + "\\Blue Haze.smr"), "blue");
  EXPECT_EQ(readWhole(seeded + "\\Extra\\Deep.smr"), "deep");
  EXPECT_FALSE(exists(seeded + "\\.hidden"));
  EXPECT_FALSE(exists(seeded + "\\Empty.smr"));
  EXPECT_FALSE(exists(productFolder + "\\_test file"));

  // Once the product folder is writable, deleted presets stay deleted.
  ASSERT_TRUE(platform::deleteFile((seeded + "\\Blue Haze.smr").c_str()));
  ensurePresetFolder(product.c_str());
  EXPECT_FALSE(exists(seeded + "\\Blue Haze.smr"));

  for (const char* file : {"\\Extra\\Deep.smr"}) platform::deleteFile((seeded + file).c_str());
  RemoveDirectoryA((seeded + "\\Extra").c_str());
  RemoveDirectoryA(seeded.c_str());
  RemoveDirectoryA(productFolder.c_str());
}

}  // namespace
}  // namespace shimmerly
