// Faults around the settings file, and oversized input. Each session runs in a
// child process, so that a crash is reported as one instead of ending the test
// program, and so that a case can drop root's privileges, limit the file size
// or change its root folder without touching the rest of the run. Whatever the
// fault, the module must finish the session and leave the old settings file
// whole: unchanged where it cannot be written, and otherwise changed only in
// the two lines the module owns.
#include "module/exports.h"
#include "module/state.h"
#include "platform/ini.h"
#include "tests/stubs/recorder.h"
#include "tests/support/scratch_folder.h"

#include <gtest/gtest.h>

#include <grp.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const std::string old_settings =
    "; bell settings\r\n[Main]\r\nAA=1\r\nWF=/old/gong.wav\r\n\r\n[Other]\r\nkey=kept\r\n";
// The same file after a session that toggled auto-enable and set new_wave.
const std::string saved_settings =
    "; bell settings\r\n[Main]\r\nAA=0\r\nWF=/new/chime.wav\r\n\r\n[Other]\r\nkey=kept\r\n";
const std::string new_wave = "/new/chime.wav";
constexpr uid_t nobody = 65534;
constexpr int cannot_set_up = 77;

// What a session reported from its child process, and how the child ended.
struct session_outcome {
  bool exited = false;
  int status = 0;                // exit code, or the signal that ended it
  std::vector<std::string> seen; // enable requests, wave_path after start, then spoken lines
};

void send_text(int pipe, const std::string& text) {
  const auto length = static_cast<uint32_t>(text.size());
  const bool sent = write(pipe, &length, sizeof length) == sizeof length &&
                    write(pipe, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  if (!sent) {
    _exit(3);
  }
}

std::vector<std::string> receive_texts(int pipe) {
  std::string bytes;
  char chunk[65536];
  ssize_t got = 0;
  while ((got = read(pipe, chunk, sizeof chunk)) > 0) {
    bytes.append(chunk, static_cast<size_t>(got));
  }
  std::vector<std::string> texts;
  for (size_t at = 0; at + sizeof(uint32_t) <= bytes.size();) {
    uint32_t length = 0;
    std::memcpy(&length, bytes.data() + at, sizeof length);
    at += sizeof length;
    texts.push_back(bytes.substr(at, length));
    at += length;
  }
  return texts;
}

// Start, toggle auto-enable, set a new sound, save: the whole life of the
// settings in one session.
void run_session(const char* root, int pipe) {
  reset_module_and_recorder();
  recorded.module_root = root;
  const int32_t id = 7;
  on_module(0, &id);
  std::string requests;
  for (const enable_request& request : recorded.enable_requests) {
    requests += std::to_string(request.enable) + " ";
  }
  send_text(pipe, requests);
  send_text(pipe, wave_path);
  const char* toggle[] = {"TW-AutoEnable"};
  const char* set_wave[] = {"TW-SetWave", new_wave.c_str()};
  on_command(1, toggle);
  on_command(2, set_wave);
  on_module(1, nullptr);
  for (const std::string& text : recorded.spoken) {
    send_text(pipe, text);
  }
}

// Runs the session in a child after fault_in_child (which answers false when
// the fault cannot be set up here).
session_outcome run_session_in_child(const char* root,
                                     const std::function<bool()>& fault_in_child) {
  int pipe_ends[2];
  if (pipe(pipe_ends) != 0) {
    ADD_FAILURE() << "no pipe";
    return {};
  }
  const pid_t child = fork();
  if (child == 0) {
    close(pipe_ends[0]);
    if (!fault_in_child()) {
      _exit(cannot_set_up);
    }
    run_session(root, pipe_ends[1]);
    _exit(0);
  }
  close(pipe_ends[1]);
  session_outcome outcome;
  outcome.seen = receive_texts(pipe_ends[0]);
  close(pipe_ends[0]);
  int status = 0;
  waitpid(child, &status, 0);
  outcome.exited = WIFEXITED(status);
  outcome.status = outcome.exited ? WEXITSTATUS(status) : WTERMSIG(status);
  return outcome;
}

bool no_fault() { return true; }

// Root may write anything: a case about permissions runs as nobody.
bool as_nobody() {
  if (geteuid() != 0) {
    return true;
  }
  return setgroups(0, nullptr) == 0 && setgid(nobody) == 0 && setuid(nobody) == 0;
}

// No file may grow beyond limit bytes; writing past it fails instead of
// killing the process.
std::function<bool()> file_size_limit(rlim_t limit) {
  return [limit] {
    const rlimit size_limit{limit, limit};
    return std::signal(SIGXFSZ, SIG_IGN) != SIG_ERR && setrlimit(RLIMIT_FSIZE, &size_limit) == 0;
  };
}

std::set<std::string> names_in(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

void expect_session_finished(const session_outcome& outcome) {
  ASSERT_TRUE(outcome.exited) << "the session was ended by signal " << outcome.status;
  ASSERT_EQ(outcome.status, 0);
  ASSERT_GE(outcome.seen.size(), 2U);
}

// One fault on disk: how it is made, what start-up must read in spite of it,
// and what must be on disk after the session.
struct settings_fault {
  const char* name;
  std::function<void(const scratch_folder&)> make;
  std::function<bool()> in_child;
  std::string root_below;  // a folder below the scratch folder as the module root
  bool reads_old_settings; // else the defaults
  std::string file_after;  // the settings file after the session; empty: none
};

void chmod_or_fail(const std::string& path, mode_t mode) {
  ASSERT_EQ(chmod(path.c_str(), mode), 0) << path;
}

const settings_fault settings_faults[] = {
    {"ModuleFolderReadOnly",
     [](const scratch_folder& folder) {
       folder.write("Tollwick.ini", old_settings);
       chmod_or_fail(folder.text(), 0555);
     },
     as_nobody, "", true, old_settings},
    {"SettingsFileReadOnly",
     [](const scratch_folder& folder) {
       folder.write("Tollwick.ini", old_settings);
       chmod_or_fail(folder.file("Tollwick.ini"), 0444);
       chmod_or_fail(folder.text(), 0777);
     },
     as_nobody, "", true, old_settings},
    {"SettingsFileUnreadable",
     [](const scratch_folder& folder) {
       folder.write("Tollwick.ini", old_settings);
       chmod_or_fail(folder.file("Tollwick.ini"), 0);
       chmod_or_fail(folder.text(), 0777);
     },
     as_nobody, "", false, old_settings},
    {"DiskFullBeforeAnyKey",
     [](const scratch_folder& folder) { folder.write("Tollwick.ini", old_settings); },
     file_size_limit(16), "", true, old_settings},
    // The first key still fits, the longer sound path does not: each key is
    // written whole or not at all.
    {"DiskFullAfterTheFirstKey",
     [](const scratch_folder& folder) { folder.write("Tollwick.ini", old_settings); },
     file_size_limit(old_settings.size()), "", true,
     "; bell settings\r\n[Main]\r\nAA=0\r\nWF=/old/gong.wav\r\n\r\n[Other]\r\nkey=kept\r\n"},
    {"ModuleFolderMissing", [](const scratch_folder&) {}, no_fault, "missing", false, ""},
};

void PrintTo(const settings_fault& fault, std::ostream* out) { *out << fault.name; }

class SettingsFault : public testing::TestWithParam<settings_fault> {};

TEST_P(SettingsFault, SessionFinishesAndTheOldFileIsKept) {
  const settings_fault& fault = GetParam();
  scratch_folder folder;
  fault.make(folder);
  const std::string root = fault.root_below.empty() ? folder.text() : folder.file(fault.root_below);

  const session_outcome outcome = run_session_in_child(root.c_str(), fault.in_child);
  if (outcome.exited && outcome.status == cannot_set_up) {
    GTEST_SKIP() << "this system does not allow the fault to be set up";
  }
  // Readable and removable again, also for a test run without root.
  std::error_code ignored;
  fs::permissions(folder.text(), fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::permissions(folder.file("Tollwick.ini"), fs::perms::owner_read, fs::perm_options::add,
                  ignored);
  expect_session_finished(outcome);
  EXPECT_EQ(outcome.seen[0], fault.reads_old_settings ? "-1 " : "0 ");
  EXPECT_EQ(outcome.seen[1], fault.reads_old_settings ? "/old/gong.wav" : root + "/bell.wav");
  if (fault.file_after.empty()) {
    EXPECT_FALSE(fs::exists(root)) << "nothing may be created";
  } else {
    EXPECT_EQ(folder.read("Tollwick.ini"), fault.file_after);
    EXPECT_EQ(names_in(folder.text()), std::set<std::string>{"Tollwick.ini"})
        << "no temporary file may be left";
  }
}

INSTANTIATE_TEST_SUITE_P(Faults, SettingsFault, testing::ValuesIn(settings_faults),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

TEST(Faults, SettingsPathIsAFolder) {
  scratch_folder folder;
  fs::create_directory(folder.file("Tollwick.ini"));
  folder.write("Tollwick.ini/inside", "kept");

  const session_outcome outcome = run_session_in_child(folder.text().c_str(), no_fault);
  expect_session_finished(outcome);
  EXPECT_EQ(outcome.seen[0], "0 ");
  EXPECT_EQ(outcome.seen[1], folder.file("bell.wav"));
  EXPECT_TRUE(fs::is_directory(folder.file("Tollwick.ini")));
  EXPECT_EQ(names_in(folder.file("Tollwick.ini")), std::set<std::string>{"inside"});
  EXPECT_EQ(folder.read("Tollwick.ini/inside"), "kept");
  EXPECT_EQ(names_in(folder.text()), std::set<std::string>{"Tollwick.ini"});
}

// About 10 MB of other sections around the module's own: both keys are read
// from the middle of it, and saving changes their two lines and nothing else.
TEST(Faults, TenMegabyteSettingsFile) {
  std::string before;
  for (int i = 0; before.size() < 5'000'000; ++i) {
    before += "[Section" + std::to_string(i) + "]\nkey=" + std::string(200, 'v') + "\n";
  }
  const std::string tail = "[Tail]\n" + std::string(5'000'000, ';') + "\n";
  scratch_folder folder;
  folder.write("Tollwick.ini", before + "[Main]\nAA=1\nWF=/old/gong.wav\n" + tail);

  const session_outcome outcome = run_session_in_child(folder.text().c_str(), no_fault);
  expect_session_finished(outcome);
  EXPECT_EQ(outcome.seen[0], "-1 ");
  EXPECT_EQ(outcome.seen[1], "/old/gong.wav");
  EXPECT_TRUE(folder.read("Tollwick.ini") == before + "[Main]\nAA=0\nWF=" + new_wave + "\n" + tail)
      << "the file differs beyond the two keys";
}

// Sparse files of 3 GB and 64 GB, far beyond any settings file: they read
// as no file at all, and the save does not touch them.
TEST(Faults, SettingsFileTooLarge) {
  for (const off_t size : {off_t{3} << 30, off_t{64} << 30}) {
    scratch_folder folder;
    const std::string file = folder.file("Tollwick.ini");
    folder.write("Tollwick.ini", old_settings);
    struct stat before = {};
    ASSERT_TRUE(truncate(file.c_str(), size) == 0 && stat(file.c_str(), &before) == 0);

    const session_outcome outcome = run_session_in_child(folder.text().c_str(), no_fault);
    expect_session_finished(outcome);
    EXPECT_EQ(outcome.seen[0], "0 ") << size;
    EXPECT_EQ(outcome.seen[1], folder.file("bell.wav"));
    struct stat after = {};
    EXPECT_TRUE(stat(file.c_str(), &after) == 0 && after.st_size == size &&
                after.st_ino == before.st_ino && after.st_mtim.tv_sec == before.st_mtim.tv_sec &&
                after.st_mtim.tv_nsec == before.st_mtim.tv_nsec)
        << "the file was rewritten";
    EXPECT_EQ(names_in(folder.text()), std::set<std::string>{"Tollwick.ini"});
  }
}

std::string garbage(size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& byte : bytes) {
    byte = static_cast<char>(random() & 0xff);
  }
  return bytes;
}

// Random bytes, NULs and lone CRs and LFs included: the settings read as
// defaults, and saving appends the module's section and keeps every byte.
TEST(Faults, BinaryGarbageInTheSettingsFile) {
  const std::string bytes = garbage(65536, 2024);
  scratch_folder folder;
  folder.write("Tollwick.ini", bytes);

  const session_outcome outcome = run_session_in_child(folder.text().c_str(), no_fault);
  expect_session_finished(outcome);
  EXPECT_EQ(outcome.seen[0], "0 ");
  EXPECT_EQ(outcome.seen[1], folder.file("bell.wav"));
  const std::string saved = folder.read("Tollwick.ini");
  ASSERT_GT(saved.size(), bytes.size());
  EXPECT_TRUE(saved.compare(0, bytes.size(), bytes) == 0) << "the old bytes were changed";
  EXPECT_EQ(ini_read_int("Main", "AA", -5, folder.file("Tollwick.ini").c_str()), 1);
  char wave[64] = {};
  ini_read_text("Main", "WF", "", wave, sizeof wave, folder.file("Tollwick.ini").c_str());
  EXPECT_EQ(std::string(wave), new_wave);
}

// Garbage on both sides of a well-formed section: the keys are found and
// replaced in place.
TEST(Faults, BinaryGarbageAroundTheSection) {
  const std::string head = garbage(30000, 1) + "\n";
  const std::string tail = "\n[Rest]\n" + garbage(30000, 2);
  scratch_folder folder;
  folder.write("Tollwick.ini", head + "[Main]\nAA=1\nWF=/old/gong.wav\n" + tail);

  const session_outcome outcome = run_session_in_child(folder.text().c_str(), no_fault);
  expect_session_finished(outcome);
  EXPECT_EQ(outcome.seen[0], "-1 ");
  EXPECT_EQ(outcome.seen[1], "/old/gong.wav");
  EXPECT_TRUE(folder.read("Tollwick.ini") == head + "[Main]\nAA=0\nWF=" + new_wave + "\n" + tail);
}

// A module root that is null or empty puts the settings in the top folder.
// The session runs with its root folder changed to a scratch folder, so that
// it reads and writes a real /Tollwick.ini without touching this system's.
class TopFolderRoot : public testing::TestWithParam<const char*> {};

TEST_P(TopFolderRoot, SettingsGoToTheTopFolder) {
  scratch_folder folder;
  folder.write("Tollwick.ini", old_settings);
  const bool system_file_existed = fs::exists("/Tollwick.ini");
  const std::string top = folder.text();
  const auto in_scratch_top = [&top] {
    if (geteuid() != 0 && unshare(CLONE_NEWUSER) != 0) {
      return false;
    }
    return chroot(top.c_str()) == 0 && chdir("/") == 0;
  };

  const session_outcome outcome = run_session_in_child(GetParam(), in_scratch_top);
  if (outcome.exited && outcome.status == cannot_set_up) {
    GTEST_SKIP() << "cannot change the root folder here (needs root or user namespaces)";
  }
  expect_session_finished(outcome);
  EXPECT_EQ(outcome.seen[0], "-1 ");
  EXPECT_EQ(outcome.seen[1], "/old/gong.wav");
  EXPECT_EQ(folder.read("Tollwick.ini"), saved_settings);
  EXPECT_EQ(names_in(folder.text()), std::set<std::string>{"Tollwick.ini"});
  EXPECT_EQ(fs::exists("/Tollwick.ini"), system_file_existed);
}

INSTANTIATE_TEST_SUITE_P(Faults, TopFolderRoot, testing::Values(nullptr, ""),
                         [](const auto& param_info) {
                           return std::string(param_info.param == nullptr ? "Null" : "Empty");
                         });

// Server lines of a megabyte: each rings exactly when a short one would.
TEST(Faults, MegabyteServerLines) {
  const std::string filler(1 << 20, 'x');
  const std::string join =
      "To accept the request, type `join and press <enter>. To decline, type `decline and press "
      "<enter>";
  std::string near_misses;
  while (near_misses.size() < filler.size()) {
    near_misses += "`join whispers, \" to you. \"";
  }
  const std::pair<std::string, size_t> lines[] = {
      {"(" + filler + join, 1},  {"(" + filler + "whispers, \"" + filler + "\" to you. ]", 1},
      {"(" + near_misses, 0},    {"(" + filler + "\" to you. ] whispers, \"", 0},
      {" (" + join + filler, 0}, {"(" + filler, 0},
  };
  reset_module_and_recorder();
  enabled = -1;
  for (const auto& [line, rings] : lines) {
    recorded.played.clear();
    on_inet(2, line.c_str());
    EXPECT_EQ(recorded.played.size(), rings) << line.substr(0, 40);
  }
}

// A sound path of a megabyte is taken and saved whole; the next start reads
// back its first 2047 bytes, and the rest of the file is kept.
TEST(Faults, MegabyteSoundPath) {
  scratch_folder folder;
  folder.write("Tollwick.ini", old_settings);
  const std::string root = folder.text();
  reset_module_and_recorder();
  recorded.module_root = root.c_str();
  const int32_t id = 7;
  on_module(0, &id);
  const std::string long_path = "/" + std::string((1 << 20) - 1, 'p');
  const char* set_wave[] = {"TW-SetWave", long_path.c_str()};
  on_command(2, set_wave);
  EXPECT_EQ(wave_path, long_path);
  on_module(1, nullptr);
  EXPECT_EQ(folder.read("Tollwick.ini"), "; bell settings\r\n[Main]\r\nAA=1\r\nWF=" + long_path +
                                             "\r\n\r\n[Other]\r\nkey=kept\r\n");
  on_module(0, &id);
  EXPECT_EQ(wave_path, long_path.substr(0, 2047));
}

} // namespace
