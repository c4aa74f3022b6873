// Whether a name is a file, through the Windows file search.
#include "utilities/Utilities.h"

#include <windows.h>

const char path_separator = '\\';
const char* const path_delimiters = "\\:";
// The file search also reads '<', '>' and '"' as wildcards of their own.
const char* const pattern_characters = "*?<>\"";

bool names_a_file(const std::string& name) {
  WIN32_FIND_DATAA entry;
  const HANDLE search = FindFirstFileA(name.c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) {
    return false;
  }
  FindClose(search);
  return (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}
