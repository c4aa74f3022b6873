// The platform's file names: how paths are joined and split, and whether a
// name is an existing file.
#pragma once

#include <string>

// The separator that joins a folder and a file name, and the delimiters that
// end a folder part.
extern const char path_separator;
extern const char* const path_delimiters;

// Whether name is an existing file: false for folders, missing names and
// names that the platform's file search would read as a pattern, since the
// sound service opens a name as it is.
bool file_exists(const std::string& name);
