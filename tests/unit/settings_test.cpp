// The settings file through the platform's real INI service: what start-up
// reads and asks, and what saving writes.
#include "module/exports.h"
#include "module/state.h"
#include "platform/files.h"
#include "tests/stubs/recorder.h"
#include "tests/support/scratch_folder.h"
#include "utilities/Utilities.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace {

// File content with CR LF read as LF: the Windows service writes CR LF.
std::string with_lf(std::string text) {
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
  return text;
}

class Settings : public testing::Test {
protected:
  void SetUp() override {
    reset_module_and_recorder();
    root = folder.text();
    recorded.module_root = root.c_str();
  }
  void start() {
    const int32_t id = 7;
    on_module(0, &id);
  }
  void save() { on_module(1, nullptr); }
  std::string settings_file() const { return with_lf(folder.read("Tollwick.ini")); }
  std::string beside(const std::string& name) const { return root + path_separator + name; }

  scratch_folder folder;
  std::string root;
};

TEST_F(Settings, FirstStartUsesDefaultsAndSaveCreatesTheFile) {
  start();
  EXPECT_EQ(ini_path, beside("Tollwick.ini"));
  EXPECT_EQ(wave_path, beside("bell.wav"));
  EXPECT_EQ(auto_enable, 0);
  EXPECT_EQ(recorded.enable_requests, (std::vector<enable_request>{{7, 0}}));
  EXPECT_EQ(enabled, 0);
  save();
  EXPECT_EQ(settings_file(), "[Main]\nAA=0\nWF=" + beside("bell.wav") + "\n");
}

TEST_F(Settings, StartAsksToEnableAndTheAtOnceAnswerIsKept) {
  folder.write("Tollwick.ini", "[Main]\nAA=2\nWF=gong.wav\n");
  start();
  EXPECT_EQ(auto_enable, 1);
  EXPECT_EQ(recorded.enable_requests, (std::vector<enable_request>{{7, -1}}));
  EXPECT_EQ(enabled, -1); // set by the nested event 2 during start-up
  EXPECT_EQ(wave_path, "gong.wav");
  save();
  EXPECT_EQ(settings_file(), "[Main]\nAA=1\nWF=gong.wav\n");
}

TEST_F(Settings, OnlyAPositiveNumberTurnsAutoEnableOn) {
  const std::pair<const char*, uint8_t> values[] = {
      {"1", 1},  {"2", 1},   {"12abc", 1}, {"+3", 1},         {"2147483647", 1}, {"0", 0},
      {"-1", 0}, {"abc", 0}, {"", 0},      {"2147483648", 0}, {"x1", 0}};
  for (const auto& [value, expected] : values) {
    folder.write("Tollwick.ini", std::string("[Main]\nAA=") + value + "\n");
    start();
    EXPECT_EQ(auto_enable, expected) << "AA=" << value;
  }
}

TEST_F(Settings, AnEmptySoundPathStaysEmpty) {
  folder.write("Tollwick.ini", "[Main]\nAA=0\nWF=\n");
  start();
  EXPECT_EQ(wave_path, "");
  save();
  EXPECT_EQ(settings_file(), "[Main]\nAA=0\nWF=\n");
}

TEST_F(Settings, ALongSoundPathIsCutTo2047Bytes) {
  const std::string long_path(3000, 'w');
  folder.write("Tollwick.ini", "[Main]\nWF=" + long_path + "\n");
  start();
  EXPECT_EQ(wave_path, long_path.substr(0, 2047));
}

TEST_F(Settings, StartingAgainReplacesBothPathsAndAsksAgain) {
  start();
  const std::string other = root + path_separator + "other";
  std::filesystem::create_directory(other);
  recorded.module_root = other.c_str();
  start();
  EXPECT_EQ(ini_path, other + path_separator + "Tollwick.ini");
  EXPECT_EQ(wave_path, other + path_separator + "bell.wav");
  EXPECT_EQ(recorded.enable_requests.size(), 2U);
}

TEST_F(Settings, SavingKeepsOtherSectionsAndLines) {
  folder.write("Tollwick.ini",
               "; sounds for the bell\n[Other]\nkey=value\n[Main]\nAA=0\nWF=old.wav\nX=1\n");
  start();
  on_command(1, std::vector<const char*>{"TW-AUTOENABLE"}.data());
  save();
  EXPECT_EQ(settings_file(),
            "; sounds for the bell\n[Other]\nkey=value\n[Main]\nAA=1\nWF=old.wav\nX=1\n");
}

TEST_F(Settings, ALineBreakInTheSoundPathNeverReachesTheFile) {
  start();
  wave_path = "a.wav\r\n[Evil]\nAA=1";
  save();
  EXPECT_EQ(settings_file(), "[Main]\nAA=0\nWF=a.wav\n");
}

TEST_F(Settings, SaveBeforeAnyStartWritesNothing) {
  const auto old_folder = std::filesystem::current_path();
  std::filesystem::current_path(folder.text());
  save();
  std::filesystem::current_path(old_folder);
  EXPECT_TRUE(std::filesystem::is_empty(folder.text()));
}

TEST_F(Settings, ANullRootGivesPathsAtTheTopFolder) {
  recorded.module_root = nullptr;
  recorded.answer_enable_at_once = false;
  start();
  EXPECT_EQ(ini_path, std::string(1, path_separator) + "Tollwick.ini");
  EXPECT_EQ(wave_path, std::string(1, path_separator) + "bell.wav");
}

} // namespace
