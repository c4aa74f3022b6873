// File existence through stat.
#include "utilities/Utilities.h"

#include <sys/stat.h>

const char path_separator = '/';
const char* const path_delimiters = "/";

bool file_exists(const std::string& name) {
  // Same answer as the Windows build: a pattern is never a file.
  if (name.find_first_of("*?") != std::string::npos) {
    return false;
  }
  struct stat status {};
  return stat(name.c_str(), &status) == 0 && !S_ISDIR(status.st_mode);
}
