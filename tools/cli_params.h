// Parameters on the command line: describing what a module declared, and setting a value from
// "NAME=VALUE" text. Everything is learned from the definitions the module itself added in
// PF_Cmd_PARAMS_SETUP; the renderer keeps no table of its own.
#pragma once

#include <string>
#include <vector>

#include "platform/pf_effect.h"

namespace tavu::render {

// One line for --list-params: index, type, name, default, range or choices, the module's text as
// TerminalText shows it.
std::string DescribeParam(int index, const PF_ParamDef& def);

// The popup's choices, split at '|'.
std::vector<std::string> Choices(const PF_ParamDef& def);

struct SetResult {
  bool ok;
  std::string message;  // why the value was refused, naming the valid names, choices or range
};

// Applies "NAME=VALUE" to the matching definition in `params` (indexed from 1; entry 0 unused).
// A layer parameter is not set this way (it takes --layer2).
SetResult ApplySetting(const std::string& setting, std::vector<PF_ParamDef>& params);

}  // namespace tavu::render
