// The Shimmerly host-services query: a host that draws the plug-in's boxes for one command, a
// host that asks for the detailed about text, and hosts that know nothing of the query.
#include "host/host_services.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "host/module_info.h"
#include "host/plugin_state.h"
#include "ui/scripted_backend.h"

namespace shimmerly {
namespace {

// A host that answers the query with a record of its own and keeps a log of the boxes.
struct FakeHost {
  bool knowsQuery = true;
  PF_ShimmerlyHostServices services{};
  std::vector<std::string> log;
  const char* promptAnswer = "From host";
  int questionAnswer = 1;

  PF_UtilCallbacks utils{};
  PF_InData in{};

  FakeHost() {
    utils.get_platform_data = &platformData;
    in.utils = &utils;
    in.effect_ref = this;
    services.refcon = this;
  }
  void drawBoxes() {
    services.show_message = [](void* refcon, const char* text) {
      static_cast<FakeHost*>(refcon)->log.push_back(std::string("message:") + text);
    };
    services.ask_question = [](void* refcon, const char* text, const char*, const char*,
                               const char*, const char*) -> int32_t {
      auto* host = static_cast<FakeHost*>(refcon);
      host->log.push_back(std::string("question:") + text);
      return host->questionAnswer;
    };
    services.run_text_prompt = [](void* refcon, const char* label, const char*, const char* initial,
                                  char* result) -> int32_t {
      auto* host = static_cast<FakeHost*>(refcon);
      host->log.push_back(std::string("prompt:") + label + "|" + initial);
      if (!host->promptAnswer) return -1;
      // An answer of 256 bytes or more fills the field without a terminator: it must be cut.
      const size_t length = std::strlen(host->promptAnswer);
      std::memcpy(result, host->promptAnswer, length < 256 ? length + 1 : 256);
      return 0;
    };
  }

  static PF_Err platformData(PF_ProgPtr ref, int32_t which, void* data) {
    auto* host = static_cast<FakeHost*>(ref);
    if (which != PF_PlatData_SHIMMERLY_HOST_SERVICES || !host->knowsQuery)
      return PF_Err_BAD_CALLBACK_PARAM;
    *static_cast<PF_ShimmerlyHostServices*>(data) = host->services;
    return PF_Err_NONE;
  }
};

class HostServices : public ::testing::Test {
 protected:
  FakeHost host;
  ScriptedUiBackend plugInBoxes;
  void SetUp() override {
    pluginState().currentInData = &host.in;
    setUiBackend(&plugInBoxes);
  }
  void TearDown() override {
    pluginState().currentInData = nullptr;
    setUiBackend(nullptr);
  }
};

TEST_F(HostServices, AHostThatDrawsGetsEveryBoxOfTheCommandThenThePlugInsOwnComeBack) {
  host.drawBoxes();
  host.questionAnswer = 7;  // out of range: treated as a box that could not be shown
  {
    HostBoxesScope scope;
    char buffer[256] = {};
    TextPrompt box(172, nullptr, "Set preset name:", 1004, 1003, "old", "");
    EXPECT_EQ(box.run(buffer), 0);
    EXPECT_STREQ(buffer, "From host");
    EXPECT_EQ(askQuestion(nullptr, "Replace?", "Yes", "No", nullptr, "Preset"), -1);
    showMessage("Saved.");
    host.promptAnswer = nullptr;
    EXPECT_EQ(box.run(buffer), -1);
    EXPECT_STREQ(buffer, "From host");
  }
  EXPECT_EQ(host.log, (std::vector<std::string>{"prompt:Set preset name:|old", "question:Replace?",
                                                "message:Saved.", "prompt:Set preset name:|old"}));
  showMessage("After.");
  EXPECT_EQ(plugInBoxes.messages(), (std::vector<std::string>{"After."}));
}

TEST_F(HostServices, AnUnterminatedHostAnswerIsCutToTheField) {
  host.drawBoxes();
  std::string longAnswer(300, 'n');
  host.promptAnswer = longAnswer.c_str();
  HostBoxesScope scope;
  char buffer[256] = {};
  TextPrompt box(172, nullptr, "Set preset name:", 1004, 1003, "", "");
  ASSERT_EQ(box.run(buffer), 0);
  EXPECT_EQ(std::string(buffer), std::string(255, 'n'));
}

TEST_F(HostServices, HostsWithoutBoxesLeaveThePlugInsOwn) {
  for (bool knowsQuery : {false, true}) {
    host.knowsQuery = knowsQuery;  // knows the query but offers no boxes
    HostBoxesScope scope;
    showMessage("Mine.");
  }
  EXPECT_EQ(plugInBoxes.messages(), (std::vector<std::string>{"Mine.", "Mine."}));
  EXPECT_TRUE(host.log.empty());
}

TEST_F(HostServices, ShiftCountsAsHeldOnlyWhenTheHostSaysSo) {
  EXPECT_FALSE(isShiftKeyDown());
  host.services.shift_key_down = 1;
  EXPECT_TRUE(isShiftKeyDown());
  host.knowsQuery = false;
  EXPECT_FALSE(isShiftKeyDown());
  pluginState().currentInData = nullptr;
  EXPECT_FALSE(isShiftKeyDown());
}

}  // namespace
}  // namespace shimmerly
