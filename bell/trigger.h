// Recognising the server lines that ring the bell.
#pragma once

#include <cstdint>

// Plays wave_path through the platform's sound service.
void ring_bell();

// Rings the bell once when the module is enabled and line, of kind 2 and
// starting with "(", is a join or summon request or a whisper to the user.
void ring_if_requested(int32_t kind, const char* line);

// Whether line (not null) holds a join or summon request, or a whisper
// opening followed by a whisper closing. use_avx2 reads the line 32 bytes at
// a time (the processor must have AVX2), otherwise 16 with SSE2;
// ring_if_requested takes the wider reading wherever the processor has it.
bool is_request_or_whisper(const char* line, bool use_avx2);
