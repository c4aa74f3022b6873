// The bell trigger read literally: the line copied into a string, then up to
// four searches in the order join, summon, whisper opening, whisper closing.
// The differential test holds on_inet to its answers; the benchmark measures
// on_inet against it.
#pragma once

#include <cstdint>

// Whether on_inet(kind, line) rings, for the module's current enabled state.
bool literal_rings(int32_t kind, const char* line);
