// malloc and its kin, replaced to count, on the GNU C library, which lets a
// program replace them and keeps its own under __libc_ names.
#include "tests/trigger/allocation_count.h"

#include <cstddef>

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* memory, size_t size);

void* malloc(size_t size) {
  count_allocation();
  return __libc_malloc(size);
}

void* calloc(size_t count, size_t size) {
  count_allocation();
  return __libc_calloc(count, size);
}

void* realloc(void* memory, size_t size) {
  count_allocation();
  return __libc_realloc(memory, size);
}
}
