// The module text table. Each platform keeps the texts apart from the code
// (Windows: the library's string table) and answers them from there.
#pragma once

#include "resources/texts.h"

#include <string_view>

// The text with the given TEXT_ID_ number, byte for byte and zero-terminated
// (empty for an unknown number); valid while the library is loaded.
std::string_view module_text(int id);
