#include "tests/trigger/guarded_page.h"

#include <windows.h>

#include <cstdlib>

namespace {

size_t page_size() {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return info.dwPageSize;
}

char* allocate_guarded_stretch() {
  char* pages = static_cast<char*>(
      VirtualAlloc(nullptr, 3 * page_size(), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  DWORD previous = 0;
  if (pages == nullptr || VirtualProtect(pages, page_size(), PAGE_NOACCESS, &previous) == 0 ||
      VirtualProtect(pages + 2 * page_size(), page_size(), PAGE_NOACCESS, &previous) == 0) {
    std::abort();
  }
  return pages + page_size();
}

} // namespace

char* guarded_stretch() {
  static char* const stretch = allocate_guarded_stretch();
  return stretch;
}

size_t readable_size() { return page_size(); }
