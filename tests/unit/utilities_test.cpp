// The text and file helpers, byte for byte, with 1-based positions.
#include "platform/files.h"
#include "utilities/Utilities.h"

#include "tests/support/scratch_folder.h"

#include <chrono>
#include <filesystem>

#include <gtest/gtest.h>

namespace {

TEST(UppercaseAscii, ChangesOnlyTheLettersAToZ) {
  EXPECT_EQ(uppercase_ascii("tw-setwave"), "TW-SETWAVE");
  EXPECT_EQ(uppercase_ascii("Tw-sEtWaVe"), "TW-SETWAVE");
  EXPECT_EQ(uppercase_ascii(""), "");
  EXPECT_EQ(uppercase_ascii("\xE9`{@[z"), "\xE9`{@[Z"); // neighbours of a..z stay
  EXPECT_EQ(uppercase_ascii(std::string("a\0b", 3)), std::string("A\0B", 3));
}

TEST(FindFrom, AnswersTheFirstMatchAtOrAfterTheOffset) {
  EXPECT_EQ(find_from("cde", "abcde", 3), 3); // a match starting at the offset
  EXPECT_EQ(find_from("bcd", "abcde", 3), 0); // one starting before it is not seen
  EXPECT_EQ(find_from("cde", "abcde", 4), 0); // no room for a 3-byte match after 3
  EXPECT_EQ(find_from("ab", "xabyab", 1), 2); // first of two occurrences
  EXPECT_EQ(find_from("ab", "xabyab", 3), 5);
  EXPECT_EQ(find_from("abc", "ab", 1), 0);   // sub longer than s
  EXPECT_EQ(find_from("A", "aaa", 1), 0);    // case matters
  EXPECT_EQ(find_from("a", "aaa", 4), 0);    // offset just past the end
  EXPECT_EQ(find_from("a", "aaa", 1000), 0); // offset far past the end
  EXPECT_EQ(find_from("a", "aaa", 0), 0);    // offsets start at 1
}

TEST(LastDelimiter, AnswersThePositionOfTheLastDelimiterByte) {
  EXPECT_EQ(last_delimiter("\\:", "C:\\dir\\file.ini"), 7);
  EXPECT_EQ(last_delimiter("\\:", "C:file"), 2);
  EXPECT_EQ(last_delimiter("\\:", "file"), 0);
  EXPECT_EQ(last_delimiter("\\:", ""), 0);
  // A zero byte in the text is never a delimiter, even though it ends the set.
  EXPECT_EQ(last_delimiter("\\:", std::string("a\\b\0c", 5)), 2);
}

TEST(ExtractDir, KeepsThePathUpToItsLastSeparator) {
  const std::string sep(1, path_separator);
  EXPECT_EQ(extract_dir(sep + "dir" + sep + "file.ini"), sep + "dir" + sep);
  EXPECT_EQ(extract_dir("file.ini"), "");
  EXPECT_EQ(extract_dir(""), "");
  EXPECT_EQ(extract_dir(sep), sep);
  EXPECT_EQ(extract_dir(sep + sep + "x"), sep + sep);
}

TEST(ExtractDir, UsesThePlatformsDelimiters) {
  if (path_separator == '\\') {
    EXPECT_EQ(extract_dir("C:\\dir\\file.ini"), "C:\\dir\\");
    EXPECT_EQ(extract_dir("C:file"), "C:");
    EXPECT_EQ(extract_dir("a/b"), "");
  } else {
    EXPECT_EQ(extract_dir("/a:b/c\\d"), "/a:b/");
    EXPECT_EQ(extract_dir("C:file"), "");
  }
}

TEST(FindChar, FindsTheFirstMatchingByteBeforeTheTerminator) {
  const char* text = "a:b:c";
  EXPECT_EQ(find_char(text, ':'), text + 1);
  EXPECT_EQ(find_char(text, 'c'), text + 4);
  EXPECT_EQ(find_char(text, 'x'), nullptr);
  EXPECT_EQ(find_char("", 'x'), nullptr);
}

TEST(FirstLine, StopsAtTheFirstLineBreak) {
  EXPECT_EQ(first_line("a.wav\r\n[Other]"), "a.wav");
  EXPECT_EQ(first_line("a.wav\nb"), "a.wav");
  EXPECT_EQ(first_line("a.wav\rb"), "a.wav");
  EXPECT_EQ(first_line("a.wav"), "a.wav");
  EXPECT_EQ(first_line("\nb"), "");
}

TEST(FileExists, IsTrueForFilesOnly) {
  const scratch_folder folder;
  folder.write("bell.wav", "RIFF");
  std::filesystem::create_directory(folder.file("sounds"));
  EXPECT_TRUE(file_exists(folder.file("bell.wav")));
  EXPECT_FALSE(file_exists(folder.file("sounds")));
  EXPECT_FALSE(file_exists(folder.file("missing.wav")));
  EXPECT_FALSE(file_exists(folder.file("sounds") + path_separator + "bell.wav"));
  EXPECT_FALSE(file_exists(""));
}

TEST(FileExists, IsFalseForPatternsEvenWhenAFileMatches) {
  const scratch_folder folder;
  folder.write("bell.wav", "RIFF");
  EXPECT_FALSE(file_exists(folder.file("*.wav")));
  EXPECT_FALSE(file_exists(folder.file("bel?.wav")));
}

TEST(FileExists, UsesThePlatformsPatternCharacters) {
  const scratch_folder folder;
  folder.write("bell.wav", "RIFF");
  if (path_separator == '\\') {
    // The Windows file search reads '>' as any one character, '<' as any run
    // of them and '"' as a dot: each of these finds bell.wav. (Wine's search
    // knows only the first.)
    for (const char* pattern : {"b>ll.wav", "<.wav", "bell\"wav"}) {
      EXPECT_FALSE(file_exists(folder.file(pattern))) << pattern;
    }
  } else {
    // On Linux they are plain characters of a file name.
    for (const char* name : {"b>ll.wav", "<.wav", "bell\"wav"}) {
      folder.write(name, "RIFF");
      EXPECT_TRUE(file_exists(folder.file(name))) << name;
    }
  }
}

TEST(FileExists, IsTrueWhateverTheFilesLastWriteTime) {
  const scratch_folder folder;
  using std::chrono::hours;
  const auto now = std::filesystem::file_time_type::clock::now();
  // 1975 and 2150: outside the years 1980 to 2107 of packed DOS dates.
  for (const auto& [name, when] : {std::pair{"old.wav", now - hours(24 * 365 * 51)},
                                   std::pair{"future.wav", now + hours(24 * 365 * 124)}}) {
    folder.write(name, "RIFF");
    std::filesystem::last_write_time(folder.file(name), when);
    EXPECT_TRUE(file_exists(folder.file(name))) << name;
  }
}

} // namespace
