// File existence through the Windows file search.
#include "utilities/Utilities.h"

#include <windows.h>

const char path_separator = '\\';
const char* const path_delimiters = "\\:";

bool file_exists(const std::string& name) {
  // A pattern is never a file: the sound service opens the name literally.
  if (name.find_first_of("*?") != std::string::npos) {
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
