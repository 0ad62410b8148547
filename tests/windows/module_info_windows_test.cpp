// The about text's platform services on Windows: the file version from the version resource of
// a module file (this test program carries the plug-in's resources) and the Shift key state.
#include <gtest/gtest.h>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstring>

#include "host/module_info.h"

namespace shimmerly {
namespace {

TEST(WindowsModuleInfo, VersionFromTheModulesVersionResource) {
  char own[MAX_PATH] = {};
  ASSERT_GT(GetModuleFileNameA(nullptr, own, MAX_PATH), 0u);
  const char* base = std::strrchr(own, '\\') ? std::strrchr(own, '\\') + 1 : own;
  for (const char* name : {static_cast<const char*>(own), base}) {
    int32_t version[3] = {-1, -1, -1};
    EXPECT_TRUE(readModuleFileVersion(name, version)) << name;
    EXPECT_EQ(version[0], SHIMMERLY_VERSION_MAJOR);
    EXPECT_EQ(version[1], SHIMMERLY_VERSION_MINOR);
    EXPECT_EQ(version[2], SHIMMERLY_VERSION_PATCH);
  }
  for (const char* name : {"", "C:\\no such folder\\Shimmerly.aex"}) {
    int32_t version[3] = {7, 7, 7};
    EXPECT_FALSE(readModuleFileVersion(name, version)) << name;
    EXPECT_EQ(version[0] | version[1] | version[2], 0);
  }
}

TEST(WindowsModuleInfo, ShiftKeyFollowsTheKeyboard) {
  INPUT press{};
  press.type = INPUT_KEYBOARD;
  press.ki.wVk = VK_SHIFT;
  INPUT release = press;
  release.ki.dwFlags = KEYEVENTF_KEYUP;
  ASSERT_EQ(SendInput(1, &press, sizeof press), 1u);
  Sleep(20);
  EXPECT_TRUE(isShiftKeyDown());
  ASSERT_EQ(SendInput(1, &release, sizeof release), 1u);
  Sleep(20);
  EXPECT_FALSE(isShiftKeyDown());
}

}  // namespace
}  // namespace shimmerly
