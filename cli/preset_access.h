// What the host knows of the plug-in's presets, learnt as a host learns it: the names are the
// items of the "Effect Presets" popup (from the fifth on) after parameter set-up, a preset is
// applied by choosing it in the popup and sending the user-changed-parameter command, and a
// preset is saved by choosing "Save..." and answering the plug-in's own prompt. The boxes the
// plug-in opens meanwhile are answered through the Shimmerly host-services query.
#pragma once

#include <string>
#include <vector>

#include "cli/plugin_host.h"

namespace shimmerly::cli {

// The preset names of the popup, in popup order; empty when it lists "<None>" alone.
std::vector<std::string> popupPresetNames(PluginHost& host);

// Chooses the named preset in the popup and sends the notice; the plug-in writes the preset into
// the host's parameters. Throws std::runtime_error listing the available names when the name is
// not in the popup, and with the plug-in's message when it could not load the preset.
void applyPreset(PluginHost& host, const std::string& name);

struct SaveOutcome {
  bool saved = false;
  bool replaced = false;
  bool nameTaken = false;             // the preset existed and replacing was not allowed
  std::vector<std::string> messages;  // what the plug-in showed, in order
};

// Chooses "Save..." with the host's current parameters and answers the prompt with name, the
// replace question with replace. Nothing is retried: a name the plug-in refuses ends the flow.
SaveOutcome savePresetAs(PluginHost& host, const std::string& name, bool replace);

// Lets the host's user ask for the detailed about text (the Shift key of a desktop host).
void requestAboutDetails(PluginHost& host, bool details);

}  // namespace shimmerly::cli
