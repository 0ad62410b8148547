// Helpers of the preset tests: a temporary home folder (HOME points at it for one test), a fake
// host that reports a chosen plug-in path, a UI backend that records messages, and small file
// helpers.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "host/host_api.h"
#include "support/temp_dir.h"
#include "ui/message_boxes.h"

namespace shimmerly::testing {

// Points the documents folder at Documents in a fresh temporary folder (on POSIX through HOME,
// on Windows through the user's shell folder "Personal" in the registry) and clears the plug-in
// folder cache and the host record; restores all of them afterwards.
class TempHome {
 public:
  TempHome();
  ~TempHome();
  TempHome(const TempHome&) = delete;
  TempHome& operator=(const TempHome&) = delete;

  std::filesystem::path home() const { return dir_.path(); }
  std::filesystem::path productFolder() const;
  std::filesystem::path presetFolder() const;

 private:
  TempDir dir_;
  std::string savedHome_;
  bool hadHome_ = false;
};

// A host record whose get_platform_data reports pluginPath; installed as the current one for
// its lifetime.
class FakeHost {
 public:
  explicit FakeHost(std::string pluginPath);
  ~FakeHost();
  int calls() const { return calls_; }

 private:
  static PF_Err getPlatformData(PF_ProgPtr ref, int32_t which, void* data);
  std::string pluginPath_;
  int calls_ = 0;
  PF_UtilCallbacks utils_{};
  PF_InData inData_{};
};

// Records every message; prompts and questions are refused.
class RecordingUi final : public UiBackend {
 public:
  RecordingUi() { setUiBackend(this); }
  ~RecordingUi() override { setUiBackend(nullptr); }
  void showMessage(const char* text) override { messages.emplace_back(text); }
  int askQuestion(void*, const char*, const char*, const char*, const char*, const char*) override {
    return -1;
  }
  int runTextPrompt(const TextPrompt&, char*) override { return -1; }
  std::vector<std::string> messages;
};

std::string readBytes(const std::filesystem::path& path);
void writeBytes(const std::filesystem::path& path, const std::string& bytes);
// Every path below root, relative and sorted.
std::vector<std::string> treeOf(const std::filesystem::path& root);

}  // namespace shimmerly::testing
