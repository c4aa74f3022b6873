// The host program's Windows half. The module imports its services from
// modhost.dll, which forwards them to the host_* functions this program
// exports. Its sound calls are watched by pointing the module's import of
// WINMM.dll!PlaySoundA at a function of the program that records the sound and
// plays it, and winmm's import of CreateThread at one that keeps a handle to
// each thread winmm starts for such a sound.
#include "host/host.h"

#include <windows.h>

#include <mmsystem.h>

#include <fcntl.h>
#include <io.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string folder_of(const std::string& path) {
  const size_t separator = path.find_last_of("\\/");
  return separator == std::string::npos ? "." : path.substr(0, separator);
}

std::string system_message(DWORD code) {
  char text[512] = "";
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                 sizeof text, nullptr);
  std::string message(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) {
    message.pop_back();
  }
  return "error " + std::to_string(code) + (message.empty() ? "" : " (" + message + ")");
}

// winmm plays an asynchronous sound on a thread that it starts inside PlaySoundA
// and lets end on its own: stopping the sound does not wait for it. These are
// handles to those threads, for close_module to wait on.
std::vector<HANDLE> sound_threads;
// The thread inside an asynchronous PlaySoundA call for the module, or 0.
std::atomic<DWORD> thread_playing{0};

HANDLE WINAPI watched_create_thread(LPSECURITY_ATTRIBUTES security, SIZE_T stack_size,
                                    LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD flags,
                                    LPDWORD thread_id) {
  HANDLE thread = CreateThread(security, stack_size, start, parameter, flags, thread_id);
  if (thread == nullptr || thread_playing != GetCurrentThreadId()) {
    return thread;
  }
  // Threads of sounds that have ended need no handle.
  std::erase_if(sound_threads, [](HANDLE kept) {
    const bool ended = WaitForSingleObject(kept, 0) == WAIT_OBJECT_0;
    if (ended) {
      CloseHandle(kept);
    }
    return ended;
  });
  HANDLE kept = nullptr;
  if (DuplicateHandle(GetCurrentProcess(), thread, GetCurrentProcess(), &kept, SYNCHRONIZE, FALSE,
                      0)) {
    sound_threads.push_back(kept);
  }
  return thread;
}

BOOL WINAPI watched_play_sound(LPCSTR sound, HMODULE module, DWORD flags) {
  std::string name = sound == nullptr ? "(null pointer)" : sound;
  // The module plays a file asynchronously and nothing else.
  if (module != nullptr || flags != (SND_FILENAME | SND_ASYNC)) {
    char details[64];
    std::snprintf(details, sizeof details, " [module %p, flags 0x%lx]", static_cast<void*>(module),
                  static_cast<unsigned long>(flags));
    name += details;
  }
  record_ring(name);
  // Only an asynchronous call starts a thread for its sound. One that winmm
  // starts in a synchronous call (its device thread) is not the sound's.
  if ((flags & SND_ASYNC) != 0) {
    thread_playing = GetCurrentThreadId();
  }
  const BOOL played = PlaySoundA(sound, module, flags);
  thread_playing = 0;
  return played;
}

// The import address table slot through which an image calls dll!function,
// or null.
void** find_import_slot(HMODULE image, const char* dll, const char* function) {
  const auto base = reinterpret_cast<const BYTE*>(image);
  const auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (imports.VirtualAddress == 0) {
    return nullptr;
  }
  for (auto descriptor =
           reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
       descriptor->Name != 0; ++descriptor) {
    if (_stricmp(reinterpret_cast<const char*>(base + descriptor->Name), dll) != 0 ||
        descriptor->OriginalFirstThunk == 0) {
      continue;
    }
    auto names = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + descriptor->OriginalFirstThunk);
    auto slots =
        reinterpret_cast<IMAGE_THUNK_DATA*>(const_cast<BYTE*>(base) + descriptor->FirstThunk);
    for (; names->u1.AddressOfData != 0; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) {
        continue;
      }
      const auto by_name =
          reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      if (std::strcmp(reinterpret_cast<const char*>(by_name->Name), function) == 0) {
        return reinterpret_cast<void**>(&slots->u1.Function);
      }
    }
  }
  return nullptr;
}

bool redirect_import(void** slot, void* function) {
  DWORD protection = 0;
  if (!VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &protection)) {
    return false;
  }
  *slot = function;
  VirtualProtect(slot, sizeof *slot, protection, &protection);
  return true;
}

} // namespace

std::string default_module_path() {
  char program[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, program, MAX_PATH);
  if (length == 0 || length == MAX_PATH) {
    return "Tollwick.dll";
  }
  return folder_of(std::string(program, length)) + "\\Tollwick.dll";
}

void* open_module(const std::string& path, std::string& folder, std::string& error) {
  char full_path[MAX_PATH];
  const DWORD length = GetFullPathNameA(path.c_str(), MAX_PATH, full_path, nullptr);
  if (length == 0 || length >= MAX_PATH) {
    error = "the path cannot be resolved";
    return nullptr;
  }
  if (GetFileAttributesA(full_path) == INVALID_FILE_ATTRIBUTES) {
    error = system_message(GetLastError());
    return nullptr;
  }
  // No error dialog for a library that cannot be loaded.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  HMODULE handle = LoadLibraryA(full_path);
  if (handle == nullptr) {
    error = system_message(GetLastError());
    return nullptr;
  }
  char loaded_path[MAX_PATH];
  const DWORD loaded_length = GetModuleFileNameA(handle, loaded_path, MAX_PATH);
  folder = folder_of(loaded_length == 0 ? std::string(full_path)
                                        : std::string(loaded_path, loaded_length));
  return handle;
}

void* find_export(void* handle, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
}

bool watch_sound(void* handle, std::string& error) {
  void** slot = find_import_slot(static_cast<HMODULE>(handle), "WINMM.dll", "PlaySoundA");
  if (slot == nullptr) {
    error = "it does not import PlaySoundA from WINMM.dll, so its rings cannot be watched";
    return false;
  }
  if (!redirect_import(slot, reinterpret_cast<void*>(&watched_play_sound))) {
    error = "its import of PlaySoundA cannot be redirected: " + system_message(GetLastError());
    return false;
  }
  // This program imports winmm. One that does not import CreateThread by name
  // from KERNEL32 leaves its sound threads unseen, and close_module waits for
  // none.
  if (void** create_thread =
          find_import_slot(GetModuleHandleA("winmm.dll"), "KERNEL32.dll", "CreateThread")) {
    redirect_import(create_thread, reinterpret_cast<void*>(&watched_create_thread));
  }
  return true;
}

void close_module(void* handle) {
  // Stopping the sound makes its thread end, and the host waits until it has
  // before the module and then the process go. Under Wine a process that
  // exits while such a thread is still ending dies now and then (under qemu
  // with exit status 1).
  PlaySoundA(nullptr, nullptr, 0);
  for (HANDLE thread : sound_threads) {
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
  }
  sound_threads.clear();
  FreeLibrary(static_cast<HMODULE>(handle));
}

bool module_still_loaded(const std::string& path) {
  char full_path[MAX_PATH];
  const DWORD length = GetFullPathNameA(path.c_str(), MAX_PATH, full_path, nullptr);
  return length > 0 && length < MAX_PATH && GetModuleHandleA(full_path) != nullptr;
}

// No count on Windows: the cycles are checked on Linux (faults.cycles and the
// hardening script), and a count that no test has seen fail would prove
// nothing.
int open_files() { return -1; }

void use_plain_output() { _setmode(_fileno(stdout), _O_BINARY); }

namespace {

HANDLE stall_timer = nullptr;
std::array<char, 96> stall_message{};

VOID CALLBACK report_stall(PVOID /*parameter*/, BOOLEAN /*fired*/) {
  std::fputs(stall_message.data(), stderr);
  ExitProcess(1);
}

} // namespace

void watch_for_stall(int cycle, unsigned seconds) {
  if (stall_timer != nullptr) {
    DeleteTimerQueueTimer(nullptr, stall_timer, nullptr);
    stall_timer = nullptr;
  }
  if (cycle == 0) {
    return;
  }
  std::snprintf(stall_message.data(), stall_message.size(),
                "tollwick-host: cycle %d stalled: not over after %u s\n", cycle, seconds);
  CreateTimerQueueTimer(&stall_timer, nullptr, report_stall, nullptr, seconds * 1000, 0,
                        WT_EXECUTEONLYONCE);
}
