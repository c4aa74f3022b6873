// Runs the INI cases of cases.txt through the INI service of the build: the
// system's own on Windows, the portable one elsewhere. The table's format is
// described at its top.
#include "platform/ini.h"
#include "tests/support/file_bytes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

#ifdef _WIN32
constexpr std::string_view this_platform = "win32";
#else
constexpr std::string_view this_platform = "linux";
#endif

enum class step_kind { read_int, read_text, write };

struct ini_step {
  step_kind kind;
  int table_line;
  std::string section{};
  std::string key{};
  std::string text{}; // the default of a read, the value of a write
  uint32_t size = 0;
  std::string expected{}; // a read's answer on this platform
};

struct ini_case {
  std::string name{};
  std::string purpose{};
  int table_line = 0;
  std::optional<std::string> input{}; // nothing: no file
  bool has_output = false;
  std::optional<std::string> output{}; // on this platform; nothing: no file
  std::vector<ini_step> steps{};
  std::string error{}; // a mistake in the table itself
};

// Text with the escapes \r \n \t \\ \" \xNN resolved, from text[i] up to
// the first unescaped stop byte (or the end); i is left on the stop byte.
std::string unescaped(std::string_view text, size_t& i, char stop) {
  std::string bytes;
  for (; i < text.size() && text[i] != stop; ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      bytes += text[i];
      continue;
    }
    switch (text[++i]) {
    case 'r': bytes += '\r'; break;
    case 'n': bytes += '\n'; break;
    case 't': bytes += '\t'; break;
    case 'x':
      bytes += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
      i += 2;
      break;
    default: bytes += text[i];
    }
  }
  return bytes;
}

// Splits a table line into words; a word in double quotes may hold blanks
// and escapes.
std::vector<std::string> words_of(std::string_view line, std::string& error) {
  std::vector<std::string> words;
  size_t i = 0;
  while (true) {
    while (i < line.size() && line[i] == ' ') {
      ++i;
    }
    if (i == line.size()) {
      return words;
    }
    if (line[i] != '"') {
      const size_t end = std::min(line.find(' ', i), line.size());
      words.emplace_back(line.substr(i, end - i));
      i = end;
      continue;
    }
    words.push_back(unescaped(line, ++i, '"'));
    if (i == line.size()) {
      error = "unterminated quote";
      return words;
    }
    ++i;
  }
}

std::optional<std::string> line_end_named(std::string_view name) {
  if (name == "crlf")
    return "\r\n";
  if (name == "lf")
    return "\n";
  if (name == "cr")
    return "\r";
  if (name == "raw")
    return "";
  return std::nullopt;
}

// The expected answer for this platform from "-> A" or "-> win32 A linux B".
std::optional<std::string> answer_for_platform(const std::vector<std::string>& words,
                                               size_t arrow) {
  if (arrow + 2 == words.size()) {
    return words[arrow + 1];
  }
  for (size_t i = arrow + 1; i + 1 < words.size(); i += 2) {
    if (words[i] == this_platform) {
      return words[i + 1];
    }
  }
  return std::nullopt;
}

std::vector<ini_case> load_table(const char* table_file) {
  std::vector<ini_case> cases;
  std::ifstream table(table_file, std::ios::binary);
  if (!table) {
    cases.push_back({.name = "table_missing", .error = std::string("cannot read ") + table_file});
    return cases;
  }
  std::vector<std::string> lines;
  for (std::string line; std::getline(table, line);) {
    lines.push_back(line);
  }
  for (size_t n = 0; n < lines.size(); ++n) {
    const std::string& line = lines[n];
    const int table_line = static_cast<int>(n + 1);
    if (line.empty() || line[0] == '#') {
      continue;
    }
    if (line.starts_with("case ")) {
      const size_t colon = line.find(':');
      cases.push_back({.name = line.substr(5, colon - 5),
                       .purpose = colon == std::string::npos ? "" : line.substr(colon + 2),
                       .table_line = table_line,
                       .input = std::string()});
      continue;
    }
    if (cases.empty()) {
      cases.push_back({.name = "table_start", .error = "line " + std::to_string(table_line)});
      continue;
    }
    ini_case& current = cases.back();
    std::string error;
    std::vector<std::string> words = words_of(line, error);
    const auto fail = [&](const std::string& why) {
      if (current.error.empty()) {
        current.error = "table line " + std::to_string(table_line) + ": " + why;
      }
    };
    if (!error.empty() || words.empty()) {
      fail(error.empty() ? "blank step" : error);
      continue;
    }
    if (words[0] == "in" || words[0] == "out") {
      // A block: its lines follow, each starting with "|".
      const bool input = words[0] == "in";
      size_t next = 1;
      bool for_this_platform = true;
      if (!input && words.size() > 1 && (words[1] == "win32" || words[1] == "linux")) {
        for_this_platform = words[1] == this_platform;
        next = 2;
      }
      std::optional<std::string> content;
      if (next < words.size() && words[next] == "missing") {
        ++next;
      } else {
        const std::optional<std::string> line_end =
            next < words.size() ? line_end_named(words[next]) : std::nullopt;
        if (!line_end) {
          fail("a block needs a line end: crlf, lf, cr or raw");
          continue;
        }
        ++next;
        const bool open = next < words.size() && words[next] == "open";
        next += open ? 1 : 0;
        content = std::string();
        while (n + 1 < lines.size() && lines[n + 1].starts_with("|")) {
          std::string block_line = lines[++n].substr(1);
          if (block_line.starts_with(" ")) {
            block_line.erase(0, 1);
          }
          size_t start = 0;
          *content += unescaped(block_line, start, '\0') + *line_end;
        }
        if (open && !content->empty()) {
          content->resize(content->size() - line_end->size());
        }
      }
      if (next != words.size()) {
        fail("unexpected words after the block's header");
      } else if (input) {
        current.input = content;
      } else if (for_this_platform) {
        current.has_output = true;
        current.output = content;
      }
      continue;
    }
    ini_step step{.kind = step_kind::write, .table_line = table_line};
    if (words[0] == "write" && words.size() == 4) {
      step.kind = step_kind::write;
    } else if (words[0] == "int" && words.size() >= 6 && words[4] == "->") {
      step.kind = step_kind::read_int;
    } else if (words[0] == "text" && words.size() >= 7 && words[5] == "->") {
      step.kind = step_kind::read_text;
      step.size = static_cast<uint32_t>(std::stoul(words[4]));
    } else {
      fail("unknown step: " + line);
      continue;
    }
    step.section = words[1];
    step.key = words[2];
    step.text = words[3];
    if (step.kind != step_kind::write) {
      const std::optional<std::string> answer =
          answer_for_platform(words, step.kind == step_kind::read_int ? 4 : 5);
      if (!answer) {
        fail("no answer for this platform");
        continue;
      }
      step.expected = *answer;
    }
    current.steps.push_back(step);
  }
  for (ini_case& each : cases) {
    const bool writes = std::any_of(each.steps.begin(), each.steps.end(),
                                    [](const ini_step& s) { return s.kind == step_kind::write; });
    if (writes && !each.has_output && each.error.empty()) {
      each.error = "a case that writes needs the expected file content (out)";
    }
  }
  return cases;
}

// Names a case in test output rather than dumping its bytes.
void PrintTo(const ini_case& table_case, std::ostream* out) { *out << table_case.name; }

class ini_table : public testing::TestWithParam<ini_case> {};

TEST_P(ini_table, answers_and_file_content) {
  const ini_case& table_case = GetParam();
  ASSERT_TRUE(table_case.error.empty()) << table_case.error;
  SCOPED_TRACE("case at " INI_CASES_TABLE ":" + std::to_string(table_case.table_line) + ": " +
               table_case.purpose);

  const fs::path folder = fs::absolute("ini-cases");
  fs::create_directories(folder);
  const fs::path file_path = folder / (table_case.name + ".ini");
  fs::remove(file_path);
  if (table_case.input) {
    put_file_bytes(file_path, *table_case.input);
  }
  const std::string file = file_path.string();

  for (const ini_step& step : table_case.steps) {
    SCOPED_TRACE("step at table line " + std::to_string(step.table_line));
    switch (step.kind) {
    case step_kind::read_int:
      EXPECT_EQ(ini_read_int(step.section.c_str(), step.key.c_str(),
                             static_cast<int32_t>(std::stoll(step.text)), file.c_str()),
                static_cast<int32_t>(std::stoll(step.expected)));
      break;
    case step_kind::read_text: {
      // Bytes past the buffer's size must stay as they were.
      constexpr size_t guard = 16;
      std::vector<char> buffer(step.size + guard, '#');
      const uint32_t count =
          ini_read_text(step.section.c_str(), step.key.c_str(), step.text.c_str(), buffer.data(),
                        step.size, file.c_str());
      EXPECT_EQ(count, step.expected.size());
      if (count < step.size) {
        EXPECT_EQ(std::string(buffer.data(), count), step.expected);
        EXPECT_EQ(buffer[count], '\0');
      }
      EXPECT_EQ(std::string(buffer.data() + step.size, guard), std::string(guard, '#'));
      break;
    }
    case step_kind::write:
      ini_write_text(step.section.c_str(), step.key.c_str(), step.text.c_str(), file.c_str());
      break;
    }
  }
  const std::optional<std::string> expected =
      table_case.has_output ? table_case.output : table_case.input;
  EXPECT_EQ(file_bytes(file_path), expected);
}

INSTANTIATE_TEST_SUITE_P(cases, ini_table, testing::ValuesIn(load_table(INI_CASES_TABLE)),
                         [](const testing::TestParamInfo<ini_case>& each) {
                           return each.param.name;
                         });

} // namespace
