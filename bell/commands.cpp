#include "bell/commands.h"

#include "module/host.h"
#include "module/state.h"
#include "platform/files.h"
#include "platform/texts.h"
#include "utilities/Utilities.h"

#include <string>

namespace {

constexpr int32_t handled = -1;
constexpr int32_t not_handled = 0;

void toggle_auto_enable() {
  auto_enable = auto_enable == 0 ? 1 : 0;
  q2_speak(auto_enable == 1 ? "Tollwick: Auto-Init is now On" : "Tollwick: Auto-Init is now Off");
}

void reset_wave_path() {
  wave_path = extract_dir(ini_path);
  wave_path += module_text(TEXT_ID_DEFAULT_SOUND);
  q2_speak("Tollwick: SFX reset to default.");
}

// The path is the arguments after the command word, joined by one blank.
void set_wave_path(int32_t count, const char* const* vector) {
  std::string path(host_text(vector[1]));
  for (int32_t i = 2; i < count; ++i) {
    path += ' ';
    path += host_text(vector[i]);
  }
  wave_path = path;
  q2_speak(("Tollwick: SFX set to \"" + wave_path + "\"").c_str());
  if (!file_exists(wave_path)) {
    q2_speak("Tollwick: Warning, SFX file not found.");
  }
}

} // namespace

int32_t handle_command(int32_t count, const char* const* vector) {
  // A host that claims arguments but passes no vector has given none.
  if (count <= 0 || vector == nullptr) {
    return not_handled;
  }
  const std::string word = uppercase_ascii(host_text(vector[0]));
  if (word == module_text(TEXT_ID_AUTO_ENABLE_COMMAND)) {
    toggle_auto_enable();
    return handled;
  }
  if (word == module_text(TEXT_ID_SET_SOUND_COMMAND)) {
    if (count == 1) {
      reset_wave_path();
    } else {
      set_wave_path(count, vector);
    }
    return handled;
  }
  return not_handled;
}
