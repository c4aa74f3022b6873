// The fixed texts as the module sees them: on Windows from the string table.
#include "platform/texts.h"

#include <gtest/gtest.h>

namespace {

TEST(ModuleText, EveryEntryHasItsExactBytes) {
  EXPECT_EQ(module_text(TEXT_ID_INI_FILE), "Tollwick.ini");
  EXPECT_EQ(module_text(TEXT_ID_DEFAULT_SOUND), "bell.wav");
  EXPECT_EQ(module_text(TEXT_ID_INI_SECTION), "Main");
  EXPECT_EQ(module_text(TEXT_ID_AUTO_ENABLE_KEY), "AA");
  EXPECT_EQ(module_text(TEXT_ID_SOUND_KEY), "WF");
  EXPECT_EQ(module_text(TEXT_ID_JOIN_REQUEST),
            "To accept the request, type \x60join and press <enter>. "
            "To decline, type \x60"
            "decline and press <enter>");
  EXPECT_EQ(module_text(TEXT_ID_SUMMON_REQUEST),
            "To accept the request, type \x60summon and press <enter>. "
            "To decline, type \x60"
            "decline and press <enter>");
  EXPECT_EQ(module_text(TEXT_ID_WHISPER_OPENING), "whispers, \x22");
  EXPECT_EQ(module_text(TEXT_ID_WHISPER_CLOSING), "\x22 to you. ]");
  EXPECT_EQ(module_text(TEXT_ID_SET_SOUND_COMMAND), "TW-SETWAVE");
  EXPECT_EQ(module_text(TEXT_ID_AUTO_ENABLE_COMMAND), "TW-AUTOENABLE");
}

TEST(ModuleText, TriggerTextsHaveTheirLengths) {
  EXPECT_EQ(module_text(TEXT_ID_JOIN_REQUEST).size(), 96U);
  EXPECT_EQ(module_text(TEXT_ID_SUMMON_REQUEST).size(), 98U);
  EXPECT_EQ(module_text(TEXT_ID_WHISPER_OPENING).size(), 11U);
  EXPECT_EQ(module_text(TEXT_ID_WHISPER_CLOSING).size(), 11U);
}

TEST(ModuleText, TextsAreZeroTerminatedForPlatformCalls) {
  for (int id = 1; id <= TEXT_ID_COUNT; ++id) {
    const std::string_view text = module_text(id);
    ASSERT_FALSE(text.empty()) << id;
    EXPECT_EQ(text.data()[text.size()], '\0') << id;
  }
}

TEST(ModuleText, UnknownNumbersGiveEmptyTexts) {
  EXPECT_TRUE(module_text(0).empty());
  EXPECT_TRUE(module_text(TEXT_ID_COUNT + 1).empty());
  EXPECT_TRUE(module_text(-1).empty());
}

} // namespace
