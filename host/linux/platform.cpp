// The host program's Linux half. The module is a shared object whose q2_*
// references stay undefined until it is loaded: the program exports them
// itself. It also exports ca_context_play, so the module's sound calls land
// here first; each is recorded and then played by the real library.
#include "host/host.h"

#include <canberra.h>
#include <dirent.h>
#include <dlfcn.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>

#include <array>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <string>

#define HOST_EXPORT __attribute__((visibility("default")))

namespace {

// The functions of the sound library that ca_context_play passes a sound on
// to. This program does not link the library: holding it, it would keep it
// loaded when the module is unloaded, and hide what the module leaves in it.
// While the module plays a sound, the library is loaded with it.
struct sound_library {
  void* handle = nullptr; // to be closed after use
  decltype(&ca_proplist_create) proplist_create = nullptr;
  decltype(&ca_proplist_sets) proplist_sets = nullptr;
  decltype(&ca_proplist_destroy) proplist_destroy = nullptr;
  decltype(&ca_context_play_full) play_full = nullptr;
};

template <typename function> void find_function(void* handle, const char* name, function& found) {
  found = reinterpret_cast<function>(dlsym(handle, name));
}

// The module's sound library, or one with a null handle when it is not loaded
// or lacks a function.
sound_library find_sound_library() {
  sound_library library;
  library.handle = dlopen("libcanberra.so.0", RTLD_LAZY | RTLD_NOLOAD);
  if (library.handle == nullptr) {
    return library;
  }
  find_function(library.handle, "ca_proplist_create", library.proplist_create);
  find_function(library.handle, "ca_proplist_sets", library.proplist_sets);
  find_function(library.handle, "ca_proplist_destroy", library.proplist_destroy);
  find_function(library.handle, "ca_context_play_full", library.play_full);
  if (library.proplist_create == nullptr || library.proplist_sets == nullptr ||
      library.proplist_destroy == nullptr || library.play_full == nullptr) {
    dlclose(library.handle);
    library.handle = nullptr;
  }
  return library;
}

} // namespace

extern "C" {

HOST_EXPORT void q2_speak(const char* text) { host_speak(text); }

HOST_EXPORT const char* q2_modroot(int32_t module_id) { return host_modroot(module_id); }

HOST_EXPORT void q2_modenable(int32_t module_id, int32_t enable) {
  host_modenable(module_id, enable);
}

// Takes the place of the library's own ca_context_play: records the sound and
// plays it through ca_context_play_full with the same properties.
HOST_EXPORT int ca_context_play(ca_context* context, uint32_t id, ...) {
  const sound_library library = find_sound_library();
  ca_proplist* properties = nullptr;
  int result = library.handle == nullptr ? CA_ERROR_NOTFOUND : library.proplist_create(&properties);
  std::string file_name;
  std::string event_id;
  va_list pairs;
  va_start(pairs, id);
  while (const char* key = va_arg(pairs, const char*)) {
    const char* value = va_arg(pairs, const char*);
    if (result == CA_SUCCESS) {
      result = library.proplist_sets(properties, key, value);
    }
    const std::string_view name = key;
    if (name == CA_PROP_MEDIA_FILENAME && value != nullptr) {
      file_name = value;
    } else if (name == CA_PROP_EVENT_ID && value != nullptr) {
      event_id = value;
    }
  }
  va_end(pairs);
  // An event id takes precedence over a file name, as in the library.
  if (event_id == "bell") {
    record_ring("theme bell (fallback)");
  } else if (!event_id.empty()) {
    record_ring("theme event " + event_id);
  } else {
    record_ring(file_name);
  }
  if (result == CA_SUCCESS) {
    result = library.play_full(context, id, properties, nullptr, nullptr);
  }
  if (properties != nullptr) {
    library.proplist_destroy(properties);
  }
  if (library.handle != nullptr) {
    dlclose(library.handle);
  }
  return result;
}
}

namespace {

std::string folder_of(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) {
    return ".";
  }
  return slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

std::string default_module_path() {
  char program[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", program, sizeof program - 1);
  if (length <= 0) {
    return "./Tollwick.so";
  }
  return folder_of(std::string(program, static_cast<size_t>(length))) + "/Tollwick.so";
}

void* open_module(const std::string& path, std::string& folder, std::string& error) {
  char* full_path = realpath(path.c_str(), nullptr);
  if (full_path == nullptr) {
    error = std::strerror(errno);
    return nullptr;
  }
  const std::string file(full_path);
  std::free(full_path);
  // Binding every reference now makes a missing host service a load error.
  void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    error = dlerror();
    return nullptr;
  }
  folder = folder_of(file);
  return handle;
}

void* find_export(void* handle, const char* name) { return dlsym(handle, name); }

// The module's calls of ca_context_play reach this program's own by symbol
// resolution alone.
bool watch_sound(void*, std::string&) { return true; }

void close_module(void* handle) { dlclose(handle); }

bool module_still_loaded(const std::string& path) {
  char* full_path = realpath(path.c_str(), nullptr);
  if (full_path == nullptr) {
    return false;
  }
  void* handle = dlopen(full_path, RTLD_NOW | RTLD_NOLOAD);
  std::free(full_path);
  if (handle == nullptr) {
    return false;
  }
  dlclose(handle);
  return true;
}

int open_files() {
  DIR* descriptors = opendir("/proc/self/fd");
  if (descriptors == nullptr) {
    return -1;
  }
  int count = 0;
  while (const dirent* entry = readdir(descriptors)) {
    count += entry->d_name[0] != '.';
  }
  closedir(descriptors);
  return count;
}

void use_plain_output() {}

namespace {

std::array<char, 96> stall_message{};

void report_stall(int /*signal*/) {
  const ssize_t ignored =
      write(STDERR_FILENO, stall_message.data(), std::strlen(stall_message.data()));
  static_cast<void>(ignored);
  _exit(1);
}

} // namespace

void watch_for_stall(int cycle, unsigned seconds) {
  std::snprintf(stall_message.data(), stall_message.size(),
                "tollwick-host: cycle %d stalled: not over after %u s\n", cycle, seconds);
  std::signal(SIGALRM, report_stall);
  alarm(cycle == 0 ? 0 : seconds);
}
