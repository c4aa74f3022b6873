// Memory that ends where a page that cannot be read begins: a line placed at
// its very end shows that the trigger never reads into the next page.
#pragma once

#include <cstddef>

// A writable stretch of at least 4 KB, followed at once by a page without
// access. The same stretch on every call; it lives as long as the program.
char* readable_before_guard();
size_t readable_size();
