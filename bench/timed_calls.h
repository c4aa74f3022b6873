// What the trigger benchmarks time, on each sample line: on_inet, the literal
// reading (a copy and up to four searches) and one strlen over the same line,
// the least any reading of a zero-terminated line can cost.
#pragma once

#include "bell/trigger.h"
#include "module/exports.h"
#include "module/state.h"
#include "tests/stubs/recorder.h"
#include "tests/support/literal_reading.h"
#include "tests/support/sample_lines.h"

#include <cstring>

// The module state the sample line asks for.
inline void prepare(const sample_line& sample) {
  reset_module_and_recorder();
  wave_path = "bell.wav";
  enabled = sample.enabled ? -1 : 0;
}

// The recorder keeps every ring; dropping them now and then keeps memory
// flat. Answers the rings kept, a result for the caller to use.
inline size_t forget_rings() {
  constexpr size_t rings_kept = 1024;
  if (recorded.played.size() >= rings_kept) {
    recorded.played.clear();
  }
  return recorded.played.size();
}

inline size_t call_on_inet(const sample_line& sample, const char* line) {
  on_inet(sample.kind, line);
  return forget_rings();
}

inline size_t call_literal_reading(const sample_line& sample, const char* line) {
  if (literal_rings(sample.kind, line)) {
    ring_bell();
  }
  return forget_rings();
}

inline size_t call_strlen(const sample_line& /*sample*/, const char* line) {
  return std::strlen(line);
}
