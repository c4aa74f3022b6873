// Sound through the desktop's event-sound service (libcanberra). One context
// lives from the first ring until the library is unloaded.
#include "bell/sound.h"

#include <canberra.h>

namespace {

constexpr uint32_t bell_sound_id = 1;
ca_context* sound_context = nullptr;

[[gnu::destructor]] void close_sound_context() {
  if (sound_context != nullptr) {
    ca_context_destroy(sound_context);
    sound_context = nullptr;
  }
}

} // namespace

void play_sound(const char* file_name) {
  if (sound_context == nullptr &&
      ca_context_create(&sound_context) != CA_SUCCESS) {
    sound_context = nullptr;
    return;
  }
  // A new ring cuts off the previous one instead of mixing with it.
  ca_context_cancel(sound_context, bell_sound_id);
  const int result =
      ca_context_play(sound_context, bell_sound_id, CA_PROP_MEDIA_FILENAME, file_name, nullptr);
  // Without a sound server nothing can play; otherwise the theme's bell
  // stands in for a file that cannot be played.
  if (result != CA_SUCCESS && result != CA_ERROR_NOTAVAILABLE &&
      result != CA_ERROR_DISCONNECTED) {
    ca_context_play(sound_context, bell_sound_id, CA_PROP_EVENT_ID, "bell", nullptr);
  }
}
