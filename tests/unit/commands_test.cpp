// The two user commands: what they change, what they answer, what they ignore.
#include "module/exports.h"
#include "module/state.h"
#include "platform/files.h"
#include "tests/stubs/recorder.h"
#include "tests/support/scratch_folder.h"
#include "utilities/Utilities.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

int32_t command(std::vector<const char*> arguments) {
  return on_command(static_cast<int32_t>(arguments.size()), arguments.data());
}

class Commands : public testing::Test {
protected:
  void SetUp() override { reset_module_and_recorder(); }
};

TEST_F(Commands, AutoEnableTogglesInAnyLetterCase) {
  EXPECT_EQ(command({"tw-autoenable"}), -1);
  EXPECT_EQ(auto_enable, 1);
  EXPECT_EQ(command({"TW-AutoEnable", "extra", "arguments"}), -1);
  EXPECT_EQ(auto_enable, 0);
  EXPECT_EQ(recorded.spoken, (std::vector<std::string>{"Tollwick: Auto-Init is now On",
                                                       "Tollwick: Auto-Init is now Off"}));
  // Only the wish changes: the host is neither asked nor is enabled touched.
  EXPECT_TRUE(recorded.enable_requests.empty());
  EXPECT_EQ(enabled, 0);
}

TEST_F(Commands, SetWaveAloneResetsToTheDefaultBesideTheSettings) {
  const std::string sep(1, path_separator);
  ini_path = sep + "mods" + sep + "Tollwick.ini";
  wave_path = "elsewhere.wav";
  EXPECT_EQ(command({"Tw-sEtWaVe"}), -1);
  EXPECT_EQ(wave_path, sep + "mods" + sep + "bell.wav");
  EXPECT_EQ(recorded.spoken, std::vector<std::string>{"Tollwick: SFX reset to default."});
}

TEST_F(Commands, SetWaveAloneBeforeStartUpGivesTheBareName) {
  EXPECT_EQ(command({"TW-SETWAVE"}), -1);
  EXPECT_EQ(wave_path, "bell.wav");
}

TEST_F(Commands, SetWaveJoinsItsArgumentsWithOneBlank) {
  EXPECT_EQ(command({"TW-SETWAVE", "C:\\Sounds\\My", "Bell.wav"}), -1);
  EXPECT_EQ(wave_path, "C:\\Sounds\\My Bell.wav");
  EXPECT_EQ(recorded.spoken,
            (std::vector<std::string>{"Tollwick: SFX set to \"C:\\Sounds\\My Bell.wav\"",
                                      "Tollwick: Warning, SFX file not found."}));
}

TEST_F(Commands, SetWaveTakesArgumentsAsTheyAre) {
  EXPECT_EQ(command({"tw-setwave", "\"a", nullptr, "b\""}), -1);
  EXPECT_EQ(wave_path, "\"a  b\""); // a null argument adds an empty piece
}

TEST_F(Commands, SetWaveWarnsOnlyWhenNoFileIsThere) {
  const scratch_folder folder;
  folder.write("gong.wav", "RIFF");
  const std::string gong = folder.file("gong.wav");
  EXPECT_EQ(command({"TW-SETWAVE", gong.c_str()}), -1);
  EXPECT_EQ(recorded.spoken, std::vector<std::string>{"Tollwick: SFX set to \"" + gong + "\""});

  recorded.spoken.clear();
  EXPECT_EQ(command({"TW-SETWAVE", folder.text().c_str()}), -1);
  EXPECT_EQ(wave_path, folder.text()); // a folder is taken, with a warning
  EXPECT_EQ(recorded.spoken.back(), "Tollwick: Warning, SFX file not found.");

  recorded.spoken.clear();
  const std::string pattern = folder.file("*.wav");
  EXPECT_EQ(command({"TW-SETWAVE", pattern.c_str()}), -1);
  EXPECT_EQ(wave_path, pattern);
  EXPECT_EQ(recorded.spoken.back(), "Tollwick: Warning, SFX file not found.");
}

TEST_F(Commands, OtherCommandsAreLeftAlone) {
  wave_path = "kept.wav";
  EXPECT_EQ(command({"TW-SETWAVEX"}), 0);
  EXPECT_EQ(command({"TW-SET"}), 0);
  EXPECT_EQ(command({"TW-AUTOENABLE "}), 0);
  EXPECT_EQ(command({"\xD4W-SETWAVE"}), 0);
  EXPECT_EQ(command({""}), 0);
  EXPECT_EQ(command({nullptr}), 0);
  EXPECT_EQ(on_command(0, nullptr), 0);
  EXPECT_EQ(on_command(-3, nullptr), 0);
  EXPECT_EQ(on_command(2, nullptr), 0); // a count without a vector
  EXPECT_TRUE(recorded.spoken.empty());
  EXPECT_EQ(wave_path, "kept.wav");
  EXPECT_EQ(auto_enable, 0);
}

} // namespace
