// The portable INI service when writing fails, when the file's place holds
// something else, and with large files: the old file is kept byte for byte
// or replaced whole, and no temporary file is left behind.
#include "platform/ini.h"
#include "tests/support/file_bytes.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::vector<std::string> names_in(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

int read_flag(const fs::path& file) { return ini_read_int("Main", "AA", -1, file.c_str()); }

std::string read_wave(const fs::path& file) {
  std::vector<char> buffer(2048);
  const uint32_t length = ini_read_text("Main", "WF", "default", buffer.data(),
                                        static_cast<uint32_t>(buffer.size()), file.c_str());
  return std::string(buffer.data(), length);
}

// Whether action, run in a child process, finishes within a few seconds.
bool finishes_in_time(const std::function<void()>& action) {
  const pid_t child = fork();
  if (child == 0) {
    action();
    _exit(0);
  }
  for (int waited_ms = 0; waited_ms < 5000; waited_ms += 10) {
    int status = 0;
    if (waitpid(child, &status, WNOHANG) == child) {
      return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  return false;
}

// Each test works in a folder of its own, which starts empty.
class ini_robustness : public testing::Test {
protected:
  void SetUp() override {
    folder = fs::absolute("ini-robustness") /
             testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(folder);
    fs::create_directories(folder);
    file = folder / "Tollwick.ini";
  }

  fs::path folder;
  fs::path file;
  const std::string settings = "; mine\n[Main]\nAA=1\nWF=/home/me/bell.wav\n[Other]\nk=v\n";
};

// A write cut short by the file size limit leaves the old file as it was.
TEST_F(ini_robustness, write_beyond_size_limit_keeps_old_file) {
  put_file_bytes(file, settings);
  const auto old_handler = signal(SIGXFSZ, SIG_IGN);
  rlimit old_limit{};
  getrlimit(RLIMIT_FSIZE, &old_limit);
  rlimit limit = old_limit;
  limit.rlim_cur = settings.size() + 8;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  ini_write_text("Main", "WF", std::string(64, 'x').c_str(), file.c_str());
  setrlimit(RLIMIT_FSIZE, &old_limit);
  signal(SIGXFSZ, old_handler);

  EXPECT_EQ(file_bytes(file).value_or(""), settings);
  EXPECT_EQ(names_in(folder), std::vector<std::string>{"Tollwick.ini"});
}

// Places that hold no readable file: nothing is written, nothing replaced,
// reads give the defaults, and no reader blocks.
TEST_F(ini_robustness, unreadable_places_are_never_replaced) {
  struct place {
    const char* what;
    std::function<fs::path(const fs::path& folder)> make; // answers the settings path
  };
  const std::vector<place> places = {
      {"folder",
       [](const fs::path& f) {
         fs::create_directory(f / "Tollwick.ini");
         return f / "Tollwick.ini";
       }},
      {"pipe",
       [](const fs::path& f) {
         mkfifo((f / "Tollwick.ini").c_str(), 0644);
         return f / "Tollwick.ini";
       }},
      {"link to itself",
       [](const fs::path& f) {
         fs::create_symlink("Tollwick.ini", f / "Tollwick.ini");
         return f / "Tollwick.ini";
       }},
      {"path through a file",
       [](const fs::path& f) {
         put_file_bytes(f / "plain", "[Main]\nAA=1\n");
         return f / "plain" / "Tollwick.ini";
       }},
  };
  for (const place& each : places) {
    SCOPED_TRACE(each.what);
    fs::remove_all(folder);
    fs::create_directories(folder);
    const fs::path target = each.make(folder);
    const std::vector<std::string> names_before = names_in(folder);
    const fs::file_type type_before = fs::symlink_status(target).type();

    EXPECT_TRUE(finishes_in_time([&] {
      const bool defaults = read_flag(target) == -1 && read_wave(target) == "default";
      ini_write_text("Main", "AA", "0", target.c_str());
      _exit(defaults ? 0 : 1);
    }));
    EXPECT_EQ(names_in(folder), names_before);
    EXPECT_EQ(fs::symlink_status(target).type(), type_before);
  }
}

// A folder that does not exist is not created.
TEST_F(ini_robustness, missing_folder_is_not_created) {
  const fs::path target = folder / "missing" / "Tollwick.ini";
  ini_write_text("Main", "AA", "1", target.c_str());
  EXPECT_FALSE(fs::exists(target.parent_path()));
  EXPECT_EQ(read_flag(target), -1);
}

// A rewrite keeps the file's permission bits (a read-only file is rewritten
// only for root, kept for others); a new file follows the umask.
TEST_F(ini_robustness, permissions_kept_across_rewrite) {
  for (const mode_t mode : {0600, 0640, 0444, 0755, 02664}) {
    SCOPED_TRACE(mode);
    put_file_bytes(file, settings);
    ASSERT_EQ(chmod(file.c_str(), mode), 0);
    ini_write_text("Main", "AA", "0", file.c_str());
    struct stat status = {};
    ASSERT_EQ(stat(file.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, mode);
    if ((mode & S_IWUSR) != 0 || geteuid() == 0) {
      EXPECT_EQ(read_flag(file), 0);
    } else {
      EXPECT_EQ(file_bytes(file), settings);
    }
    fs::remove(file);
  }
  const mode_t old_mask = umask(027);
  ini_write_text("Main", "AA", "1", file.c_str());
  umask(old_mask);
  struct stat status = {};
  ASSERT_EQ(stat(file.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0640U);
  EXPECT_EQ(names_in(folder), std::vector<std::string>{"Tollwick.ini"});
}

// Through a link the linked file is rewritten and the link stays a link.
TEST_F(ini_robustness, link_is_followed) {
  const fs::path real = folder / "real.ini";
  put_file_bytes(real, settings);
  fs::create_symlink("real.ini", file);
  ini_write_text("Main", "AA", "0", file.c_str());
  EXPECT_TRUE(fs::is_symlink(file));
  EXPECT_EQ(read_flag(real), 0);
  EXPECT_EQ(names_in(folder), (std::vector<std::string>{"Tollwick.ini", "real.ini"}));
}

// A 10 MB file: the key after all the other lines is found, and a write
// changes its value and nothing else.
TEST_F(ini_robustness, large_file) {
  std::string other;
  for (int section = 0; other.size() < 10'000'000; ++section) {
    other += "[Section" + std::to_string(section) + "]\r\n";
    for (int key = 0; key < 20; ++key) {
      other += "Key" + std::to_string(key) + "=some value of moderate length here\r\n";
    }
  }
  const std::string long_path(3000, 'p');
  put_file_bytes(file, other + "[Main]\r\nAA=7\r\nWF=" + long_path + "\r\n");

  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(read_flag(file), 7);
  EXPECT_EQ(read_wave(file), long_path.substr(0, 2047));
  ini_write_text("Main", "AA", "1", file.c_str());
  const auto elapsed = std::chrono::steady_clock::now() - start;

  // Compared whole, without printing: a diff of 10 MB texts would not end.
  EXPECT_TRUE(file_bytes(file).value_or("") ==
              other + "[Main]\r\nAA=1\r\nWF=" + long_path + "\r\n");
  EXPECT_EQ(names_in(folder), std::vector<std::string>{"Tollwick.ini"});
  std::printf("10 MB file: two reads and a write in %lld ms\n",
              static_cast<long long>(
                  std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count()));
}

// A writer killed at any moment leaves one of the whole files it wrote;
// only its temporary file may remain.
TEST_F(ini_robustness, killed_writer_leaves_a_whole_file) {
  const std::string filler(5'000'000, ';');
  const std::string flag_off = filler + "\n[Main]\nAA=0\n";
  const std::string flag_on = filler + "\n[Main]\nAA=1\n";
  for (int delay_ms = 1; delay_ms <= 40; delay_ms += 2) {
    SCOPED_TRACE(delay_ms);
    put_file_bytes(file, flag_off);
    const pid_t writer = fork();
    if (writer == 0) {
      for (;;) {
        ini_write_text("Main", "AA", "1", file.c_str());
        ini_write_text("Main", "AA", "0", file.c_str());
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(delay_ms));
    kill(writer, SIGKILL);
    waitpid(writer, nullptr, 0);
    const std::string after = file_bytes(file).value_or("");
    EXPECT_TRUE(after == flag_off || after == flag_on) << after.size() << " bytes";
    for (const std::string& name : names_in(folder)) {
      if (name != "Tollwick.ini") {
        fs::remove(folder / name);
      }
    }
  }
}

} // namespace
