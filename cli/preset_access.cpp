// The presets popup seen from the host side, and the scripted answers to the plug-in's boxes.
#include "cli/preset_access.h"

#include <cstring>
#include <stdexcept>

#include "host/param_indices.h"

namespace shimmerly::cli {
namespace {

constexpr const char* kAvailableLater =
    "This preset will be available the next time the application is started.";

// Answers of one notice: the boxes the plug-in opens go to this record through refcon.
struct ScriptedBoxes {
  std::string promptAnswer;  // given once; a prompt that comes back is cancelled
  int prompts = 0;
  int questionAnswer = -1;
  int questions = 0;
  std::vector<std::string> messages;

  static void PF_CALL message(void* refcon, const char* text) {
    static_cast<ScriptedBoxes*>(refcon)->messages.emplace_back(text ? text : "");
  }
  static int32_t PF_CALL question(void* refcon, const char*, const char*, const char*, const char*,
                                  const char*) {
    auto* self = static_cast<ScriptedBoxes*>(refcon);
    ++self->questions;
    return self->questionAnswer;
  }
  static int32_t PF_CALL prompt(void* refcon, const char*, const char*, const char*, char* result) {
    auto* self = static_cast<ScriptedBoxes*>(refcon);
    if (self->prompts++ > 0) return -1;
    std::snprintf(result, 256, "%s", self->promptAnswer.c_str());
    return 0;
  }
};

// Sends the notice for the presets popup at value, with the boxes answered by boxes.
void notifyPopup(PluginHost& host, int32_t value, ScriptedBoxes& boxes) {
  auto previous = host.hostServicesHook;
  const bool details = [&] {
    PF_ShimmerlyHostServices probe{};
    if (previous) previous(probe);
    return probe.shift_key_down != 0;
  }();
  host.hostServicesHook = [&boxes, details](PF_ShimmerlyHostServices& services) {
    services.shift_key_down = details;
    services.refcon = &boxes;
    services.show_message = ScriptedBoxes::message;
    services.ask_question = ScriptedBoxes::question;
    services.run_text_prompt = ScriptedBoxes::prompt;
  };
  host.param(PARAM_PRESETS).u.pd.value = value;
  PF_Err err = host.userChangedParam(PARAM_PRESETS);
  host.hostServicesHook = previous;
  if (err != PF_Err_NONE)
    throw PluginError(
        "the plug-in failed to handle the presets popup (code " + std::to_string(err) + ")", err);
}

void requirePresetsPopup(PluginHost& host) {
  if (host.paramCount() <= static_cast<size_t>(PARAM_PRESETS) ||
      host.param(PARAM_PRESETS).param_type != PF_Param_POPUP)
    throw std::runtime_error("the plug-in declared no presets popup");
}

}  // namespace

std::vector<std::string> popupPresetNames(PluginHost& host) {
  requirePresetsPopup(host);
  const PF_PopupDef& popup = host.param(PARAM_PRESETS).u.pd;
  std::vector<std::string> items;
  std::string text = popup.names ? popup.names : "";
  size_t start = 0;
  for (;;) {
    size_t bar = text.find('|', start);
    items.push_back(text.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
    if (bar == std::string::npos) break;
    start = bar + 1;
  }
  const size_t first = static_cast<size_t>(kFirstPresetChoice - 1);
  if (items.size() <= first) return {};
  std::vector<std::string> names(items.begin() + first, items.end());
  if (names.size() == 1 && names[0] == "<None>") return {};
  return names;
}

void applyPreset(PluginHost& host, const std::string& name) {
  const std::vector<std::string> names = popupPresetNames(host);
  size_t position = 0;
  while (position < names.size() && names[position] != name) ++position;
  if (position == names.size()) {
    std::string available;
    for (const std::string& n : names) available += (available.empty() ? "" : ", ") + n;
    throw std::runtime_error(
        "--preset: no preset named \"" + name + "\"; " +
        (names.empty() ? std::string("no presets are available") : "available: " + available));
  }
  ScriptedBoxes boxes;
  notifyPopup(host, kFirstPresetChoice + static_cast<int32_t>(position), boxes);
  if (!boxes.messages.empty())
    throw std::runtime_error("--preset \"" + name + "\": " + boxes.messages.front());
}

SaveOutcome savePresetAs(PluginHost& host, const std::string& name, bool replace) {
  requirePresetsPopup(host);
  ScriptedBoxes boxes;
  boxes.promptAnswer = name;
  boxes.questionAnswer = replace ? 1 : 2;
  notifyPopup(host, 3, boxes);  // "Save..."
  SaveOutcome outcome;
  outcome.messages = boxes.messages;
  outcome.nameTaken = boxes.questions > 0 && !replace;
  outcome.replaced = boxes.questions > 0 && replace && boxes.messages.empty();
  // Saved: the prompt was not asked again and the plug-in said nothing, or only that the
  // preset appears next time.
  outcome.saved =
      boxes.prompts == 1 &&
      (boxes.messages.empty() ? outcome.replaced
                              : boxes.messages.size() == 1 && boxes.messages[0] == kAvailableLater);
  return outcome;
}

void requestAboutDetails(PluginHost& host, bool details) {
  if (!details) {
    host.hostServicesHook = nullptr;
    return;
  }
  host.hostServicesHook = [](PF_ShimmerlyHostServices& services) { services.shift_key_down = 1; };
}

}  // namespace shimmerly::cli
