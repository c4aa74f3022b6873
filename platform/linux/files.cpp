// Whether a name is a file, through stat.
#include "utilities/Utilities.h"

#include <sys/stat.h>

const char path_separator = '/';
const char* const path_delimiters = "/";
// '<', '>' and '"' are plain characters of a Linux file name.
const char* const pattern_characters = "*?";

bool names_a_file(const std::string& name) {
  struct stat status {};
  return stat(name.c_str(), &status) == 0 && !S_ISDIR(status.st_mode);
}
