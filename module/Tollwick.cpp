// The library's face to the host: the seven callbacks and the life-cycle events.
#include "module/exports.h"

#include "bell/commands.h"
#include "bell/trigger.h"
#include "module/host.h"
#include "module/state.h"
#include "settings/settings.h"

namespace {

enum module_event : int32_t {
  mod_start = 0,
  mod_save = 1,
  mod_enable = 2,
  mod_disable = 3,
  mod_about = 4,
};

void speak_about() {
  q2_speak("Tollwick V1.0, Module Edition");
  q2_speak("By the Tollwick project, 2026");
  q2_speak("Commands: @TW-AutoEnable, @TW-SetWave");
}

} // namespace

int32_t on_module(int32_t event, const void* param) {
  switch (event) {
  case mod_start:
    // A null param reads as identifier 0, as other null host pointers read empty.
    module_id = param == nullptr ? 0 : *static_cast<const int32_t*>(param);
    load_settings();
    break;
  case mod_save: save_settings(); break;
  case mod_enable: enabled = -1; break;
  case mod_disable: enabled = 0; break;
  case mod_about: speak_about(); break;
  default: break;
  }
  return 0;
}

int32_t on_client() { return 0; }

int32_t on_wndproc() { return 0; }

int32_t on_world() { return 0; }

int32_t on_command(int32_t count, const char* const* vector) {
  return handle_command(count, vector);
}

void on_inet(int32_t kind, const char* line) { ring_if_requested(kind, line); }

void on_onet() {}
