// File names through stat.
#include "platform/files.h"

#include <sys/stat.h>

const char path_separator = '/';
const char* const path_delimiters = "/";

bool file_exists(const std::string& name) {
  // '<', '>' and '"' are plain characters of a Linux file name.
  struct stat status = {};
  return name.find_first_of("*?") == std::string::npos && stat(name.c_str(), &status) == 0 &&
         !S_ISDIR(status.st_mode);
}
