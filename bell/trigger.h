// Recognising the server lines that ring the bell.
#pragma once

#include <cstdint>

// Plays wave_path through the platform's sound service.
void ring_bell();

// Rings the bell once when the module is enabled and line, of kind 2 and
// starting with "(", is a join or summon request or a whisper to the user.
void ring_if_requested(int32_t kind, const char* line);

// The ways of reading a line that the processor may offer: 16, 32 or 64
// bytes at a time with SSE2, AVX2 or AVX-512 (with VBMI).
enum line_reading { sse2_reading, avx2_reading, avx512_reading };

// The widest reading the processor has; ring_if_requested reads with it.
line_reading widest_reading();

// Whether line (not null) holds a join or summon request, or a whisper
// opening followed by a whisper closing, read in the given way, which the
// processor must have.
bool is_request_or_whisper(const char* line, line_reading reading);
