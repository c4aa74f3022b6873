// The host program's Windows half. The module imports its services from
// modhost.dll, which forwards them to the host_* functions this program
// exports. Its sound calls are watched by pointing the module's import of
// WINMM.dll!PlaySoundA at a function of the program that records the sound and
// plays it.
#include "host/host.h"

#include <windows.h>

#include <mmsystem.h>

#include <fcntl.h>
#include <io.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <string>

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
  return PlaySoundA(sound, module, flags);
}

// The import address table slot through which the module calls dll!function,
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
  DWORD protection = 0;
  if (!VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &protection)) {
    error = "its import of PlaySoundA cannot be redirected: " + system_message(GetLastError());
    return false;
  }
  *slot = reinterpret_cast<void*>(&watched_play_sound);
  VirtualProtect(slot, sizeof *slot, protection, &protection);
  return true;
}

void close_module(void* handle) {
  // The sound service plays on a thread of its own; stopping the sound first
  // ends that thread before the module and then the process go. Under Wine a
  // process that exits while it still runs crashes now and then.
  PlaySoundA(nullptr, nullptr, 0);
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
