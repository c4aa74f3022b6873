// Memory between two pages that cannot be read: a line placed at its very end
// shows that the trigger never reads into the next page, and one placed at
// its very start that it never reads into the page before.
#pragma once

#include <cstddef>

// A writable stretch of at least 4 KB with a page without access at once
// before and after it. The same stretch on every call; it lives as long as
// the program.
char* guarded_stretch();
size_t readable_size();
