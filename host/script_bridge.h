// Running a script in the host's scripting engine, and the alert built on it. Nothing is run in
// Premiere Pro. A missing suite throws the integer 516, as everywhere in the module; any other
// failure leaves an empty result and is not reported.
#pragma once

#include <string>

#include "platform/pf_effect.h"

namespace tavu::host {

// The script buffer holds 16384 bytes; a script reaches the host cut to this many characters.
inline constexpr std::size_t kMaxScriptLength = 16381;

// Replaces every occurrence of `pattern` in `text`, left to right, never searching text a
// replacement inserted. Returns the number of replacements; an empty pattern replaces nothing.
A_long strReplace(std::string& text, const std::string& pattern, const std::string& replacement);

// Hands `script` (up to its first NUL, at most kMaxScriptLength characters) to the host and puts
// the result text, up to its first NUL, into `result`.
void runScript(PF_InData* in_data, std::string script, std::string& result);

// Shows `message` through the script function alert.
void alert(PF_InData* in_data, std::string message);

}  // namespace tavu::host
