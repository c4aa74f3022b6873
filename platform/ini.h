// The INI-file service: the Windows one, or on other platforms our own that
// gives the module the same answers. Every text is zero-terminated.
#pragma once

#include <cstdint>

// The key's value read as a decimal integer, or default_value when the file,
// section or key is missing or the value is empty.
int32_t ini_read_int(const char* section, const char* key, int32_t default_value, const char* file);

// Copies the key's value, or default_text when it is missing, into buffer
// (cut to size - 1 bytes and zero-terminated); answers the bytes copied.
uint32_t ini_read_text(const char* section, const char* key, const char* default_text, char* buffer,
                       uint32_t size, const char* file);

// Creates or replaces the key, creating the file and section as needed.
// Failures are not reported.
void ini_write_text(const char* section, const char* key, const char* value, const char* file);
