// Sound through the desktop's event-sound service (libcanberra). One context
// lives from the first ring until the library is unloaded.
#include "platform/sound.h"

#include <canberra.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstring>

namespace {

constexpr uint32_t bell_sound_id = 1;
ca_context* sound_context = nullptr;

[[gnu::destructor]] void close_sound_context() {
  if (sound_context != nullptr) {
    ca_context_destroy(sound_context);
    sound_context = nullptr;
  }
}

uint32_t little_endian(const unsigned char* bytes, int count) {
  uint32_t value = 0;
  for (int i = count - 1; i >= 0; --i) {
    value = value << 8 | bytes[i];
  }
  return value;
}

// Whether the WAV file's format chunk, before its data chunk and among its
// first few chunks, is integer PCM of 8 or 16 bits: the only WAV files the
// sound library decodes.
bool decodable_wav(int descriptor) {
  constexpr int chunks_looked_at = 16;
  std::array<unsigned char, 16> format{};
  off_t at = 12;
  for (int chunk = 0; chunk < chunks_looked_at; ++chunk) {
    std::array<unsigned char, 8> header{};
    if (pread(descriptor, header.data(), header.size(), at) != 8 ||
        std::memcmp(header.data(), "data", 4) == 0) {
      return false;
    }
    const uint32_t size = little_endian(&header[4], 4);
    if (std::memcmp(header.data(), "fmt ", 4) == 0) {
      if (size < format.size() || pread(descriptor, format.data(), format.size(), at + 8) != 16) {
        return false;
      }
      const uint32_t tag = little_endian(format.data(), 2);
      const uint32_t bits = little_endian(&format[14], 2);
      return (tag == 1 || tag == 0xfffe) && little_endian(&format[2], 2) > 0 &&
             little_endian(&format[4], 4) > 0 && (bits == 8 || bits == 16);
    }
    at += 8 + static_cast<off_t>(size) + (size & 1);
  }
  return false;
}

// Whether the sound library may be given the file: it blocks on a name that
// is no regular file (a pipe, a terminal) and leaks an open file each time it
// cannot decode one. A name that cannot be opened at all it reports itself.
bool safe_to_hand_over(const char* file_name) {
  const int descriptor = open(file_name, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (descriptor < 0) {
    return true;
  }
  struct stat status = {};
  std::array<unsigned char, 35> head{};
  const bool safe =
      fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode) &&
      pread(descriptor, head.data(), head.size(), 0) >= 12 &&
      ((std::memcmp(head.data(), "RIFF", 4) == 0 && std::memcmp(&head[8], "WAVE", 4) == 0 &&
        decodable_wav(descriptor)) ||
       (std::memcmp(head.data(), "OggS", 4) == 0 && std::memcmp(&head[28], "\x01vorbis", 7) == 0));
  close(descriptor);
  return safe;
}

} // namespace

void play_sound(const char* file_name) {
  if (sound_context == nullptr) {
    // The sound library keeps a cache for the life of the process and never
    // frees it: unloaded with the module and loaded again, it would leak the
    // cache and its open file once per load. So it stays loaded.
    dlopen("libcanberra.so.0", RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
    if (ca_context_create(&sound_context) != CA_SUCCESS) {
      sound_context = nullptr;
      return;
    }
  }
  // A new ring cuts off the previous one instead of mixing with it.
  ca_context_cancel(sound_context, bell_sound_id);
  // The library opens the file only once it has reached a sound server; a
  // file it would stall on or leak then goes straight to the fallback.
  const int opened = ca_context_open(sound_context);
  const bool reaches_server = opened == CA_SUCCESS || opened == CA_ERROR_STATE;
  const int result = reaches_server && !safe_to_hand_over(file_name)
                         ? CA_ERROR_CORRUPT
                         : ca_context_play(sound_context, bell_sound_id, CA_PROP_MEDIA_FILENAME,
                                           file_name, nullptr);
  // Without a sound server nothing can play; otherwise the theme's bell
  // stands in for a file that cannot be played.
  if (result != CA_SUCCESS && result != CA_ERROR_NOTAVAILABLE && result != CA_ERROR_DISCONNECTED) {
    ca_context_play(sound_context, bell_sound_id, CA_PROP_EVENT_ID, "bell", nullptr);
  }
}
