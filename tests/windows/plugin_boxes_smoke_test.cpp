// Smoke test of the shipped module's boxes: loads Shimmerly.aex with LoadLibrary as the Windows
// host does and runs the presets popup's Save... flow, whose prompt, question and message boxes
// come from the module's own dialog templates and the system's message box. Each box opens and
// is closed the way a user closes it; the saved preset lands in the documents folder.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/plugin_host.h"
#include "host/params.h"
#include "platform/files.h"
#include "platform/windows/resource_ids.h"
#include "windows/dialog_driver.h"

namespace shimmerly {
namespace {

using testing::clickButton;
using testing::DialogDriver;
using testing::typeText;
using testing::windowText;

constexpr int32_t kSaveChoice = 3;

TEST(PluginBoxesSmoke, SaveFlowOpensEachBoxFromTheModule) {
  std::unique_ptr<cli::PluginHost> host = cli::PluginHost::open(SHIMMERLY_PLUGIN_FILE);
  host->start();

  struct Seen {
    std::string caption, text;
  };
  std::vector<Seen> seen;
  auto prompt = [&](const char* name) {
    return [&seen, name](HWND dialog) {
      seen.push_back({windowText(dialog), windowText(GetDlgItem(dialog, SHIMMERLY_PROMPT_LABEL))});
      HWND edit = GetDlgItem(dialog, SHIMMERLY_PROMPT_EDIT);
      typeText(edit, name);  // replaces the selected text
      clickButton(dialog, IDOK);
    };
  };
  auto answer = [&](int id, int textId) {
    return [&seen, id, textId](HWND dialog) {
      seen.push_back({windowText(dialog), windowText(GetDlgItem(dialog, textId))});
      clickButton(dialog, id);
    };
  };
  constexpr int kMessageText = 0xFFFF;
  const std::string name = "Smoke Test Glow";
  {
    DialogDriver driver({
        prompt("Moonlight"),                                         // a factory preset
        answer(SHIMMERLY_QUESTION_SECOND, SHIMMERLY_QUESTION_TEXT),  // do not replace it
        prompt(".hidden"),                                           // refused name
        answer(IDOK, kMessageText),                                  // the refusal
        prompt(name.c_str()),                                        // a new preset
        answer(IDOK, kMessageText),                                  // saved notice
    });
    host->param(PARAM_PRESETS).u.pd.value = kSaveChoice;
    EXPECT_EQ(host->userChangedParam(PARAM_PRESETS), PF_Err_NONE);
    EXPECT_TRUE(driver.acted());
  }
  host->finish();

  ASSERT_EQ(seen.size(), 6u);
  EXPECT_EQ(seen[0].caption, "");
  EXPECT_EQ(seen[0].text, "Set preset name:");
  EXPECT_EQ(seen[1].caption, "Preset");
  EXPECT_NE(seen[1].text.find("already taken"), std::string::npos) << seen[1].text;
  EXPECT_EQ(seen[3].caption, "Attention !");
  EXPECT_NE(seen[3].text.find("period"), std::string::npos) << seen[3].text;
  EXPECT_EQ(seen[5].caption, "Attention !");

  std::string documents;
  ASSERT_TRUE(platform::documentsFolder(documents));
  const std::string saved =
      documents + "\\Brindlex\\Shimmerly\\Shimmerly Presets\\" + name + ".smr";
  EXPECT_NE(GetFileAttributesA(saved.c_str()), INVALID_FILE_ATTRIBUTES) << saved;
  platform::deleteFile(saved.c_str());
}

}  // namespace
}  // namespace shimmerly
