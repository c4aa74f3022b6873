#include "tests/trigger/guarded_page.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>

namespace {

size_t page_size() { return static_cast<size_t>(sysconf(_SC_PAGESIZE)); }

char* map_guarded_stretch() {
  void* pages =
      mmap(nullptr, 3 * page_size(), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (pages == MAP_FAILED || mprotect(pages, page_size(), PROT_NONE) != 0 ||
      mprotect(static_cast<char*>(pages) + 2 * page_size(), page_size(), PROT_NONE) != 0) {
    std::abort();
  }
  return static_cast<char*>(pages) + page_size();
}

} // namespace

char* guarded_stretch() {
  static char* const stretch = map_guarded_stretch();
  return stretch;
}

size_t readable_size() { return page_size(); }
