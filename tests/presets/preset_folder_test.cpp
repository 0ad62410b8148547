// The preset folder tree: path composition and its length limit, file-name safety, the
// documents folder from HOME, the plug-in folder from the host, line reading, listings, and the
// seeding of the factory presets on first use only.
#include "presets/preset_folder.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <pwd.h>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/files.h"
#include "preset_test_support.h"
#include "presets/file_handle.h"

namespace shimmerly {
namespace {

namespace fs = std::filesystem;
using testing::FakeHost;
using testing::readBytes;
using testing::TempDir;
using testing::TempHome;
using testing::treeOf;
using testing::writeBytes;

constexpr char kSep = platform::kPathSeparator;

TEST(Paths, JoinFailsInsteadOfDroppingBytes) {
  EXPECT_EQ(joinPath("a", "b"), std::string("a") + kSep + "b");
  EXPECT_EQ(joinPath("", "b"), "");
  EXPECT_EQ(joinPath("a", ""), "");
  const size_t limit = platform::kMaxPathBytes;
  const std::string folder(limit - 2, 'f');
  EXPECT_EQ(joinPath(folder, "b").size(), limit);
  EXPECT_EQ(joinPath(folder, "bc"), "");
}

TEST(Paths, FileNamePartIsTheLastComponentCut) {
  EXPECT_EQ(fileNamePart("plain name", 255), "plain name");
  EXPECT_EQ(fileNamePart(std::string("x") + kSep + "y" + kSep + "name.smr", 255), "name.smr");
  EXPECT_EQ(fileNamePart(std::string("x") + kSep, 255), "");
  EXPECT_EQ(fileNamePart(std::string(300, 'n'), 255), std::string(255, 'n'));
}

class FileNames : public ::testing::TestWithParam<std::pair<std::string, bool>> {};

INSTANTIATE_TEST_SUITE_P(Cases, FileNames,
                         ::testing::Values(std::pair<std::string, bool>{"Soft Bloom", true},
                                           std::pair<std::string, bool>{".hidden", true},
                                           std::pair<std::string, bool>{"a..b", true},
                                           std::pair<std::string, bool>{"\xc3\xa9t\xc3\xa9", true},
                                           std::pair<std::string, bool>{"", false},
                                           std::pair<std::string, bool>{".", false},
                                           std::pair<std::string, bool>{"..", false},
                                           std::pair<std::string, bool>{"../evil", false},
                                           std::pair<std::string, bool>{"a/b", false},
                                           std::pair<std::string, bool>{"a\\b", false},
                                           std::pair<std::string, bool>{"tab\there", false},
                                           std::pair<std::string, bool>{"line\nbreak", false},
                                           std::pair<std::string, bool>{"\x1f", false}));

TEST_P(FileNames, OnlySingleNamesAreSafe) {
  EXPECT_EQ(isSafeFileName(GetParam().first), GetParam().second);
}

TEST(UserFolder, LivesUnderTheHomeDocumentsFolder) {
  TempHome home;
  const std::string product = userFolderPath("Shimmerly", nullptr, false);
  EXPECT_EQ(product, home.productFolder().string());
  EXPECT_FALSE(fs::exists(home.home() / "Documents"));  // no create flag, nothing made

  const std::string preset = userFolderPath("Shimmerly", "Shimmerly Presets", true);
  EXPECT_EQ(preset, home.presetFolder().string());
  EXPECT_TRUE(fs::is_directory(home.productFolder()));
  EXPECT_FALSE(fs::exists(home.presetFolder()));  // the named item is never created

  EXPECT_EQ(presetFilePath("Shimmerly", "Glow.smr"), (home.presetFolder() / "Glow.smr").string());
  EXPECT_EQ(presetFilePath("Shimmerly", "../Glow.smr"), "");
  EXPECT_EQ(userFolderPath("../Elsewhere", nullptr, true), "");
}

TEST(UserFolder, FallsBackToThePasswordDatabaseWithoutHome) {
  TempHome home;
  unsetenv("HOME");
  const passwd* entry = getpwuid(getuid());
  ASSERT_NE(entry, nullptr);
  std::string documents;
  ASSERT_TRUE(platform::documentsFolder(documents));
  EXPECT_EQ(documents,
            std::string(entry->pw_dir == std::string("/") ? "" : entry->pw_dir) + "/Documents");
}

TEST(UserFolder, TooLongAHomeGivesNoPathAtAll) {
  TempHome home;
  const std::string deep = home.home().string() + "/" + std::string(platform::kMaxPathBytes, 'd');
  setenv("HOME", deep.c_str(), 1);
  EXPECT_EQ(userFolderPath("Shimmerly", nullptr, true), "");
  EXPECT_EQ(presetFilePath("Shimmerly", "x.smr"), "");
  EXPECT_EQ(treeOf(home.home()), std::vector<std::string>{});
}

TEST(PluginFolder, IsTheFolderOfTheModuleTheHostReports) {
  TempHome home;
  const std::string ext = platform::kPluginFileExtension;
  {
    FakeHost host("/opt/effects/Shimmerly" + ext);
    EXPECT_EQ(pluginFolderPath("Shimmerly Presets"), "/opt/effects/Shimmerly Presets");
    EXPECT_EQ(pluginFolderPath(nullptr), "/opt/effects");
    EXPECT_EQ(host.calls(), 1);  // cached after the first answer
  }
  resetPluginFolderCache();
  {
    // The first module ending counts, even in a folder name; bytes behind it are ignored.
    FakeHost host("/opt/odd" + ext + "/more/Shimmerly" + ext);
    EXPECT_EQ(pluginFolderPath(nullptr), "/opt");
  }
  resetPluginFolderCache();
  {
    FakeHost host("/opt/effects/Shimmerly.bin");  // no module ending: the last separator
    EXPECT_EQ(pluginFolderPath("sub"), "/opt/effects/sub");
  }
  for (const std::string& path :
       {std::string("Shimmerly") + ext, "/Shimmerly" + ext, std::string()}) {
    resetPluginFolderCache();
    FakeHost host(path);
    EXPECT_EQ(pluginFolderPath("sub"), "") << path;
    EXPECT_EQ(pluginFolderPath("sub"), "");
    EXPECT_EQ(host.calls(), 2);  // not cached: asked again
  }
  resetPluginFolderCache();
  {
    FakeHost host("/opt/" + std::string(platform::kMaxPathBytes - 30, 'p') + "/Shimmerly" + ext);
    EXPECT_EQ(pluginFolderPath(std::string(40, 's').c_str()), "");
    EXPECT_EQ(pluginFolderPath("s").size(), platform::kMaxPathBytes - 30 + 7);
  }
  resetPluginFolderCache();
  EXPECT_EQ(pluginFolderPath("sub"), "");  // no host record at all
}

TEST(Files, ReadLineSplitsOnAnyLineBreakAndLongLines) {
  TempDir dir;
  const std::string long300(300, 'L');
  writeBytes(dir.path() / "index", "first\r\nsecond\n\n\rthird\r" + long300 + "\nlast");
  FileHandle file((dir.path() / "index").string());
  ASSERT_EQ(file.openRead(), 0);
  char line[256];
  std::vector<std::string> lines;
  while (file.readLine(line, 255) > 0) lines.emplace_back(line);
  EXPECT_EQ(lines, (std::vector<std::string>{"first", "second", "third", std::string(255, 'L'),
                                             std::string(45, 'L'), "last"}));
}

TEST(Files, OpenReadRefusesFoldersAndMissingFiles) {
  TempDir dir;
  fs::create_directory(dir.path() / "folder");
  FileHandle folder((dir.path() / "folder").string());
  EXPECT_NE(folder.openRead(), 0);
  FileHandle missing((dir.path() / "missing").string());
  EXPECT_NE(missing.openRead(), 0);
  EXPECT_EQ(missing.size(), 0);
  FileHandle none;
  EXPECT_NE(none.openRead(), 0);
  EXPECT_NE(none.create(), 0);
}

TEST(Files, ListingsAreSortedFullPaths) {
  TempDir dir;
  for (const char* name : {"b.smr", "a.smr", ".hidden", "B.smr"})
    writeBytes(dir.path() / name, "x");
  fs::create_directory(dir.path() / "sub");
  const std::string root = dir.str();
  std::vector<std::string> expected;
  for (const char* name : {".hidden", "B.smr", "a.smr", "b.smr", "sub"}) {
    expected.push_back(root + kSep + name);
  }
  EXPECT_EQ(folderEntries(root), expected);
  EXPECT_EQ(folderEntryAt(root, 1), expected[0]);
  EXPECT_EQ(folderEntryAt(root, 5), expected[4]);
  EXPECT_EQ(folderEntryAt(root, 6), "");
  EXPECT_EQ(folderEntryAt(root, 0), "");
  EXPECT_EQ(folderEntryAt(root + kSep + "missing", 1), "");
}

TEST(Files, ReplacingFileTouchesTheTargetOnlyOnCommit) {
  TempDir dir;
  const fs::path target = dir.path() / "preset.smr";
  writeBytes(target, "old");
  {
    ReplacingFile file(target.string());
    ASSERT_EQ(file.create(), 0);
    file.file().write("new", 3);
    EXPECT_EQ(readBytes(target), "old");
  }  // dropped without commit
  EXPECT_EQ(readBytes(target), "old");
  EXPECT_EQ(treeOf(dir.path()), std::vector<std::string>{"preset.smr"});
  ReplacingFile file(target.string());
  ASSERT_EQ(file.create(), 0);
  file.file().write("new", 3);
  EXPECT_EQ(file.commit(), 0);
  EXPECT_EQ(readBytes(target), "new");
  EXPECT_EQ(treeOf(dir.path()), std::vector<std::string>{"preset.smr"});
}

// A plug-in folder with a factory folder: files, a hidden file, an empty file, a sub-folder.
struct Factory {
  TempDir dir;
  fs::path presets() const { return dir.path() / "Shimmerly Presets"; }
  Factory() {
    fs::create_directories(presets() / "Sub" / "Deeper");
    writeBytes(presets() / "A.smr", "aaa");
    writeBytes(presets() / "Shimmerly Presets.idx", "A\n");
    writeBytes(presets() / ".DS_Store", "junk");
    writeBytes(presets() / "Empty.smr", "");
    writeBytes(presets() / "Sub" / "B.smr", "bbb");
    writeBytes(presets() / "Sub" / ".hidden", "h");
    writeBytes(presets() / "Sub" / "Deeper" / "C.smr", "ccc");
    fs::create_directory(presets() / ".git");
    writeBytes(presets() / ".git" / "x", "x");
  }
  std::string modulePath() const {
    return (dir.path() / (std::string("Shimmerly") + platform::kPluginFileExtension)).string();
  }
};

TEST(Seeding, FirstUseCopiesTheFactoryTreeOnce) {
  TempHome home;
  Factory factory;
  FakeHost host(factory.modulePath());
  ensurePresetFolder("Shimmerly");
  EXPECT_EQ(
      treeOf(home.productFolder()),
      (std::vector<std::string>{"Shimmerly Presets", "Shimmerly Presets/A.smr",
                                "Shimmerly Presets/Shimmerly Presets.idx", "Shimmerly Presets/Sub",
                                "Shimmerly Presets/Sub/B.smr", "Shimmerly Presets/Sub/Deeper",
                                "Shimmerly Presets/Sub/Deeper/C.smr"}));
  EXPECT_EQ(readBytes(home.presetFolder() / "Sub" / "Deeper" / "C.smr"), "ccc");

  // Later starts find the product folder writable and copy nothing, so deleted presets stay
  // deleted; the write-test file is gone again.
  fs::remove(home.presetFolder() / "A.smr");
  ensurePresetFolder("Shimmerly");
  EXPECT_FALSE(fs::exists(home.presetFolder() / "A.smr"));
  EXPECT_FALSE(fs::exists(home.productFolder() / "_test file"));
}

TEST(Seeding, WithoutAPluginFolderNothingIsRead) {
  TempHome home;
  // A factory folder in the working folder must not be taken for the plug-in's.
  const fs::path saved = fs::current_path();
  Factory factory;
  fs::current_path(factory.dir.path());
  ensurePresetFolder("Shimmerly");
  fs::current_path(saved);
  EXPECT_EQ(treeOf(home.productFolder()), std::vector<std::string>{"Shimmerly Presets"});
}

TEST(Seeding, AFolderLinkBackUpTheTreeEnds) {
  TempHome home;
  Factory factory;
  fs::create_directory_symlink(factory.presets(), factory.presets() / "Loop");
  FakeHost host(factory.modulePath());
  ensurePresetFolder("Shimmerly");
  EXPECT_TRUE(fs::exists(home.presetFolder() / "Loop" / "Loop" / "A.smr"));
  EXPECT_LT(treeOf(home.presetFolder()).size(), 500u);
}

}  // namespace
}  // namespace shimmerly
