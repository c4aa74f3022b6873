// A fresh folder for one test, removed with everything in it afterwards.
#pragma once

#include "tests/support/file_bytes.h"

#include <algorithm>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

class scratch_folder {
public:
  scratch_folder() {
    const auto* test = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string("tollwick-") + test->test_suite_name() + "-" + test->name();
    // Parameterised tests have '/' in their names; the folder is one level.
    std::replace(name.begin(), name.end(), '/', '-');
    path_ = std::filesystem::temp_directory_path() / name;
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~scratch_folder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  scratch_folder(const scratch_folder&) = delete;
  scratch_folder& operator=(const scratch_folder&) = delete;

  // The folder's path as the module builds paths: plain text, no trailing separator.
  std::string text() const { return path_.string(); }
  std::string file(const std::string& name) const { return (path_ / name).string(); }

  void write(const std::string& name, const std::string& bytes) const {
    put_file_bytes(path_ / name, bytes);
  }
  std::string read(const std::string& name) const { return file_bytes(path_ / name).value_or(""); }

private:
  std::filesystem::path path_;
};
