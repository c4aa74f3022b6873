// The guard that the stack protector's checks compare with, and what a failed
// check does. The module defines both itself: GCC's own on MinGW come from
// libssp, which seeds its guard through a crypto provider inside the loader
// lock and writes to the console on failure (docs/releasing.md).
//
// Built without the stack protector: seeding changes the guard that a guarded
// function would compare on its return.
#include <windows.h>

#include <array>
#include <cstdint>

namespace {

constexpr uint32_t guard_in_file = 0xBB40E64E;
// Not in every release's headers.
constexpr DWORD fast_fail_available = 23; // PF_FASTFAIL_AVAILABLE
constexpr DWORD stack_cookie_check_failure = 2;
constexpr UINT stack_buffer_overrun = 0xC0000409;

// Every bit of state changes about half of the result's bits (a
// xorshift-multiply finaliser): no byte of the guard follows a slow source.
uint32_t mixed(uint32_t state) {
  state ^= state >> 16;
  state *= 0x85EBCA6B;
  state ^= state >> 13;
  state *= 0xC2B2AE35;
  return state ^ (state >> 16);
}

} // namespace

extern "C" {

// NOLINTBEGIN(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp): the
// names the compiler's checks use.
uintptr_t __stack_chk_guard = guard_in_file;

// Ends the process at once with the status of an overrun stack buffer: no
// unwinding, no handler, no message.
[[noreturn]] void __stack_chk_fail() {
  if (IsProcessorFeaturePresent(fast_fail_available) != 0) {
    __asm__ volatile("int $0x29" : : "c"(stack_cookie_check_failure) : "memory");
  }
  TerminateProcess(GetCurrentProcess(), stack_buffer_overrun);
  __builtin_unreachable();
}
// NOLINTEND(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
}

namespace {

// Seeds the guard once per process, first among the module's constructors,
// so before any callback, from KERNEL32 calls that are safe inside the loader
// lock. That is enough: a server that overruns a buffer with a line must
// guess the guard, and sees none of these values; code already running in
// the process can read the guard itself.
[[gnu::constructor(101)]] void seed_stack_guard() {
  FILETIME time;
  GetSystemTimeAsFileTime(&time);
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  // The last two: where the loader put the module, and where the stack is.
  const std::array<uintptr_t, 9> sources{time.dwLowDateTime,
                                         time.dwHighDateTime,
                                         counter.LowPart,
                                         static_cast<uintptr_t>(counter.HighPart),
                                         GetCurrentProcessId(),
                                         GetCurrentThreadId(),
                                         GetTickCount(),
                                         reinterpret_cast<uintptr_t>(&__stack_chk_guard),
                                         reinterpret_cast<uintptr_t>(&counter)};
  uint32_t seed = 0;
  for (const uintptr_t source : sources) {
    seed = mixed(seed ^ static_cast<uint32_t>(source));
  }
  __stack_chk_guard = seed == guard_in_file ? ~seed : seed;
}

} // namespace
