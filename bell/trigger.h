// Recognising the server lines that ring the bell.
#pragma once

#include <cstdint>

// Plays wave_path through the platform's sound service.
void ring_bell();

// Rings the bell once when the module is enabled and line, of kind 2 and
// starting with "(", holds a join or summon request or a whisper to the user.
void ring_if_requested(int32_t kind, const char* line);
