// File names through the Windows file search.
#include "platform/files.h"

#include <windows.h>

const char path_separator = '\\';
const char* const path_delimiters = "\\:";

bool file_exists(const std::string& name) {
  // The file search reads '<', '>' and '"' as wildcards of their own too.
  if (name.find_first_of("*?<>\"") != std::string::npos) {
    return false;
  }
  WIN32_FIND_DATAA entry;
  const HANDLE search = FindFirstFileA(name.c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) {
    return false;
  }
  FindClose(search);
  return (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}
