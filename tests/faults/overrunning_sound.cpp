// The sound service of a test build of the module, never shipped: it copies
// the sound's path into a 16-byte stack buffer without a bound, as a fault in
// the module could. With a longer path the stack guard must end the process
// when the function returns.
#include "platform/sound.h"

#include <windows.h>
// After windows.h, which it needs.
#include <mmsystem.h>

#include <array>
#include <cstring>

void play_sound(const char* file_name) {
  std::array<char, 16> copy;
  std::memcpy(copy.data(), file_name, std::strlen(file_name) + 1);
  PlaySoundA(copy.data(), nullptr, SND_FILENAME | SND_ASYNC);
}
