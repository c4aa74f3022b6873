// Which server lines ring the bell, and that each rings once with wave_path.
#include "module/exports.h"
#include "module/state.h"
#include "tests/stubs/recorder.h"

#include <gtest/gtest.h>

namespace {

const std::string join_text = "To accept the request, type `join and press <enter>. "
                              "To decline, type `decline and press <enter>";
const std::string summon_text = "To accept the request, type `summon and press <enter>. "
                                "To decline, type `decline and press <enter>";
const std::string opening = "whispers, \"";
const std::string closing = "\" to you. ]";

struct line_case {
  const char* what;
  int32_t kind;
  std::string line;
  bool rings;
};

class Trigger : public testing::Test {
protected:
  void SetUp() override {
    reset_module_and_recorder();
    wave_path = "bell.wav";
    on_module(2, nullptr);
  }
};

TEST_F(Trigger, RingsForRequestsAndWhispersOnly) {
  const line_case cases[] = {
      {"join request", 2, "(Ann) " + join_text, true},
      {"summon request", 2, "(Ann) " + summon_text, true},
      {"join text right after the parenthesis", 2, "(" + join_text, true},
      {"whisper to the user", 2, "(Ann " + opening + "hi there" + closing, true},
      {"closing reuses the opening's quote", 2, "(Ann " + opening + " to you. ]", true},
      {"whisper with text after the closing", 2, "(Ann " + opening + "x" + closing + " more", true},
      {"kind 1", 1, "(" + join_text, false},
      {"kind 3", 3, "(" + join_text, false},
      {"kind -2", -2, "(" + join_text, false},
      {"no parenthesis", 2, join_text, false},
      {"blank before the parenthesis", 2, " (" + join_text, false},
      {"join capitalised", 2,
       "(To accept the request, type `Join and press <enter>. "
       "To decline, type `decline and press <enter>",
       false},
      {"apostrophe for grave accent", 2,
       "(To accept the request, type 'join and press <enter>. "
       "To decline, type 'decline and press <enter>",
       false},
      {"join text cut short", 2, "(" + join_text.substr(0, 95), false},
      {"whisper without closing", 2, "(Ann " + opening + "hi there", false},
      {"closing only before opening", 2, "(" + closing + " Ann " + opening + "hi", false},
      {"whispers to someone else", 2, "(Ann whispers, \"hi\" to Bob. ]", false},
      {"whispers without its quote", 2, "(Ann whispers, hi" + closing, false},
      {"empty line", 2, "", false},
      {"a lone parenthesis", 2, "(", false},
  };
  for (const line_case& c : cases) {
    recorded.played.clear();
    on_inet(c.kind, c.line.c_str());
    EXPECT_EQ(recorded.played.size(), c.rings ? 1U : 0U) << c.what;
  }
}

TEST_F(Trigger, ALineWithSeveralMatchesRingsOnce) {
  on_inet(2, ("(" + join_text + " " + summon_text + " " + opening + "x" + closing).c_str());
  EXPECT_EQ(recorded.played, std::vector<std::string>{"bell.wav"});
}

TEST_F(Trigger, PlaysTheCurrentWavePathEvenWhenEmpty) {
  wave_path = "/sounds/gong.wav";
  on_inet(2, ("(" + join_text).c_str());
  wave_path.clear();
  on_inet(2, ("(" + join_text).c_str());
  EXPECT_EQ(recorded.played, (std::vector<std::string>{"/sounds/gong.wav", ""}));
}

TEST_F(Trigger, StaysSilentWhileDisabledOrForNull) {
  on_inet(2, nullptr);
  on_module(3, nullptr);
  on_inet(2, ("(" + join_text).c_str());
  on_inet(2, ("(Ann " + opening + "x" + closing).c_str());
  EXPECT_TRUE(recorded.played.empty());
}

TEST_F(Trigger, ReadsTheLineOnlyUpToItsTerminator) {
  const std::string line =
      "(" + join_text.substr(0, 50) + std::string(1, '\0') + join_text.substr(50);
  on_inet(2, line.c_str());
  EXPECT_TRUE(recorded.played.empty());
}

} // namespace
