// Sound through the Windows sound service, which plays asynchronously, stops
// the process's previous sound and falls back to the default sound itself.
#include "platform/sound.h"

#include <windows.h>
// After windows.h, which it needs.
#include <mmsystem.h>

void play_sound(const char* file_name) {
  static_assert((SND_FILENAME | SND_ASYNC) == 0x20001);
  PlaySoundA(file_name, nullptr, SND_FILENAME | SND_ASYNC);
}
