// on_inet with any line kind and any bytes, the module enabled. Besides
// surviving every input under the sanitizers, the bell must ring exactly when
// the literal reading of the rule (the trigger tests' own) says so.
//
// Input: byte 0 is the kind (as a signed byte); the rest is the line, read up
// to its first zero byte. A one-byte input passes a null line.
#include "module/exports.h"
#include "module/state.h"
#include "tests/stubs/recorder.h"
#include "tests/support/literal_reading.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) {
    return 0;
  }
  reset_module_and_recorder();
  enabled = -1;
  wave_path = "/fuzz/bell.wav";
  const int32_t kind = static_cast<int8_t>(data[0]);
  const std::string line(reinterpret_cast<const char*>(data) + 1, size - 1);
  const char* line_pointer = size == 1 ? nullptr : line.c_str();

  on_inet(kind, line_pointer);

  const bool expected = literal_rings(kind, line_pointer);
  const bool rang_once = recorded.played.size() == 1 && recorded.played[0] == wave_path;
  if (expected ? !rang_once : !recorded.played.empty()) {
    std::abort();
  }
  return 0;
}
