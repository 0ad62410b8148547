// `shimmerly params`: the controls as the host received them from the plug-in's parameter
// set-up: index, name, type, range and default.
#include <cstdio>
#include <memory>
#include <string>

#include "cli/command_registry.h"
#include "cli/control_options.h"
#include "cli/plugin_host.h"
#include "cli/session.h"

namespace shimmerly::cli {
namespace {

std::string displayName(const PF_ParamDef& def) {
  if (def.param_type == PF_Param_LAYER) return "(input layer)";
  std::string name = def.name;
  if (name.empty() && def.param_type == PF_Param_CHECKBOX && def.u.bd.name) name = def.u.bd.name;
  if (name.empty() && def.param_type == PF_Param_GROUP_END) name = "(end of group)";
  return name;
}

void describe(const PF_ParamDef& def, std::string& range, std::string& dephault) {
  switch (def.param_type) {
    case PF_Param_POPUP:
      range = "1 to " + std::to_string(def.u.pd.num_choices) + ": " +
              (def.u.pd.names ? def.u.pd.names : "");
      dephault = std::to_string(def.u.pd.dephault);
      break;
    case PF_Param_FLOAT_SLIDER:
    case PF_Param_FIX_SLIDER: {
      SliderRange r = sliderRange(def);
      range = formatNumber(r.validMin) + " to " + formatNumber(r.validMax) + " (slider " +
              formatNumber(r.sliderMin) + " to " + formatNumber(r.sliderMax) + ")";
      dephault = formatNumber(r.dephault);
      break;
    }
    case PF_Param_CHECKBOX:
      range = "off, on";
      dephault = def.u.bd.dephault ? "on" : "off";
      break;
    case PF_Param_COLOR: {
      char text[16];
      std::snprintf(text, sizeof text, "%02X%02X%02X", def.u.cd.dephault.red,
                    def.u.cd.dephault.green, def.u.cd.dephault.blue);
      range = "RRGGBB";
      dephault = text;
      break;
    }
    default:
      range = "-";
      dephault = "-";
  }
}

int runParams(const GlobalOptions& global) {
  std::unique_ptr<PluginHost> host = openSession(global);
  std::printf("%-5s %-18s %-13s %-10s %s\n", "index", "name", "type", "default", "range");
  for (size_t i = 0; i < host->paramCount(); ++i) {
    const PF_ParamDef& def = host->param(i);
    std::string range, dephault;
    describe(def, range, dephault);
    std::printf("%-5zu %-18s %-13s %-10s %s\n", i, displayName(def).c_str(),
                paramTypeName(def.param_type), dephault.c_str(), range.c_str());
  }
  host->finish();
  return kExitOk;
}

const CommandRegistration registration{"params",
                                       "List the plug-in's controls as the host received them",
                                       [](CLI::App&, const GlobalOptions& global) -> CommandAction {
                                         return [&global] { return runParams(global); };
                                       }};

}  // namespace
}  // namespace shimmerly::cli
