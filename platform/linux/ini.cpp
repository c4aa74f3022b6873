// The portable build's INI-file service. It answers like the Windows one:
// section and key names match without regard to case, blanks around names
// and values are trimmed, one pair of matching quotes around a value is
// removed on read, a line is a comment when ';' is its first non-blank, the
// first of duplicate sections or keys wins, and CR, LF and CRLF all end a
// line. A write replaces one value or adds one line and keeps every other
// byte; it goes to a temporary file in the same folder that is renamed over
// the old one, so the old file is either kept whole or replaced whole.
#include "platform/ini.h"

#include "utilities/Utilities.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace {

constexpr std::string_view blanks = " \t\v\f";
// No settings file comes near this; a larger one is read as no file of ours
// and never rewritten, so that it can neither stall the host nor exhaust its
// memory.
constexpr size_t largest_file = size_t{16} * 1024 * 1024;
constexpr std::string_view utf8_mark = "\xEF\xBB\xBF";

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

// One line of the file: where its text starts and ends, and where the next
// line starts.
struct ini_line {
  size_t start;
  size_t end;
  size_t next;
};

ini_line line_at(std::string_view content, size_t start) {
  const size_t end = content.find_first_of("\r\n", start);
  if (end == std::string_view::npos) {
    return {start, content.size(), content.size()};
  }
  const size_t next = content.compare(end, 2, "\r\n") == 0 ? end + 2 : end + 1;
  return {start, end, next};
}

// The section name of a header line, or nothing when the line is no header.
// The name ends at the line's last ']': a '[' line without one is no header.
std::optional<std::string_view> section_name(std::string_view text) {
  const std::string_view trimmed = trim(text);
  const size_t close = trimmed.rfind(']');
  if (trimmed.empty() || trimmed.front() != '[' || close == std::string_view::npos) {
    return std::nullopt;
  }
  return trim(trimmed.substr(1, close - 1));
}

// Where a key's value is, or where a new key of the section would go. A key
// line without '=' is a key without a value: it reads as missing, and hides
// a later line of the same key.
struct key_place {
  bool section_found = false;
  bool key_found = false;
  bool has_value = false; // the key's line holds '='
  size_t value_start = 0; // after the '=', or after the name
  size_t value_end = 0;
  size_t section_end = 0; // after the section's last non-blank line
};

key_place find_key(std::string_view content, std::string_view section, std::string_view key) {
  key_place place;
  bool in_section = false;
  const size_t first = content.starts_with(utf8_mark) ? utf8_mark.size() : 0;
  for (size_t start = first; start < content.size();) {
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
    const std::string_view trimmed = trim(text);
    if (!in_section || trimmed.empty()) {
      continue;
    }
    place.section_end = line.next;
    const size_t equals = text.find('=');
    if (trimmed.front() != ';' && same_name(trim(text.substr(0, equals)), key)) {
      place.key_found = true;
      place.has_value = equals != std::string_view::npos;
      place.value_start = place.has_value ? line.start + equals + 1
                                          : line.start + text.find_last_not_of(blanks) + 1;
      place.value_end = line.end;
      return place;
    }
  }
  return place;
}

// The key's value as read: trimmed, up to a zero byte, then one pair of
// matching quotes removed.
std::optional<std::string_view> read_value(std::string_view content, const char* section,
                                           const char* key) {
  const key_place place = find_key(content, section, key);
  if (!place.has_value) {
    return std::nullopt;
  }
  std::string_view value =
      trim(content.substr(place.value_start, place.value_end - place.value_start));
  value = value.substr(0, value.find('\0'));
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return value;
}

// The whole file; an empty text when there is none; nothing when it exists
// but cannot be read, is no regular file, is larger than largest_file, or is
// UTF-16, which this service neither reads nor writes.
std::optional<std::string> read_file(const char* file) {
  // Non-blocking, so that a pipe in the file's place cannot stall the host.
  const int descriptor = open(file, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (descriptor < 0) {
    return errno == ENOENT ? std::optional<std::string>(std::string()) : std::nullopt;
  }
  struct stat status = {};
  bool readable = fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode) &&
                  static_cast<uintmax_t>(status.st_size) <= largest_file;
  std::string content;
  content.reserve(readable ? static_cast<size_t>(status.st_size) : 0);
  std::array<char, 65536> chunk{};
  // The bound holds also for a file that grows while it is read.
  while (readable && content.size() <= largest_file) {
    const ssize_t got = read(descriptor, chunk.data(), chunk.size());
    if (got == 0) {
      break;
    }
    readable = got > 0 || errno == EINTR;
    content.append(chunk.data(), static_cast<size_t>(std::max<ssize_t>(got, 0)));
  }
  close(descriptor);
  if (!readable || content.size() > largest_file || content.starts_with("\xFF\xFE") ||
      content.starts_with("\xFE\xFF")) {
    return std::nullopt;
  }
  return content;
}

// 0 to 35 for the digits 0 to 9 and the letters a to z in either case; 36
// for any other byte.
uint32_t digit_value(char c) {
  if (c >= '0' && c <= '9') {
    return static_cast<uint32_t>(c - '0');
  }
  const char lower = static_cast<char>(c | 0x20);
  return lower >= 'a' && lower <= 'z' ? static_cast<uint32_t>(lower - 'a' + 10) : 36;
}

// A value as the Windows service reads an integer: only its first 29 bytes
// count; control bytes and blanks before an optional sign are skipped; "0x",
// "0o" or "0b" after the sign choose base 16, 8 or 2, otherwise base 10; the
// digits run up to the first byte that is no digit of the base and wrap at
// 32 bits.
int32_t integer_of(std::string_view value) {
  value = value.substr(0, 29);
  size_t i = 0;
  while (i < value.size() && static_cast<unsigned char>(value[i]) <= ' ') {
    ++i;
  }
  const bool negative = i < value.size() && value[i] == '-';
  if (i < value.size() && (value[i] == '-' || value[i] == '+')) {
    ++i;
  }
  const std::string_view prefix = value.substr(i, 2);
  const uint32_t base = prefix == "0x" ? 16 : prefix == "0o" ? 8 : prefix == "0b" ? 2 : 10;
  i += base == 10 ? 0 : 2;
  uint32_t number = 0;
  for (; i < value.size() && digit_value(value[i]) < base; ++i) {
    number = number * base + digit_value(value[i]);
  }
  return static_cast<int32_t>(negative ? 0U - number : number);
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

// Creates a new file beside file, named file's name and a suffix that no
// entry has, and answers its descriptor, or -1. The umask applies to mode, as
// for any new file.
int create_beside(const std::string& file, mode_t mode, std::string& name) {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  uint32_t seed = static_cast<uint32_t>(now.tv_nsec) ^ static_cast<uint32_t>(getpid()) << 16;
  for (int attempt = 0; attempt < 100; ++attempt) {
    seed = seed * 1664525U + 1013904223U;
    std::array<char, 16> suffix{};
    std::snprintf(suffix.data(), suffix.size(), ".%08x", seed);
    name = file + suffix.data();
    const int descriptor = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (descriptor >= 0 || errno != EEXIST) {
      return descriptor;
    }
  }
  return -1;
}

// Replaces file with content, or leaves it untouched when any step fails. A
// new file gets the mode any new file gets; a rewritten one keeps its own.
void replace_file(const char* file, std::string_view content) {
  // A file we may not write is kept, though the folder would let a new file
  // take its place.
  if (access(file, W_OK) != 0 && errno != ENOENT) {
    return;
  }
  struct stat old_status = {};
  const bool existed = stat(file, &old_status) == 0;
  std::string temporary;
  const int descriptor = create_beside(file, existed ? 0600 : 0666, temporary);
  if (descriptor < 0) {
    return;
  }
  const bool written = write_all(descriptor, content) &&
                       (!existed || fchmod(descriptor, old_status.st_mode & 07777) == 0) &&
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
  const std::optional<std::string_view> value =
      content ? read_value(*content, section, key) : std::nullopt;
  return value && !value->empty() ? integer_of(*value) : default_value;
}

uint32_t ini_read_text(const char* section, const char* key, const char* default_text, char* buffer,
                       uint32_t size, const char* file) {
  if (size == 0) {
    return 0;
  }
  const std::optional<std::string> content = read_file(file);
  std::optional<std::string_view> value =
      content ? read_value(*content, section, key) : std::nullopt;
  if (!value) {
    // The default loses its trailing blanks, as the Windows service does.
    const std::string_view fallback = default_text == nullptr ? "" : default_text;
    value = fallback.substr(0, fallback.find_last_not_of(' ') + 1);
  }
  const uint32_t length = static_cast<uint32_t>(std::min<size_t>(value->size(), size - 1));
  value->copy(buffer, length); // an empty value may have no data pointer at all
  buffer[length] = '\0';
  return length;
}

void ini_write_text(const char* section, const char* key, const char* value, const char* file) {
  const std::optional<std::string> old_content = read_file(file);
  if (!old_content) {
    return;
  }
  // Through a link, the file it names is rewritten, not the link replaced.
  char* const resolved = realpath(file, nullptr);
  const std::string target = resolved != nullptr ? resolved : file;
  std::free(resolved);
  const std::string& content = *old_content;
  const std::string_view stored_value = first_line(value);
  const key_place place = find_key(content, section, key);

  std::string updated;
  if (place.key_found) {
    // The key keeps its spelling and layout; only what follows '=' changes.
    updated.reserve(content.size() + stored_value.size());
    updated.append(content, 0, place.value_start);
    updated += place.has_value ? "" : "=";
    updated += stored_value;
    updated.append(content, place.value_end);
  } else {
    const std::string_view line_end = line_end_of(content);
    const size_t insert_at = place.section_found ? place.section_end : content.size();
    updated.append(content, 0, insert_at);
    if (!updated.empty() && updated.back() != '\n' && updated.back() != '\r') {
      updated += line_end;
    }
    if (!place.section_found) {
      updated.append("[").append(section).append("]").append(line_end);
    }
    updated.append(key).append("=").append(stored_value).append(line_end);
    updated.append(content, insert_at);
  }
  replace_file(target.c_str(), updated);
}
