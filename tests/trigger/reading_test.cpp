// The one-pass reading of server lines against the literal reading: the same
// answer for every line, in every place in memory, and without a single heap
// allocation. The program is built once for each reading the builds ship.
#include "module/exports.h"
#include "module/state.h"
#include "platform/texts.h"
#include "tests/stubs/recorder.h"
#include "tests/support/literal_reading.h"
#include "tests/support/sample_lines.h"
#include "tests/trigger/allocation_count.h"
#include "tests/trigger/guarded_page.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace {

// Lines made of random pieces of the four texts, whole, cut or with one byte
// changed, among marks, near misses and chat, most of them starting with "(".
// The seed is fixed, so a failure shows again on the next run.
class line_maker {
public:
  std::string line() {
    std::string made = below(5) == 0 ? "" : "(";
    for (size_t pieces = 1 + below(6); pieces > 0; --pieces) {
      made += piece();
    }
    return made;
  }

  // Bytes that might be taken for part of a line: marks among them.
  std::string stray_bytes(size_t count) {
    std::string bytes;
    for (; count > 0; --count) {
      bytes += "`\"(x"[below(4)];
    }
    return bytes;
  }

  size_t below(size_t bound) { return random() % bound; }

private:
  std::string piece() {
    static const std::string texts[] = {TEXT_JOIN_REQUEST, TEXT_SUMMON_REQUEST,
                                        TEXT_WHISPER_OPENING, TEXT_WHISPER_CLOSING};
    // Among them the bytes around each text's grave accent or double quote
    // with the rest wrong: other words after "type `", ", \"" after other
    // words, and double quotes followed by a blank.
    static const std::string near_misses[] = {"`",
                                              "\"",
                                              "'",
                                              " ",
                                              "(",
                                              "whispers",
                                              "whispers, ",
                                              "whispers \"",
                                              " to you. ]",
                                              "\" to you ]",
                                              "type `",
                                              "type `Join",
                                              "type `decline",
                                              "type `sum",
                                              "tape `join and press <enter>. ",
                                              "e `summon",
                                              "`decline",
                                              "says, \"",
                                              "whisper, \"",
                                              ", \" to you. ]",
                                              "\" ",
                                              "\" to yo",
                                              "\"\" to you. ]",
                                              std::string(1, '\0')};
    static const std::string chat = "we meet at the mill by the north gate at dawn; bring rope. ";
    std::string text = texts[below(4)];
    switch (below(8)) {
    case 0:
    case 1: return text;
    case 2: return text.substr(0, below(text.size()));
    case 3: return text.substr(1 + below(text.size() - 1));
    case 4: text[below(text.size())] = "`\"' eJjsS"[below(9)]; return text;
    case 5: return near_misses[below(std::size(near_misses))];
    case 6: {
      // Now and then long enough to cross many blocks.
      const size_t length = below(10) == 0 ? below(5000) : below(300);
      std::string filler;
      while (filler.size() < length) {
        filler += chat;
      }
      return filler.substr(0, length);
    }
    default: return std::string(1, static_cast<char>(1 + below(255)));
    }
  }

  std::mt19937 random{20261208};
};

class Reading : public testing::Test {
protected:
  void SetUp() override {
    reset_module_and_recorder();
    wave_path = "bell.wav";
    on_module(2, nullptr);
  }

  // Whether on_inet rang for the line.
  static bool on_inet_rings(int32_t kind, const char* line) {
    recorded.played.clear();
    on_inet(kind, line);
    return !recorded.played.empty();
  }
};

TEST_F(Reading, RingsExactlyWhenTheLiteralReadingRings) {
  line_maker maker;
  size_t rung = 0;
  constexpr size_t lines = 20000;
  for (size_t n = 0; n < lines; ++n) {
    const std::string line = maker.line();
    // At every offset from a 64-byte boundary, behind bytes that look like marks.
    const size_t offset = maker.below(64);
    const std::string placed = maker.stray_bytes(offset) + line;
    const char* start = placed.c_str() + offset;
    const int32_t kind = maker.below(20) == 0 ? 1 : 2;
    const bool expected = literal_rings(kind, start);
    ASSERT_EQ(on_inet_rings(kind, start), expected) << "kind " << kind << ": " << start;
    rung += expected ? 1 : 0;
  }
  // Both answers must be common, or agreeing on them proves little.
  EXPECT_GT(rung, lines / 10);
  EXPECT_LT(rung, lines * 9 / 10);
}

// Sample lines and random ones, cut to fit the guarded stretch.
std::vector<std::string> lines_for_the_stretch() {
  line_maker maker;
  std::vector<std::string> lines;
  for (const sample_line& sample : sample_lines()) {
    lines.push_back(sample.text.substr(0, readable_size() - 1));
  }
  for (size_t n = 0; n < 2000; ++n) {
    lines.push_back(maker.line().substr(0, readable_size() - 1));
  }
  return lines;
}

TEST_F(Reading, NeverReadsIntoThePageAfterTheTerminator) {
  char* const stretch = guarded_stretch();
  for (const std::string& line : lines_for_the_stretch()) {
    // The terminator is the stretch's last byte; for lines with an embedded
    // zero, the stretch ends with the line's own bytes after it.
    char* const start = stretch + readable_size() - 1 - line.size();
    std::memcpy(start, line.c_str(), line.size() + 1);
    ASSERT_EQ(on_inet_rings(2, start), literal_rings(2, start)) << start;
  }
}

TEST_F(Reading, NeverReadsIntoThePageBeforeTheLine) {
  char* const stretch = guarded_stretch();
  for (const std::string& line : lines_for_the_stretch()) {
    std::memcpy(stretch, line.c_str(), line.size() + 1);
    ASSERT_EQ(on_inet_rings(2, stretch), literal_rings(2, stretch)) << stretch;
  }
}

// Each sample line, cut by up to 31 bytes, at every alignment and ending at
// the very end of a heap block of its own size: the memory checker and the
// address sanitizer report any read before or beyond it.
TEST_F(Reading, ReadsOnlyTheLineInAHeapBlockOfItsSize) {
  for (const sample_line& sample : sample_lines()) {
    for (size_t cut = 0; cut < 32 && cut < sample.text.size(); ++cut) {
      const std::string text = sample.text.substr(0, sample.text.size() - cut);
      for (size_t offset = 0; offset < 16; ++offset) {
        const auto block = std::make_unique<char[]>(offset + text.size() + 1);
        char* const line = block.get() + offset;
        std::memcpy(line, text.c_str(), text.size() + 1);
        ASSERT_EQ(on_inet_rings(2, line), literal_rings(2, line)) << sample.name << ", " << cut;
      }
    }
  }
}

// Lines crowded with marks and their near misses: each text at every place
// within a few blocks, on every side of a block boundary, with the line
// itself starting at several places in one.
TEST_F(Reading, FindsEachTextAtEveryPlaceAmongNearMisses) {
  std::string crowd;
  for (const sample_line& sample : sample_lines()) {
    if (std::string_view(sample.name) == "near_miss_4k") {
      crowd = sample.text.substr(1, 400);
    }
  }
  // Its closings cut short, so that only the whisper placed in it can ring.
  for (size_t at = crowd.find(" to you."); at != std::string::npos;
       at = crowd.find(" to you.", at)) {
    crowd[at + 4] = 'U';
  }
  ASSERT_FALSE(literal_rings(2, ("(whispers, \"" + crowd).c_str()));
  const std::array<std::string, 5> texts = {
      std::string(TEXT_JOIN_REQUEST), std::string(TEXT_SUMMON_REQUEST),
      "whispers, \"hi\" to you. ]",
      // The closing may start at the opening's own double quote.
      "whispers, \" to you. ]",
      // A closing blocks after its opening, behind marks that fit no text.
      "whispers, \"" + crowd.substr(0, 150) + "\" to you. ]"};
  alignas(64) static std::array<char, 1024> room;
  for (const std::string& text : texts) {
    for (const size_t start : {0, 1, 2, 33, 62, 63}) {
      for (size_t place = 0; place < 192; ++place) {
        const std::string line = "(" + crowd.substr(0, place) + text + crowd.substr(place);
        ASSERT_LT(start + line.size(), room.size());
        char* const placed = room.data() + start;
        std::memcpy(placed, line.c_str(), line.size() + 1);
        ASSERT_TRUE(literal_rings(2, placed));
        ASSERT_TRUE(on_inet_rings(2, placed)) << start << ", " << place << ": " << line;
      }
    }
  }
}

TEST_F(Reading, NoLineCostsAHeapAllocation) {
  std::vector<sample_line> samples = sample_lines();
  line_maker maker;
  for (size_t n = 0; n < 2000; ++n) {
    samples.push_back({"random", true, 2, maker.line(), false});
  }
  // A ring records a short name in room made beforehand, which needs no heap.
  recorded.played.reserve(1);
  for (const sample_line& sample : samples) {
    enabled = sample.enabled ? -1 : 0;
    recorded.played.clear();
    const size_t before = allocations_made();
    on_inet(sample.kind, sample.text.c_str());
    EXPECT_EQ(allocations_made(), before) << sample.name << ": " << sample.text;
  }
}

TEST_F(Reading, SampleLinesRingAsLabelled) {
  for (const sample_line& sample : sample_lines()) {
    enabled = sample.enabled ? -1 : 0;
    EXPECT_EQ(on_inet_rings(sample.kind, sample.text.c_str()), sample.rings) << sample.name;
  }
}

TEST(AllocationCount, SeesTheLiteralReadingCopyALongLine) {
  const std::string line = "(" + std::string(1000, 'x');
  enabled = -1;
  const size_t before = allocations_made();
  literal_rings(2, line.c_str());
  EXPECT_GT(allocations_made(), before);
}

} // namespace
