#include "tests/stubs/recorder.h"

#include "module/exports.h"
#include "module/host.h"
#include "module/state.h"
#include "platform/sound.h"

recorder recorded;

void reset_module_and_recorder() {
  recorded = recorder{};
  module_id = 0;
  enabled = 0;
  auto_enable = 0;
  ini_path.clear();
  wave_path.clear();
}

extern "C" void q2_speak(const char* text) { recorded.spoken.emplace_back(text); }

extern "C" const char* q2_modroot(int32_t id) {
  recorded.root_requests.push_back(id);
  return recorded.module_root;
}

extern "C" void q2_modenable(int32_t id, int32_t enable) {
  recorded.enable_requests.push_back({id, enable});
  if (recorded.answer_enable_at_once) {
    on_module(enable != 0 ? 2 : 3, nullptr);
  }
}

void play_sound(const char* file_name) { recorded.played.emplace_back(file_name); }
