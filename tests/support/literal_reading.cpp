#include "tests/support/literal_reading.h"

#include "module/state.h"
#include "platform/texts.h"

#include <string>

bool literal_rings(int32_t kind, const char* line) {
  if (enabled == 0 || kind != 2) {
    return false;
  }
  const std::string copy = line == nullptr ? "" : line;
  if (copy.empty() || copy[0] != '(') {
    return false;
  }
  if (copy.find(module_text(TEXT_ID_JOIN_REQUEST)) != std::string::npos ||
      copy.find(module_text(TEXT_ID_SUMMON_REQUEST)) != std::string::npos) {
    return true;
  }
  const size_t opening = copy.find(module_text(TEXT_ID_WHISPER_OPENING));
  if (opening == std::string::npos) {
    return false;
  }
  const size_t closing = copy.find(module_text(TEXT_ID_WHISPER_CLOSING), opening);
  return closing != std::string::npos && opening < closing;
}
