// What a test build of the module, never shipped, links in place of the real
// sound service and of KERNEL32's IsProcessorFeaturePresent: a sound service
// that copies the sound's path into a 16-byte stack buffer without a bound,
// and a system without fast fail, so that the failed stack check ends the
// process through TerminateProcess. (Under qemu, Wine takes the fast fail's
// int 0x29 for an illegal instruction and starts its crash handler.)
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

BOOL WINAPI IsProcessorFeaturePresent(DWORD /*feature*/) { return FALSE; }
