// Loads and unloads the module many times in one process, each time running a
// whole session: start, server lines, commands, about, save. It plays the
// host's part itself (the q2_ services are exported from this program), so a
// leak or a bad access in any cycle shows under a memory checker. A module
// that cannot really be unloaded, keeps state across loads, leaves files open
// or stalls fails here by itself. Run it with a sound server (see
// with-sound-server.sh): without one the sound library opens no file.
//
//   tollwick-cycles MODULE FOLDER CYCLES
//
// FOLDER is what q2_modroot answers; it is created when missing. Exit code 0
// when every cycle behaved, 1 with a message on the first one that did not,
// 2 on bad use.
#include "tests/support/file_bytes.h"

#include <dirent.h>
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using on_module_call = int32_t (*)(int32_t, const void*);
using on_command_call = int32_t (*)(int32_t, const char* const*);
using on_inet_call = void (*)(int32_t, const char*);

struct host_record {
  std::string folder;
  on_module_call on_module = nullptr;
  std::vector<std::string> spoken;
  std::vector<int32_t> enable_requests;
};

host_record host;

struct loaded_module {
  void* library = nullptr;
  on_module_call on_module = nullptr;
  on_command_call on_command = nullptr;
  on_inet_call on_inet = nullptr;
};

[[noreturn]] void fail(int cycle, const std::string& what) {
  std::fprintf(stderr, "cycle %d: %s\n", cycle, what.c_str());
  std::exit(1);
}

template <typename call> call find_export(void* library, const char* name, int cycle) {
  void* symbol = dlsym(library, name);
  if (symbol == nullptr) {
    fail(cycle, std::string("missing export ") + name);
  }
  return reinterpret_cast<call>(symbol);
}

loaded_module load(const char* path, int cycle) {
  loaded_module module;
  module.library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (module.library == nullptr) {
    fail(cycle, std::string("cannot load: ") + dlerror());
  }
  module.on_module = find_export<on_module_call>(module.library, "on_module", cycle);
  module.on_command = find_export<on_command_call>(module.library, "on_command", cycle);
  module.on_inet = find_export<on_inet_call>(module.library, "on_inet", cycle);
  for (const char* name : {"on_client", "on_wndproc", "on_world", "on_onet"}) {
    find_export<void*>(module.library, name, cycle);
  }
  return module;
}

const char* const join_line = "(Someone) To accept the request, type `join and press <enter>. "
                              "To decline, type `decline and press <enter>";
const char* const whisper_line = "(Someone whispers, \"hello\" to you. ]";

// One session. The auto-enable flag read at start is the one the previous
// cycle saved, and this cycle saves it toggled, so every cycle must see the
// opposite of the one before: that proves both the load and the save ran.
void run_cycle(const char* module_path, int cycle) {
  const loaded_module module = load(module_path, cycle);
  host.on_module = module.on_module;
  host.spoken.clear();
  host.enable_requests.clear();

  // A fresh load starts disabled: a matching line before any event rings
  // nothing and touches nothing.
  module.on_inet(2, join_line);
  const int32_t id = 7;
  module.on_module(0, &id);
  const int32_t expected_request = cycle % 2 == 0 ? 0 : -1;
  if (host.enable_requests != std::vector<int32_t>{expected_request}) {
    fail(cycle, "unexpected enable request at start");
  }

  module.on_module(2, nullptr);
  module.on_inet(2, join_line);
  module.on_inet(2, whisper_line);
  module.on_inet(1, join_line);
  module.on_inet(2, nullptr);
  module.on_inet(2, "");

  // A pipe as the sound file must not stall the ring.
  const std::string pipe = host.folder + "/pipe.wav";
  const char* set_pipe[] = {"TW-SetWave", pipe.c_str()};
  if (module.on_command(2, set_pipe) != -1) {
    fail(cycle, "unexpected command result");
  }
  module.on_inet(2, whisper_line);

  const std::string wave = host.folder + "/bell.wav";
  const char* set_wave[] = {"tw-setwave", wave.c_str()};
  const char* with_null[] = {"TW-SetWave", nullptr, "tail"};
  const char* toggle[] = {"TW-AUTOENABLE", "ignored"};
  const char* foreign[] = {"TW-SET"};
  const char* null_word[] = {nullptr};
  if (module.on_command(2, with_null) != -1 || module.on_command(2, set_wave) != -1 ||
      module.on_command(2, toggle) != -1 || module.on_command(1, foreign) != 0 ||
      module.on_command(1, null_word) != 0 || module.on_command(0, nullptr) != 0) {
    fail(cycle, "unexpected command result");
  }
  module.on_module(4, nullptr);
  module.on_module(3, nullptr);
  module.on_inet(2, join_line);
  module.on_module(1, nullptr);

  // One for the pipe, two for the set with a null argument (its file is
  // missing), one each for the set of the existing file and the toggle, and
  // three for the about text.
  if (host.spoken.size() != 8) {
    fail(cycle, "expected 8 spoken lines, got " + std::to_string(host.spoken.size()));
  }
  const std::string saved = file_bytes(host.folder + "/Tollwick.ini").value_or("");
  const std::string expected =
      std::string("[Main]\nAA=") + (cycle % 2 == 0 ? "1" : "0") + "\nWF=" + wave + "\n";
  if (saved != expected) {
    fail(cycle, "settings file holds:\n" + saved);
  }

  host.on_module = nullptr;
  if (dlclose(module.library) != 0) {
    fail(cycle, std::string("cannot unload: ") + dlerror());
  }
  // Still mapped after dlclose would mean the module's state outlives it.
  if (void* still_loaded = dlopen(module_path, RTLD_NOW | RTLD_NOLOAD); still_loaded != nullptr) {
    dlclose(still_loaded);
    fail(cycle, "module still loaded after unload");
  }
}

// No cycle takes more than a few seconds, even under a memory checker: one
// that does has stalled inside the module.
constexpr unsigned seconds_per_cycle = 30;

void report_stall(int /*signal*/) {
  const char message[] = "a cycle stalled inside the module\n";
  write(STDERR_FILENO, message, sizeof message - 1);
  _exit(1);
}

int open_descriptors() {
  int count = 0;
  DIR* descriptors = opendir("/proc/self/fd");
  if (descriptors == nullptr) {
    return -1;
  }
  while (const dirent* entry = readdir(descriptors)) {
    count += entry->d_name[0] != '.';
  }
  closedir(descriptors);
  return count;
}

} // namespace

extern "C" {
[[gnu::visibility("default")]] void q2_speak(const char* text) { host.spoken.emplace_back(text); }

[[gnu::visibility("default")]] const char* q2_modroot(int32_t /*module_id*/) {
  return host.folder.c_str();
}

// Answers at once, from inside the call, as a host may.
[[gnu::visibility("default")]] void q2_modenable(int32_t /*module_id*/, int32_t enable) {
  host.enable_requests.push_back(enable);
  if (host.on_module != nullptr) {
    host.on_module(enable != 0 ? 2 : 3, nullptr);
  }
}
}

int main(int argc, char** argv) {
  if (argc != 4 || std::atoi(argv[3]) < 1) {
    std::fprintf(stderr, "usage: %s MODULE FOLDER CYCLES\n", argv[0]);
    return 2;
  }
  host.folder = argv[2];
  mkdir(host.folder.c_str(), 0755);
  std::remove((host.folder + "/Tollwick.ini").c_str());
  // An empty file: the sound library cannot decode it.
  put_file_bytes(host.folder + "/bell.wav", "");
  std::remove((host.folder + "/pipe.wav").c_str());
  mkfifo((host.folder + "/pipe.wav").c_str(), 0644);
  const int cycles = std::atoi(argv[3]);
  // The first cycle may leave things that live as long as the process (the
  // sound library's caches); any later one must leave nothing open.
  int descriptors_after_first = 0;
  std::signal(SIGALRM, report_stall);
  for (int cycle = 0; cycle < cycles; ++cycle) {
    alarm(seconds_per_cycle);
    run_cycle(argv[1], cycle);
    const int descriptors = open_descriptors();
    if (cycle == 0) {
      descriptors_after_first = descriptors;
    } else if (descriptors != descriptors_after_first) {
      fail(cycle, std::to_string(descriptors) + " open file descriptors, " +
                      std::to_string(descriptors_after_first) + " after the first cycle");
    }
  }
  std::printf("%d cycles of load, start, lines, commands, save, unload\n", cycles);
  return 0;
}
