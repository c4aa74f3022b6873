// The Linux INI service on any file content, then any sequence of reads and
// writes. Reads must survive every file; after each write the key reads back
// as it would from a file holding nothing else, every other byte of the file
// stays as it was (only the key's own line may change, or lines are added),
// and no temporary file is left beside it. A file that is not ours to rewrite
// (one that starts like UTF-16 text) stays as it is.
//
// Input: two bytes, little-endian, give the length of the file content that
// follows; the rest are operations. Each operation is one byte: its low two
// bits pick read-integer, read-text or write (3 is read-text as well), the
// next two bits the section and the two after the key, from small tables of
// names in several letter cases. A read-text is followed by its buffer size
// (one byte), a write by its value's length (one byte) and the value.
#include "platform/ini.h"
#include "tests/support/file_bytes.h"

#include <dirent.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

namespace {

constexpr std::array<const char*, 4> sections = {"Main", "main", "MAIN", "Other"};
constexpr std::array<const char*, 4> keys = {"AA", "WF", "wf", "Key"};

std::string folder;
std::string settings_file;
std::string clean_file;

void require(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "broken: %s\n", what);
    std::abort();
  }
}

std::string read_text(const char* section, const char* key, const std::string& file) {
  std::array<char, 1024> buffer{};
  const uint32_t length = ini_read_text(section, key, "\x01missing", buffer.data(),
                                        static_cast<uint32_t>(buffer.size()), file.c_str());
  require(length < buffer.size() && buffer[length] == '\0', "read text is cut and terminated");
  return {buffer.data(), length};
}

size_t files_in_folder() {
  size_t count = 0;
  DIR* directory = opendir(folder.c_str());
  while (const dirent* entry = readdir(directory)) {
    count += std::string_view(entry->d_name) != "." && std::string_view(entry->d_name) != "..";
  }
  closedir(directory);
  return count;
}

// Only the text of one line may differ between before and after, or bytes be
// added: what lies between their common start and common end holds no line
// break on the side of the old file.
void require_other_bytes_kept(const std::string& before, const std::string& after) {
  size_t prefix = 0;
  while (prefix < before.size() && prefix < after.size() && before[prefix] == after[prefix]) {
    ++prefix;
  }
  size_t suffix = 0;
  while (suffix < before.size() - prefix && suffix < after.size() - prefix &&
         before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix]) {
    ++suffix;
  }
  const std::string_view removed =
      std::string_view(before).substr(prefix, before.size() - prefix - suffix);
  require(removed.find_first_of("\r\n") == std::string_view::npos,
          "a write changes no byte outside the key's own line");
}

void check_write(const char* section, const char* key, const std::string& value) {
  const std::string before = file_bytes(settings_file).value_or("");
  ini_write_text(section, key, value.c_str(), settings_file.c_str());
  const std::string after = file_bytes(settings_file).value_or("");
  require_other_bytes_kept(before, after);
  require(files_in_folder() == 2, "no temporary file is left");
  // A file that starts like UTF-16 text is not read as ours, and so never
  // rewritten.
  if (before.starts_with("\xFF\xFE") || before.starts_with("\xFE\xFF")) {
    require(after == before, "a UTF-16 file is left alone");
    return;
  }

  put_file_bytes(clean_file, "");
  ini_write_text(section, key, value.c_str(), clean_file.c_str());
  require(read_text(section, key, settings_file) == read_text(section, key, clean_file),
          "a written key reads back as from a file of its own");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  const std::filesystem::path base =
      std::filesystem::exists("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path();
  std::string pattern = (base / "tollwick-ini-fuzz-XXXXXX").string();
  require(mkdtemp(pattern.data()) != nullptr, "a scratch folder");
  folder = pattern;
  settings_file = folder + "/Tollwick.ini";
  clean_file = folder + "/clean.ini";
  put_file_bytes(clean_file, "");
  std::atexit([] { std::filesystem::remove_all(folder); });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) {
    return 0;
  }
  std::string_view input(reinterpret_cast<const char*>(data) + 2, size - 2);
  const size_t content_length = std::min<size_t>(data[0] + size_t{data[1]} * 256, input.size());
  put_file_bytes(settings_file, input.substr(0, content_length));
  input.remove_prefix(content_length);

  while (!input.empty()) {
    const auto operation = static_cast<uint8_t>(input[0]);
    input.remove_prefix(1);
    const char* section = sections[(operation >> 2) & 3];
    const char* key = keys[(operation >> 4) & 3];
    if ((operation & 3) == 0) {
      ini_read_int(section, key, -7, settings_file.c_str());
    } else if ((operation & 3) == 2) {
      const size_t length =
          input.empty() ? 0 : std::min<size_t>(static_cast<uint8_t>(input[0]), input.size() - 1);
      const std::string value(input.substr(input.empty() ? 0 : 1, length));
      input.remove_prefix(input.empty() ? 0 : 1 + length);
      check_write(section, key, value);
    } else {
      const uint32_t buffer_size = input.empty() ? 0 : static_cast<uint8_t>(input[0]);
      input.remove_prefix(input.empty() ? 0 : 1);
      std::string buffer(buffer_size + 1, '\x7f');
      const uint32_t length =
          ini_read_text(section, key, "default", buffer.data(), buffer_size, settings_file.c_str());
      require(buffer_size == 0 ? length == 0 : length < buffer_size && buffer[length] == '\0',
              "read text is cut to the buffer and terminated");
      require(buffer[buffer_size] == '\x7f', "nothing is written past the buffer");
    }
  }
  return 0;
}
