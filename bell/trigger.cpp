#include "bell/trigger.h"

#include "bell/sound.h"
#include "module/state.h"
#include "module/texts.h"
#include "utilities/Utilities.h"

#include <string_view>

namespace {

constexpr int32_t server_text_kind = 2;

bool is_request_or_whisper(std::string_view line) {
  if (find_from(module_text(TEXT_ID_JOIN_REQUEST), line, 1) > 0 ||
      find_from(module_text(TEXT_ID_SUMMON_REQUEST), line, 1) > 0) {
    return true;
  }
  // The closing text is looked for from where the opening starts, so the two
  // may share the opening's final double quote.
  const int32_t opening = find_from(module_text(TEXT_ID_WHISPER_OPENING), line, 1);
  return opening > 0 && find_from(module_text(TEXT_ID_WHISPER_CLOSING), line, opening) > opening;
}

} // namespace

void ring_bell() { play_sound(wave_path.c_str()); }

void ring_if_requested(int32_t kind, const char* line) {
  if (enabled == 0 || kind != server_text_kind || line == nullptr || line[0] != '(') {
    return;
  }
  if (is_request_or_whisper(line)) {
    ring_bell();
  }
}
