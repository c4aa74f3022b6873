// The host program's portable half: reads a session (server lines, user
// commands and directives), plays the host's part towards the module and
// prints what the module did as a transcript.
#include "host/host.h"

#include "module/exports.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr const char* program_name = "tollwick-host";

constexpr int32_t event_start = 0;
constexpr int32_t event_save = 1;
constexpr int32_t event_enable = 2;
constexpr int32_t event_disable = 3;
constexpr int32_t event_about = 4;
constexpr int32_t server_text_kind = 2;

constexpr int exit_ok = 0;
constexpr int exit_cannot_run = 1; // module or session file cannot be used, or a cycle failed
constexpr int exit_bad_input = 2;  // bad option or session line

// No cycle takes more than a few seconds, even under a memory checker: one
// that runs this long has stalled inside the module.
constexpr std::chrono::seconds stall_limit{30};

constexpr const char* usage_text = R"usage(Usage: tollwick-host [options] [SESSION_FILE]

Loads the module, plays the host's part in a session and prints a transcript
of what the module did. Without SESSION_FILE, or with "-", the session is read
from standard input, also interactively.

Options:
  --module PATH     module to load (default: the one beside this program)
  --root DIR        the folder q2_modroot answers (default: the module's folder)
  --null-root       q2_modroot answers a null pointer (the module then keeps
                    its settings file at the root of the file system or drive)
  --ignore-enable   record q2_modenable requests without answering them
                    (default: answer at once with event 2 or 3, from inside
                    the request)
  --id N            the module identifier passed with event 0 (default 1)
  --cycles N        replay the session N times in one process, loading the
                    module before each and unloading it after, and check
                    that the cycles agree (see Cycles below)
  --help            show this text

Session: event 0 after loading, then one step per line, then event 1 and
unloading at the end of the input. A final carriage return is dropped.
  @word args...     user command: the words (split on runs of blanks and tabs)
                    go to on_command
  /enable           event 2
  /disable          event 3
  /about            event 4
  /save             event 1
  /start            event 0 again
  /event N          event N
  /kind N TEXT      a server line of kind N (TEXT: everything after the blank
                    that follows N)
  /sleep MS         wait MS milliseconds (lets a sound play)
  /# any text       comment
  any other line    a server line of kind 2

Transcript, one line each:
  speak: TEXT               the module called q2_speak
  enable request: on|off    the module called q2_modenable
  ring: SOUND               the module played SOUND (a file name; on Linux the
                            theme's bell as a fallback reads "theme bell
                            (fallback)")
  rung   | LINE             the server line rang at least once
  silent | LINE             the server line rang nothing
  not handled: LINE         on_command answered 0
Calls that break the module's contract with the host add a line starting
"contract: ".

Cycles: the transcripts of cycles 1 and 2 are printed, each after a line
"--- cycle N". Cycle 2 must differ from cycle 1 and every later cycle must
give the transcript of the cycle two before it, so the session should toggle
a saved setting (@TW-AutoEnable): each start then shows that the module read
what the cycle before saved. After each cycle the module must be unloaded,
and on Linux as many files must be open as after cycle 1. A cycle must end
within 30 s. The first cycle that fails a check ends the
program.

Exit status: 0 when the session ran to its end; 1 when the module or the
session file cannot be used, or a cycle failed a check; 2 for a bad option,
or a bad directive, which ends the session at that line (event 1 and
unloading still follow).
)usage";

// The module's seven callbacks, found by name when it is loaded.
struct module_callbacks {
  decltype(&on_module) module = nullptr;
  decltype(&on_client) client = nullptr;
  decltype(&on_wndproc) wndproc = nullptr;
  decltype(&on_world) world = nullptr;
  decltype(&on_command) command = nullptr;
  decltype(&on_inet) inet = nullptr;
  decltype(&on_onet) onet = nullptr;
};

struct loaded_module {
  void* handle = nullptr;
  module_callbacks callbacks;
  std::string folder;
};

struct host_options {
  std::string module_path;
  std::optional<std::string> root;
  bool null_root = false;
  bool ignore_enable = false;
  int32_t module_id = 1;
  int32_t cycles = 0; // 0: one plain run, read as it comes
  std::string session_path = "-";
};

// What the host services need while the session runs.
struct session_state {
  module_callbacks callbacks;
  host_options options;
  std::string root;
  int rings_in_line = 0;
  // While cycling, the cycle's transcript is kept for the checks, and only
  // the first two cycles print theirs.
  std::string transcript;
  bool quiet = false;
};

session_state session;

void print_line(std::string_view prefix, std::string_view text) {
  std::string line(prefix);
  line += text;
  line += '\n';
  if (session.options.cycles > 0) {
    session.transcript += line;
  }
  if (!session.quiet) {
    std::fwrite(line.data(), 1, line.size(), stdout);
  }
}

void complain(std::string_view message) {
  std::cerr << program_name << ": " << message << std::endl;
}

std::optional<int32_t> parse_number(std::string_view text) {
  int32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || text.empty()) {
    return std::nullopt;
  }
  return value;
}

// A module identifier other than the one given with event 0 is a fault of the
// module.
void check_module_id(const char* service, int32_t module_id) {
  if (module_id != session.options.module_id) {
    print_line("contract: ", std::string(service) + " got module identifier " +
                                 std::to_string(module_id) + ", expected " +
                                 std::to_string(session.options.module_id));
  }
}

// Parses the command line; answers the exit status when the program should
// stop at once (help, or a bad option).
std::optional<int> parse_options(int argc, char** argv, host_options& options) {
  bool have_session = false;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    std::optional<std::string_view> value;
    if (arg.starts_with("--") && arg.find('=') != std::string_view::npos) {
      value = arg.substr(arg.find('=') + 1);
      arg = arg.substr(0, arg.find('='));
    }
    const auto take_value = [&]() -> std::optional<std::string_view> {
      if (value) {
        return value;
      }
      if (i + 1 < argc) {
        return std::string_view(argv[++i]);
      }
      complain(std::string(arg) + " needs a value");
      return std::nullopt;
    };
    const bool takes_value =
        arg == "--module" || arg == "--root" || arg == "--id" || arg == "--cycles";
    if (value && !takes_value) {
      complain(std::string(arg) + " takes no value");
      return exit_bad_input;
    }
    if (arg == "--help") {
      std::fputs(usage_text, stdout);
      return exit_ok;
    } else if (takes_value) {
      const auto given = take_value();
      if (!given) {
        return exit_bad_input;
      }
      if (arg == "--module") {
        options.module_path = *given;
      } else if (arg == "--root") {
        options.root = std::string(*given);
      } else if (arg == "--cycles") {
        const auto cycles = parse_number(*given);
        if (!cycles || *cycles < 1) {
          complain("--cycles needs a whole number of at least 1, not \"" + std::string(*given) +
                   "\"");
          return exit_bad_input;
        }
        options.cycles = *cycles;
      } else if (const auto id = parse_number(*given)) {
        options.module_id = *id;
      } else {
        complain("--id needs a 32-bit whole number, not \"" + std::string(*given) + "\"");
        return exit_bad_input;
      }
    } else if (arg == "--null-root") {
      options.null_root = true;
    } else if (arg == "--ignore-enable") {
      options.ignore_enable = true;
    } else if (arg.starts_with("-") && arg != "-") {
      complain("unknown option " + std::string(arg) + " (see --help)");
      return exit_bad_input;
    } else if (have_session) {
      complain("only one session file can be given (see --help)");
      return exit_bad_input;
    } else {
      options.session_path = arg;
      have_session = true;
    }
  }
  if (options.root && options.null_root) {
    complain("--root and --null-root exclude each other");
    return exit_bad_input;
  }
  return std::nullopt;
}

void send_event(int32_t event) {
  const int32_t module_id = session.options.module_id;
  session.callbacks.module(event, &module_id);
}

void send_server_line(int32_t kind, const std::string& line) {
  session.rings_in_line = 0;
  session.callbacks.inet(kind, line.c_str());
  print_line(session.rings_in_line > 0 ? "rung   | " : "silent | ", line);
}

// Splits a user command after its "@" into words on runs of blanks and tabs.
void send_command(const std::string& line) {
  std::vector<std::string> words;
  const std::string_view rest = std::string_view(line).substr(1);
  size_t start = rest.find_first_not_of(" \t");
  while (start != std::string_view::npos) {
    const size_t end = std::min(rest.find_first_of(" \t", start), rest.size());
    words.emplace_back(rest.substr(start, end - start));
    start = rest.find_first_not_of(" \t", end);
  }
  std::vector<const char*> vector;
  for (const std::string& word : words) {
    vector.push_back(word.c_str());
  }
  vector.push_back(nullptr);
  const int32_t count = static_cast<int32_t>(words.size());
  if (session.callbacks.command(count, vector.data()) == 0) {
    print_line("not handled: ", line);
  }
}

// Runs one directive; answers an error message for a bad one.
std::optional<std::string> run_directive(const std::string& line) {
  if (line.starts_with("/#")) {
    return std::nullopt;
  }
  const size_t name_end = std::min(line.find_first_of(" \t"), line.size());
  const std::string name = line.substr(0, name_end);
  const std::string argument = name_end < line.size() ? line.substr(name_end + 1) : "";
  const bool has_argument = name_end < line.size();

  struct plain_event {
    const char* name;
    int32_t event;
  };
  static constexpr plain_event plain_events[] = {
      {"/enable", event_enable}, {"/disable", event_disable}, {"/about", event_about},
      {"/save", event_save},     {"/start", event_start},
  };
  for (const plain_event& plain : plain_events) {
    if (name == plain.name) {
      if (has_argument) {
        return name + " takes no argument";
      }
      send_event(plain.event);
      return std::nullopt;
    }
  }
  if (name == "/event") {
    const auto event = parse_number(argument);
    if (!event) {
      return "/event needs a 32-bit whole number: " + line;
    }
    send_event(*event);
  } else if (name == "/kind") {
    const size_t kind_end = std::min(argument.find(' '), argument.size());
    const auto kind = parse_number(std::string_view(argument).substr(0, kind_end));
    if (!kind) {
      return "/kind needs a 32-bit whole number and then the text: " + line;
    }
    send_server_line(*kind, kind_end < argument.size() ? argument.substr(kind_end + 1) : "");
  } else if (name == "/sleep") {
    const auto milliseconds = parse_number(argument);
    if (!milliseconds || *milliseconds < 0) {
      return "/sleep needs a number of milliseconds: " + line;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(*milliseconds));
  } else {
    return "unknown directive " + name + " (see --help)";
  }
  return std::nullopt;
}

template <typename callback>
void find_callback(void* handle, const char* name, callback& found, std::string& missing) {
  found = reinterpret_cast<callback>(find_export(handle, name));
  if (found == nullptr) {
    missing += missing.empty() ? name : std::string(", ") + name;
  }
}

// Loads the module and finds its callbacks; answers false with the reason in
// error, leaving nothing loaded.
bool load_module(const std::string& path, loaded_module& module, std::string& error) {
  void* handle = open_module(path, module.folder, error);
  if (handle == nullptr) {
    return false;
  }
  module_callbacks& found = module.callbacks;
  std::string missing;
  find_callback(handle, "on_module", found.module, missing);
  find_callback(handle, "on_client", found.client, missing);
  find_callback(handle, "on_wndproc", found.wndproc, missing);
  find_callback(handle, "on_world", found.world, missing);
  find_callback(handle, "on_command", found.command, missing);
  find_callback(handle, "on_inet", found.inet, missing);
  find_callback(handle, "on_onet", found.onet, missing);
  if (!missing.empty()) {
    error = "it does not export " + missing;
  } else if (watch_sound(handle, error)) {
    module.handle = handle;
    return true;
  }
  close_module(handle);
  return false;
}

// Runs the session's lines; answers the exit status.
int run_session(std::istream& input, const std::string& source) {
  send_event(event_start);
  std::fflush(stdout);
  int status = exit_ok;
  std::string line;
  for (long number = 1; std::getline(input, line); ++number) {
    if (line.ends_with('\r')) {
      line.pop_back();
    }
    if (line.starts_with('@')) {
      send_command(line);
    } else if (line.starts_with('/')) {
      if (const auto error = run_directive(line)) {
        complain(source + ":" + std::to_string(number) + ": " + *error);
        status = exit_bad_input;
        break;
      }
    } else {
      send_server_line(server_text_kind, line);
    }
    std::fflush(stdout);
  }
  send_event(event_save);
  std::fflush(stdout);
  return status;
}

// Cycles.

// Where a transcript first departs from an earlier one, as
// "line N is ... where it had ...".
std::string first_difference(const std::string& found, const std::string& wanted) {
  std::istringstream found_lines(found);
  std::istringstream wanted_lines(wanted);
  std::string found_line;
  std::string wanted_line;
  for (long number = 1;; ++number) {
    const bool have_found = static_cast<bool>(std::getline(found_lines, found_line));
    const bool have_wanted = static_cast<bool>(std::getline(wanted_lines, wanted_line));
    if (have_found != have_wanted || found_line != wanted_line) {
      return "line " + std::to_string(number) + " is " +
             (have_found ? "\"" + found_line + "\"" : "missing") + " where it had " +
             (have_wanted ? "\"" + wanted_line + "\"" : "none");
    }
  }
}

// Each cycle loads the module, runs the session and unloads the module; the
// checks are those of the usage text. Answers the exit status.
int check_cycles(const std::string& text, const std::string& source) {
  const host_options& options = session.options;
  std::string earlier[2]; // the last two cycles' transcripts, by cycle number modulo 2
  int files_after_first = 0;
  const auto fail = [](int cycle, const std::string& what) {
    complain("cycle " + std::to_string(cycle) + ": " + what);
    return exit_cannot_run;
  };
  for (int cycle = 1; cycle <= options.cycles; ++cycle) {
    watch_for_stall(cycle, static_cast<unsigned>(stall_limit.count()));
    session.quiet = cycle > 2;
    if (!session.quiet) {
      std::printf("--- cycle %d\n", cycle);
    }
    session.transcript.clear();
    loaded_module module;
    std::string error;
    if (!load_module(options.module_path, module, error)) {
      return fail(cycle, "cannot use the module " + options.module_path + ": " + error);
    }
    session.callbacks = module.callbacks;
    session.root = options.root.value_or(module.folder);
    std::istringstream input(text);
    const int status = run_session(input, source);
    close_module(module.handle);
    if (status != exit_ok) {
      return status;
    }

    if (module_still_loaded(options.module_path)) {
      return fail(cycle, "the module is still loaded after unloading; its state would outlive it");
    }
    // Cycle 1 may leave what lives as long as the process (the sound
    // library's caches); a later one that leaves a file open leaks.
    const int files = open_files();
    if (cycle == 1) {
      files_after_first = files;
    } else if (files != files_after_first) {
      return fail(cycle, std::to_string(files) + " files open, " +
                             std::to_string(files_after_first) + " after cycle 1");
    }
    const std::string& before = earlier[(cycle + 1) % 2];
    const std::string& two_before = earlier[cycle % 2];
    if (cycle == 2 && session.transcript == before) {
      return fail(cycle, "the same transcript as cycle 1, so nothing shows that it read what "
                         "cycle 1 saved (see --help)");
    }
    if (cycle > 2 && session.transcript != two_before) {
      return fail(cycle, "the transcript differs from cycle " + std::to_string(cycle - 2) + ": " +
                             first_difference(session.transcript, two_before));
    }
    earlier[cycle % 2] = std::move(session.transcript);
  }
  if (options.cycles > 2) {
    std::printf("--- %d cycles; from the third on, each the same as the one two before\n",
                options.cycles);
  }
  return exit_ok;
}

int run_cycles(const std::string& text, const std::string& source) {
  const int status = check_cycles(text, source);
  watch_for_stall(0, 0);
  return status;
}

} // namespace

void record_ring(std::string_view sound_name) {
  ++session.rings_in_line;
  print_line("ring: ", sound_name);
}

extern "C" void host_speak(const char* text) {
  if (text == nullptr) {
    print_line("contract: ", "q2_speak got a null pointer");
    return;
  }
  print_line("speak: ", text);
}

extern "C" const char* host_modroot(int32_t module_id) {
  check_module_id("q2_modroot", module_id);
  return session.options.null_root ? nullptr : session.root.c_str();
}

extern "C" void host_modenable(int32_t module_id, int32_t enable) {
  check_module_id("q2_modenable", module_id);
  if (enable == -1 || enable == 0) {
    print_line("enable request: ", enable == 0 ? "off" : "on");
  } else {
    print_line("contract: ", "q2_modenable got " + std::to_string(enable) + ", not -1 or 0");
  }
  // A host that answers at once calls back into the module from inside the
  // request; the module must cope with that.
  if (!session.options.ignore_enable) {
    session.callbacks.module(enable != 0 ? event_enable : event_disable, nullptr);
  }
}

int main(int argc, char** argv) {
  use_plain_output();
  if (const auto status = parse_options(argc, argv, session.options)) {
    return *status;
  }
  host_options& options = session.options;

  std::ifstream file;
  const bool from_stdin = options.session_path == "-";
  if (!from_stdin) {
    file.open(options.session_path, std::ios::binary);
    if (!file) {
      complain("cannot read the session file " + options.session_path);
      return exit_cannot_run;
    }
  }
  if (options.module_path.empty()) {
    options.module_path = default_module_path();
  }
  std::istream& input = from_stdin ? std::cin : file;
  const std::string source = from_stdin ? "standard input" : options.session_path;
  if (options.cycles > 0) {
    std::ostringstream text;
    text << input.rdbuf();
    return run_cycles(text.str(), source);
  }

  loaded_module module;
  std::string error;
  if (!load_module(options.module_path, module, error)) {
    complain("cannot use the module " + options.module_path + ": " + error);
    return exit_cannot_run;
  }
  session.callbacks = module.callbacks;
  session.root = options.root.value_or(module.folder);

  const int status = run_session(input, source);
  close_module(module.handle);
  return status;
}
