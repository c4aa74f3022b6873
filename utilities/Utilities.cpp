#include "utilities/Utilities.h"

#include "platform/files.h"

std::string uppercase_ascii(std::string_view s) {
  std::string upper(s);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') {
      c = static_cast<char>(c - 0x20);
    }
  }
  return upper;
}

int32_t find_from(std::string_view sub, std::string_view s, int32_t offset) {
  if (offset < 1 || static_cast<size_t>(offset - 1) > s.size()) {
    return 0;
  }
  const size_t found = s.find(sub, static_cast<size_t>(offset - 1));
  return found == std::string_view::npos ? 0 : static_cast<int32_t>(found + 1);
}

int32_t last_delimiter(const char* delimiters, std::string_view s) {
  for (size_t i = s.size(); i > 0; --i) {
    const char c = s[i - 1];
    if (c != '\0' && find_char(delimiters, c) != nullptr) {
      return static_cast<int32_t>(i);
    }
  }
  return 0;
}

std::string extract_dir(std::string_view path) {
  return std::string(path.substr(0, static_cast<size_t>(last_delimiter(path_delimiters, path))));
}

const char* find_char(const char* text, char c) {
  for (; *text != '\0'; ++text) {
    if (*text == c) {
      return text;
    }
  }
  return nullptr;
}

std::string_view first_line(std::string_view s) { return s.substr(0, s.find_first_of("\r\n")); }
