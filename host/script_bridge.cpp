#include "host/script_bridge.h"

#include <algorithm>
#include <cstring>

#include "host/suite_handler.h"

namespace tavu::host {

A_long strReplace(std::string& text, const std::string& pattern, const std::string& replacement) {
  if (pattern.empty()) return 0;  // would match everywhere and never advance
  A_long count = 0;
  std::size_t position = 0;
  while ((position = text.find(pattern, position)) != std::string::npos) {
    text.replace(position, pattern.size(), replacement);
    position += replacement.size();
    ++count;
  }
  return count;
}

void runScript(PF_InData* in_data, std::string script, std::string& result) {
  if (in_data->appl_id == PF_APPL_ID_PREMIERE) return;
  AEGP_SuiteHandler suites(in_data->pica_basicP);

  // A fixed buffer of 16384 bytes, of which the script may fill 16381 characters.
  char buffer[16384];
  static_assert(kMaxScriptLength < sizeof buffer, "room for the terminating NUL");
  const std::size_t length =
      std::min({script.size(), script.find('\0'), kMaxScriptLength});
  std::memcpy(buffer, script.data(), length);
  buffer[length] = '\0';

  AEGP_MemHandle resultH = nullptr;
  const A_Err err = suites.UtilitySuite11()->AEGP_ExecuteScript(0, buffer, false, &resultH,
                                                                nullptr);
  result.clear();
  // A success that hands back no handle leaves nothing to read or free: locking it would be a
  // host call on nothing, so the Memory Suite is not even taken.
  if (err != PF_Err_NONE || resultH == nullptr) return;

  // The host made the result handle for us: it is ours to free whatever the lock does.
  const AEGP_MemorySuite1* memory = suites.MemorySuite1();
  void* text = nullptr;
  if (memory->AEGP_LockMemHandle(resultH, &text) == PF_Err_NONE && text != nullptr) {
    result = static_cast<const char*>(text);
  }
  // Freeing a locked handle is allowed; the lock dies with it.
  memory->AEGP_FreeMemHandle(resultH);
}

void alert(PF_InData* in_data, std::string message) {
  // The message goes inside a single-quoted script string: no character may end the string or
  // the line early. A backslash is left as it is, so a message can still carry its own escapes.
  strReplace(message, "'", "\"");
  strReplace(message, "\r", "\\r");
  strReplace(message, "\n", "\\n");
  strReplace(message, "\t", " ");
  std::string ignored;
  runScript(in_data, "alert('" + message + "');", ignored);
}

}  // namespace tavu::host
