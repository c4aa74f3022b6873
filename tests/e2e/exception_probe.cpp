// A host with an unhandled-exception filter of its own raises exceptions
// before, while and after the module is loaded: the filter must see every
// one, so the module has put no handler in front of it. The thread-naming
// exception is the one a runtime's handler takes for itself. Given an offset,
// it also prints in hex the 4 bytes there in the loaded module, for the check
// of the stack guard's seeding (check-binary.sh).
//
//   exception_probe MODULE.dll [OFFSET]
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>

namespace {

constexpr DWORD thread_naming = 0x406D1388;
constexpr DWORD hosts_own = 0xE0000001;

DWORD last_seen = 0;

LONG WINAPI host_filter(EXCEPTION_POINTERS* exception) {
  last_seen = exception->ExceptionRecord->ExceptionCode;
  return EXCEPTION_CONTINUE_EXECUTION;
}

// Raises each exception and answers whether the host's filter saw all.
bool filter_sees_all(const char* when) {
  // What a debugger reads from the thread-naming exception: type 0x1000, the
  // name, the thread (-1: this one) and flags.
  const ULONG_PTR naming[] = {0x1000, reinterpret_cast<ULONG_PTR>("host main"),
                              static_cast<ULONG_PTR>(-1), 0};
  bool all = true;
  for (const DWORD code : {thread_naming, hosts_own}) {
    last_seen = 0;
    RaiseException(code, 0, code == thread_naming ? 4 : 0, naming);
    const bool seen = last_seen == code;
    std::printf("%s: exception 0x%08lX %s\n", seen ? "ok" : "FAIL", code, when);
    all = all && seen;
  }
  return all;
}

} // namespace

int main(int argc, char** argv) {
  if (argc != 2 && argc != 3) {
    std::fprintf(stderr, "usage: exception_probe MODULE.dll [OFFSET]\n");
    return 2;
  }
  SetUnhandledExceptionFilter(host_filter);
  bool all = filter_sees_all("before loading");
  const HMODULE module = LoadLibraryA(argv[1]);
  if (module == nullptr) {
    std::printf("FAIL: cannot load %s, error %lu\n", argv[1], GetLastError());
    return 1;
  }
  all = filter_sees_all("while loaded") && all;
  if (argc == 3) {
    const auto* at = reinterpret_cast<const char*>(module) + std::strtoul(argv[2], nullptr, 0);
    std::printf("0x%08x at offset %s\n", *reinterpret_cast<const uint32_t*>(at), argv[2]);
  }
  FreeLibrary(module);
  all = filter_sees_all("after unloading") && all;
  return all ? 0 : 1;
}
