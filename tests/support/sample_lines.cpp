#include "tests/support/sample_lines.h"

#include "platform/texts.h"

namespace {

const std::string join_text = TEXT_JOIN_REQUEST;
const std::string chat = "the caravan leaves at dawn, bring rope and two torches; "
                         "we meet by the old mill north of town. ";
// Every trigger text almost, and many grave accents and double quotes.
const std::string near_misses = "type `Join and press <enter>. \"quoted\" whispers, hi "
                                "Ann whispers \"x\" to you. ] `summon` type 'join \" to you ] ";

// A line of exactly size bytes: head, then filler repeated and cut.
std::string filled(const std::string& head, const std::string& filler, size_t size) {
  std::string line = head;
  while (line.size() < size) {
    line += filler;
  }
  line.resize(size);
  return line;
}

} // namespace

std::vector<sample_line> sample_lines() {
  return {
      {"disabled", false, 2, "(Ann asks to join you. " + join_text, false},
      {"other_kind", true, 1, "(Ann asks to join you. " + join_text, false},
      {"no_parenthesis", true, 2, "Ann asks to join you. " + join_text, false},
      {"chat_100", true, 2, filled("(Ann) ", chat, 100), false},
      {"join", true, 2, "(Ann asks to join you. " + join_text, true},
      {"whisper", true, 2, "(Ann whispers, \"see you at the mill\" to you. ]", true},
      {"chat_4k", true, 2, filled("(Ann) ", chat, 4096), false},
      {"chat_64k", true, 2, filled("(Ann) ", chat, 65536), false},
      {"near_miss_4k", true, 2, filled("(", near_misses, 4096), false},
  };
}
