// The portable build's INI-file service. It answers like the Windows one:
// section and key names match without regard to case, blanks around names
// and values are trimmed, one pair of matching quotes around a value is
// removed on read, a line is a comment when ';' is its first non-blank, and
// the first of duplicate sections or keys wins. A write replaces or adds one
// line and keeps every other byte; it goes to a temporary file in the same
// folder that is renamed over the old one, so the old file is either kept
// whole or replaced whole.
#include "settings/ini_service.h"

#include "utilities/Utilities.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace {

constexpr std::string_view blanks = " \t";

std::string_view trim(std::string_view s) {
  const size_t first = s.find_first_not_of(blanks);
  if (first == std::string_view::npos) {
    return {};
  }
  return s.substr(first, s.find_last_not_of(blanks) - first + 1);
}

bool same_name(std::string_view a, std::string_view b) {
  return a.size() == b.size() && uppercase_ascii(a) == uppercase_ascii(b);
}

// One line of the file: its text without the line end, and where it starts.
struct ini_line {
  size_t start;
  size_t end;      // one past the text
  size_t next;     // one past the line end
};

ini_line line_at(std::string_view content, size_t start) {
  size_t end = content.find_first_of("\r\n", start);
  if (end == std::string_view::npos) {
    return {start, content.size(), content.size()};
  }
  const size_t next = content.compare(end, 2, "\r\n") == 0 ? end + 2 : end + 1;
  return {start, end, next};
}

// The section name of a header line, or nothing when the line is no header.
std::optional<std::string_view> section_name(std::string_view text) {
  const std::string_view trimmed = trim(text);
  if (trimmed.empty() || trimmed.front() != '[') {
    return std::nullopt;
  }
  const std::string_view inside = trimmed.substr(1);
  return trim(inside.substr(0, inside.find(']')));
}

// Where a key is, or where a new key of the section would go.
struct key_place {
  bool section_found = false;
  bool key_found = false;
  ini_line key_line{};       // the key's line when key_found
  size_t section_end = 0;    // after the section's last non-blank line
};

key_place find_key(std::string_view content, std::string_view section, std::string_view key) {
  key_place place;
  bool in_section = false;
  for (size_t start = 0; start < content.size();) {
    const ini_line line = line_at(content, start);
    start = line.next;
    const std::string_view text = content.substr(line.start, line.end - line.start);
    if (const auto name = section_name(text)) {
      if (place.section_found) {
        break;
      }
      in_section = same_name(*name, section);
      place.section_found = in_section;
      place.section_end = line.next;
      continue;
    }
    if (!in_section) {
      continue;
    }
    const std::string_view trimmed = trim(text);
    if (!trimmed.empty()) {
      place.section_end = line.next;
    }
    if (trimmed.empty() || trimmed.front() == ';') {
      continue;
    }
    const size_t equals = trimmed.find('=');
    if (equals != std::string_view::npos && same_name(trim(trimmed.substr(0, equals)), key)) {
      place.key_found = true;
      place.key_line = line;
      return place;
    }
  }
  return place;
}

// The key's value as read: trimmed, one pair of matching quotes removed.
std::optional<std::string> read_value(const std::string& content, const char* section,
                                      const char* key) {
  const key_place place = find_key(content, section, key);
  if (!place.key_found) {
    return std::nullopt;
  }
  const std::string_view text(content.data() + place.key_line.start,
                              place.key_line.end - place.key_line.start);
  std::string_view value = trim(text.substr(text.find('=') + 1));
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return std::string(value);
}

// The whole file; an empty text when there is none; nothing when it exists
// but cannot be read.
std::optional<std::string> read_file(const char* file) {
  const int descriptor = open(file, O_RDONLY | O_CLOEXEC);
  if (descriptor < 0) {
    return errno == ENOENT ? std::optional<std::string>(std::string()) : std::nullopt;
  }
  std::string content;
  char chunk[65536];
  ssize_t got = 0;
  while ((got = read(descriptor, chunk, sizeof chunk)) > 0) {
    content.append(chunk, static_cast<size_t>(got));
  }
  close(descriptor);
  if (got < 0) {
    return std::nullopt;
  }
  return content;
}

std::string_view line_end_of(std::string_view content) {
  const size_t end = content.find_first_of("\r\n");
  if (end == std::string_view::npos) {
    return "\n";
  }
  return content.compare(end, 2, "\r\n") == 0 ? "\r\n" : content.substr(end, 1);
}

bool write_all(int descriptor, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = write(descriptor, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) {
      continue;
    }
    if (written <= 0) {
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

mode_t new_file_mode() {
  const mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

// Replaces file with content, or leaves it untouched when any step fails.
void replace_file(const char* file, std::string_view content) {
  struct stat old_status {};
  const mode_t mode = stat(file, &old_status) == 0 ? old_status.st_mode & 07777 : new_file_mode();
  std::string temporary = std::string(file) + ".XXXXXX";
  const int descriptor = mkostemp(temporary.data(), O_CLOEXEC);
  if (descriptor < 0) {
    return;
  }
  const bool written = write_all(descriptor, content) && fchmod(descriptor, mode) == 0 &&
                       fsync(descriptor) == 0;
  const bool closed = close(descriptor) == 0;
  if (!written || !closed || rename(temporary.c_str(), file) != 0) {
    unlink(temporary.c_str());
  }
}

} // namespace

int32_t ini_read_int(const char* section, const char* key, int32_t default_value,
                     const char* file) {
  const std::optional<std::string> content = read_file(file);
  const std::optional<std::string> value =
      content ? read_value(*content, section, key) : std::nullopt;
  if (!value || value->empty()) {
    return default_value;
  }
  // An optional sign, then decimal digits up to the first other byte,
  // wrapping like a 32-bit register.
  size_t i = 0;
  const bool negative = (*value)[0] == '-';
  if (negative || (*value)[0] == '+') {
    i = 1;
  }
  uint32_t number = 0;
  for (; i < value->size() && (*value)[i] >= '0' && (*value)[i] <= '9'; ++i) {
    number = number * 10 + static_cast<uint32_t>((*value)[i] - '0');
  }
  return static_cast<int32_t>(negative ? 0U - number : number);
}

uint32_t ini_read_text(const char* section, const char* key, const char* default_text,
                       char* buffer, uint32_t size, const char* file) {
  if (size == 0) {
    return 0;
  }
  const std::optional<std::string> content = read_file(file);
  std::optional<std::string> value = content ? read_value(*content, section, key) : std::nullopt;
  if (!value) {
    // The default loses its trailing blanks, as the Windows service does.
    const std::string_view fallback = default_text == nullptr ? "" : default_text;
    value = std::string(fallback.substr(0, fallback.find_last_not_of(' ') + 1));
  }
  const uint32_t length = static_cast<uint32_t>(std::min<size_t>(value->size(), size - 1));
  std::memcpy(buffer, value->data(), length);
  buffer[length] = '\0';
  return length;
}

void ini_write_text(const char* section, const char* key, const char* value, const char* file) {
  const std::optional<std::string> old_content = read_file(file);
  if (!old_content) {
    return;
  }
  const std::string& content = *old_content;
  const std::string_view line_end = line_end_of(content);
  const std::string key_line = std::string(key) + "=" + std::string(first_line(value));
  const key_place place = find_key(content, section, key);

  std::string updated;
  updated.reserve(content.size() + key_line.size() + std::strlen(section) + 8);
  if (place.key_found) {
    updated.append(content, 0, place.key_line.start);
    updated += key_line;
    updated.append(content, place.key_line.end);
  } else {
    const size_t insert_at = place.section_found ? place.section_end : content.size();
    updated.append(content, 0, insert_at);
    if (!updated.empty() && updated.back() != '\n' && updated.back() != '\r') {
      updated += line_end;
    }
    if (!place.section_found) {
      updated += '[';
      updated += section;
      updated += ']';
      updated += line_end;
    }
    updated += key_line;
    updated += line_end;
    updated.append(content, insert_at);
  }
  replace_file(file, updated);
}
