// on_command with argument vectors built from the input, null arguments
// included. Every outcome is checked against the rule: the two command words
// in any letter case are handled (-1) with their answers and state changes,
// everything else is not (0) and says nothing.
//
// Input: the arguments separated by line feeds; an argument that is a single
// zero byte is passed as a null pointer. A leading '-' passes the count
// negated; an empty input passes count 0. A count of 0 or less comes with a
// null vector, so reading it would crash.
#include "module/exports.h"
#include "module/state.h"
#include "tests/stubs/recorder.h"
#include "utilities/Utilities.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

void require(bool condition) {
  if (!condition) {
    std::abort();
  }
}

std::string text_of(const char* argument) { return argument == nullptr ? "" : argument; }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  const bool negated = !input.empty() && input.front() == '-';
  if (negated) {
    input.remove_prefix(1);
  }
  std::vector<std::string> pieces;
  for (size_t start = 0; !input.empty() && start <= input.size();) {
    const size_t end = std::min(input.find('\n', start), input.size());
    pieces.emplace_back(input.substr(start, end - start));
    start = end + 1;
  }
  std::vector<const char*> vector;
  for (const std::string& piece : pieces) {
    vector.push_back(piece == std::string_view("\0", 1) ? nullptr : piece.c_str());
  }
  const auto count = static_cast<int32_t>(vector.size());

  reset_module_and_recorder();
  ini_path = "/fuzz/module/Tollwick.ini";
  const int32_t result =
      count == 0 ? on_command(0, nullptr)
                 : on_command(negated ? -count : count, negated ? nullptr : vector.data());

  if (count == 0 || negated) {
    require(result == 0 && recorded.spoken.empty());
    return 0;
  }
  const std::string word = uppercase_ascii(text_of(vector[0]));
  if (word == "TW-AUTOENABLE") {
    require(result == -1 && auto_enable == 1 &&
            recorded.spoken == std::vector<std::string>{"Tollwick: Auto-Init is now On"});
  } else if (word == "TW-SETWAVE" && count == 1) {
    require(result == -1 && wave_path == "/fuzz/module/bell.wav" &&
            recorded.spoken == std::vector<std::string>{"Tollwick: SFX reset to default."});
  } else if (word == "TW-SETWAVE") {
    std::string path = text_of(vector[1]);
    for (int32_t i = 2; i < count; ++i) {
      path += ' ' + text_of(vector[static_cast<size_t>(i)]);
    }
    require(result == -1 && wave_path == path && !recorded.spoken.empty() &&
            recorded.spoken.size() <= 2 &&
            recorded.spoken[0] == "Tollwick: SFX set to \"" + path + "\"");
    require(recorded.spoken.size() == 1 ||
            recorded.spoken[1] == "Tollwick: Warning, SFX file not found.");
  } else {
    require(result == 0 && recorded.spoken.empty() && wave_path.empty() && auto_enable == 0);
  }
  return 0;
}
