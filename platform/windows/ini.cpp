// The Windows INI-file service.
#include "platform/ini.h"

#include <windows.h>

int32_t ini_read_int(const char* section, const char* key, int32_t default_value,
                     const char* file) {
  return static_cast<int32_t>(GetPrivateProfileIntA(section, key, default_value, file));
}

uint32_t ini_read_text(const char* section, const char* key, const char* default_text, char* buffer,
                       uint32_t size, const char* file) {
  return GetPrivateProfileStringA(section, key, default_text, buffer, size, file);
}

void ini_write_text(const char* section, const char* key, const char* value, const char* file) {
  WritePrivateProfileStringA(section, key, value, file);
}
